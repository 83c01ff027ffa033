#pragma once
// The port view: the port thread's object that holds a port's session and runs every port
// command, private message and typed character on that thread. Its frame, on the GUI thread,
// reaches it only by posted events, and by one blocking call for the close.

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/ui/prompts.h"
#include "terminal/session/port_session.h"
#include "terminal/session/view_flags.h"

class QObject;
class QTimer;

// What the view publishes for its frame's menus, toolbar and context menu, read by the GUI
// thread without waiting. The port's own state is copied before every post to the frame; the
// view's display state after every event the view handles.
struct PortStateBoard {
    std::atomic<bool> isOpen{false};
    std::atomic<bool> receiving{false};
    std::atomic<bool> sending{false};
    std::atomic<bool> dtrOn{false};
    std::atomic<bool> rtsOn{false};
    std::atomic<bool> loopbackOn{false};
    std::atomic<bool> reportView{false};
    std::atomic<bool> toolbarShown{true};
    std::atomic<bool> statusBarShown{true};
};

// The toolkit's link from a port to its frame and the main frame: posts events, and drops them
// once the frame has gone (a worker may outlive the close's waits).
class QtPortLink : public PortFrameLink {
  public:
    QtPortLink(QObject* frame, QObject* mainFrame);
    void Post(Target target, UINT message, WPARAM wParam, LPARAM lParam) override;
    void PostText(Target target, UINT message, LPARAM lParam, std::string text);
    // Called by the frame as it goes; nothing is posted afterwards.
    void Detach();

    // From now on every post to the frame first copies the port's state from `reader` onto
    // `board`: whichever thread announces a change, the frame never handles the announcement
    // before the state it announces can be read.
    void PublishTo(std::shared_ptr<PortStateBoard> board,
                   std::function<PortPublishedState()> reader);
    // Copies the port's state onto the board now.
    void PublishState();

  private:
    QObject* TargetObject(Target target) const;
    void PublishLocked();

    std::mutex mutex_;
    QObject* frame_;
    QObject* mainFrame_;
    std::shared_ptr<PortStateBoard> board_;
    std::function<PortPublishedState()> reader_;
};

class CPortWnd : public QObject {
  public:
    CPortWnd(std::string portName, std::shared_ptr<QtPortLink> link,
             platform::PromptService& prompts, const PortViewPreferences& preferences,
             std::shared_ptr<PortStateBoard> board);
    ~CPortWnd() override;

    PortSession& Session() { return session_; }

    // The close notice: closes the port window's port and files and ends the port thread.
    // Runs on the port thread; the frame waits for it.
    void OnClosePort();

  protected:
    bool event(QEvent* event) override;

  private:
    void OnCreate();
    // The view's command map; false for a command it does not handle.
    bool OnCommand(int id);
    void ChangeView();
    void ToolbarCommand();
    void StatusBarCommand();
    void PostReport();
    void Publish();

    PortSession session_;
    std::shared_ptr<QtPortLink> link_;
    std::shared_ptr<PortStateBoard> board_;
    PortViewPreferences preferences_;
    QTimer* reportTimer_;
    bool toolbarShown_ = true;
    bool statusBarShown_ = true;
    bool reportView_ = false;
};
