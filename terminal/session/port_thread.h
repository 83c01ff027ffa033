#pragma once
// A port's own thread: it runs the port view's event loop, and when the loop ends it destroys
// the view (which releases the channel and the display's writers) and then sets the
// process-wide event that the closing frame waits for.

#include <QThread>
#include <memory>

class CPortWnd;

class CPortThread : public QThread {
  public:
    // Moves the view onto this thread; events posted to it before the thread starts wait in
    // its queue.
    explicit CPortThread(std::unique_ptr<CPortWnd> view);
    ~CPortThread() override;

    // Valid until the thread's loop has ended.
    CPortWnd* View() const { return view_.get(); }

  protected:
    void run() override;

  private:
    std::unique_ptr<CPortWnd> view_;
};
