#pragma once
// The port frame: an MDI child of the main frame, on the GUI thread, with the port's toolbar,
// its display (or the statistics report) and its 12-pane status bar. It starts the port's own
// thread, forwards the main frame's all-port requests and its menu commands to the port view,
// shows what the port posts, and at its close waits until the port thread has ended.

#include <QMdiSubWindow>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "platform/ui/prompts.h"
#include "terminal/session/port_messages.h"
#include "terminal/session/qt/port_wnd.h"
#include "terminal/session/view_flags.h"

class CPortEdit;
class CPortThread;
class CReportWidget;
class QAction;
class QLabel;
class QStackedWidget;
class QStatusBar;
class QToolBar;

class CPortMDIChildWnd : public QMdiSubWindow {
    Q_OBJECT

  public:
    CPortMDIChildWnd(QObject* mainFrame, const std::string& portName,
                     platform::PromptService& prompts, const PortViewPreferences& preferences);
    ~CPortMDIChildWnd() override;

    // Starts the port thread, whose first event creates the view: the open and the receiving.
    void Start();

    // The close notice: closes the view's port and window and waits, without a time-out, until
    // the port thread has ended. Does nothing once the view is gone.
    void ClosePort();
    // Tells the view to close without waiting; a following ClosePort only waits for the thread.
    void BeginClosePort();

    // Runs `call` with the view on the port thread; false once the view is gone.
    bool InvokeOnView(std::function<void(CPortWnd&)> call);
    // The owner of every prompt the port's thread asks for; its prompts are answered Cancel
    // once the window closes.
    platform::PromptOwner PromptOwner() const { return promptOwner_; }

    // Posts a private message or a routed command to the view; dropped once the view is gone.
    void PostToView(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    void RouteCommand(int id);

    const std::string& PortName() const { return portName_; }
    bool IsSocket() const { return socket_; }
    const PortStateBoard& State() const { return *board_; }
    bool HasView() const { return thread_ != nullptr; }

    QToolBar* ToolBar() const { return toolbar_; }
    QStatusBar* StatusBar() const { return statusBar_; }
    CPortEdit* Edit() const { return edit_; }
    // The port's display text, shared with the port's writers.
    DisplayBuffer& Display() const { return *display_; }
    CReportWidget* Report() const { return report_; }
    bool ShowsReport() const;
    // Pane `index` (0..11) as the user sees it: its text, or empty while it is switched off.
    QString PaneText(int index) const;
    // The texts of every visible pane, in order.
    QStringList VisiblePanes() const;
    QAction* ToolbarAction(int id) const;

  signals:
    // The user pressed a mouse button in the port's display: the main frame brings its port
    // menu up to date for this window.
    void DisplayPressed();

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildToolbar();
    void BuildStatusBar();
    void UpdateIndicator(int id, LPARAM state);
    void UpdateToolbarChecks();
    void ShowContextMenu(QPoint globalPos);

    const std::string portName_;
    const bool socket_;
    const platform::PromptOwner promptOwner_ = platform::NewPromptOwner();
    std::shared_ptr<PortStateBoard> board_;
    std::shared_ptr<QtPortLink> link_;
    std::unique_ptr<CPortThread> thread_;
    std::shared_ptr<DisplayBuffer> display_;
    // Ends a connect the port thread is blocked in, so that the close never waits for a peer.
    std::function<void()> interruptOpen_;
    QToolBar* toolbar_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    std::array<QLabel*, kPortIndicatorCount> panes_{};
    QStackedWidget* stack_ = nullptr;
    CPortEdit* edit_ = nullptr;
    CReportWidget* report_ = nullptr;
    bool toolbarShown_ = true;
    bool statusBarShown_ = true;
    bool closeBegun_ = false;
};
