#pragma once
// A port's own thread: it runs the port view's event loop, and when the loop ends it destroys
// the view (which releases the channel and the display's writers) and then sets the
// process-wide event that the closing frame waits for.

#include <QThread>
#include <functional>
#include <memory>
#include <mutex>

class CPortWnd;
class QEvent;

class CPortThread : public QThread {
  public:
    // Moves the view onto this thread; events posted to it before the thread starts wait in
    // its queue.
    explicit CPortThread(std::unique_ptr<CPortWnd> view);
    ~CPortThread() override;

    // The GUI thread's only ways to the view. Each hands its work to the view's queue while the
    // view exists and returns false once the thread has let go of it; work still queued when
    // the view goes is dropped with it, never delivered to a destroyed view.
    bool Post(std::unique_ptr<QEvent> event);
    bool Invoke(std::function<void(CPortWnd&)> call);

  protected:
    void run() override;

  private:
    // The view is taken out under the lock and destroyed outside it: a post either finished
    // before the view left or finds it gone, and the port thread waits for no more than a post.
    std::mutex mutex_;
    std::unique_ptr<CPortWnd> view_;
};
