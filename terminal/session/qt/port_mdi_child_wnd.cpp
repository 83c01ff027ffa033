#include "terminal/session/qt/port_mdi_child_wnd.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "terminal/resources/qt/qt_commands.h"
#include "terminal/session/process_events.h"
#include "terminal/session/qt/port_edit.h"
#include "terminal/session/qt/port_event.h"
#include "terminal/session/qt/port_thread.h"
#include "terminal/session/qt/report_widget.h"
#include "terminal/session/render_received.h"

namespace {

// An indicator that is on is 7 pixels wide per character of its text, or as wide as the text
// needs in a font larger than the one that rule was made for.
constexpr int kPixelsPerCharacter = 7;
constexpr int kPaneMargin = 8;

inline constexpr const char* kThreadFailedText = "Halvo2 can't start the port's thread!\r\n";

int PaneOf(int id) {
    for (int pane = 0; pane < kPortIndicatorCount; ++pane) {
        if (kPortIndicators[pane] == id) {
            return pane;
        }
    }
    return -1;
}

void AddMenuItems(QMenu* menu, std::span<const MenuItem> items, QObject* parent,
                  std::vector<QAction*>& actions) {
    for (const MenuItem& item : items) {
        if (item.kind == MenuItem::Kind::Separator) {
            menu->addSeparator();
        } else if (item.kind == MenuItem::Kind::Command) {
            QAction* action = MakeCommandAction(item.id, item.text, parent);
            menu->addAction(action);
            actions.push_back(action);
        }
    }
}

}  // namespace

CPortMDIChildWnd::CPortMDIChildWnd(QObject* mainFrame, const std::string& portName,
                                   platform::PromptService& prompts,
                                   const PortViewPreferences& preferences)
    : portName_(portName),
      socket_(PortKindOf(portName) == PortKind::Socket),
      board_(std::make_shared<PortStateBoard>()),
      link_(std::make_shared<QtPortLink>(this, mainFrame)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromLatin1(portName.data(), static_cast<qsizetype>(portName.size())));

    auto view = std::make_unique<CPortWnd>(portName, link_, prompts, preferences, board_);
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    BuildToolbar();
    layout->addWidget(toolbar_);
    stack_ = new QStackedWidget(body);
    display_ = view->Session().SharedDisplay();
    interruptOpen_ = view->Session().OpenInterrupter();
    edit_ = new CPortEdit(display_, stack_);
    edit_->setObjectName(QStringLiteral("control_151"));
    report_ = new CReportWidget(stack_);
    stack_->addWidget(edit_);
    stack_->addWidget(report_);
    layout->addWidget(stack_, 1);
    BuildStatusBar();
    layout->addWidget(statusBar_);
    setWidget(body);
    setFocusProxy(edit_);

    edit_->SetCharHandler([this](unsigned code, unsigned scanCode) {
        PostToView(WM_CHAR, code, static_cast<LPARAM>(scanCode));
    });
    edit_->SetContextMenuHandler([this](QPoint where) { ShowContextMenu(where); });
    report_->SetContextMenuHandler([this](QPoint where) { ShowContextMenu(where); });
    edit_->SetMousePressHandler([this] { emit DisplayPressed(); });

    thread_ = std::make_unique<CPortThread>(std::move(view));
}

CPortMDIChildWnd::~CPortMDIChildWnd() {
    ClosePort();
    link_->Detach();
}

void CPortMDIChildWnd::Start() {
    // Before the view is created, so that every prompt of the port's thread is the port's.
    InvokeOnView([owner = promptOwner_](CPortWnd&) { platform::SetThreadPromptOwner(owner); });
    PostToView(UWM_CREATE_VIEW);
    thread_->start();
    if (!thread_->isRunning() && !thread_->isFinished()) {
        // The system has no thread left for the port: the window says so and can only close.
        RenderReceived(*display_, kThreadFailedText, -1);
        UpdateIndicator(ID_INDICATOR_ACTIVITY, ACTIVITY_NOT_READY);
        thread_.reset();
    }
}

void CPortMDIChildWnd::BuildToolbar() {
    toolbar_ = new QToolBar(this);
    toolbar_->setObjectName(QStringLiteral("toolbar_130"));
    toolbar_->setIconSize(QSize(16, 15));
    for (const int id : ChildToolbar()) {
        if (id == kSeparator) {
            toolbar_->addSeparator();
            continue;
        }
        const CommandInfo* info = FindCommand(id);
        QAction* action = MakeCommandAction(id, info->text, this);
        action->setIcon(CommandIcon(id));
        if (id == ID_DTR || id == ID_RTS || id == ID_SEND || id == ID_RECEIVE) {
            action->setCheckable(true);
        }
        connect(action, &QAction::triggered, this, [this, id] {
            RouteCommand(id);
            // The toolkit flipped the check on the click; the line or transfer changes only
            // when the port says so, which may be never (a closed port refuses).
            UpdateToolbarChecks();
        });
        toolbar_->addAction(action);
    }
}

void CPortMDIChildWnd::BuildStatusBar() {
    statusBar_ = new QStatusBar(this);
    statusBar_->setSizeGripEnabled(false);
    for (int pane = 0; pane < kPortIndicatorCount; ++pane) {
        const int id = kPortIndicators[pane];
        auto* label = new QLabel(QString::fromLatin1(IndicatorText(id)), statusBar_);
        label->setObjectName(QStringLiteral("indicator_%1").arg(id));
        if (id == ID_INDICATOR_ACTIVITY) {
            // The activity text stretches over what is left, without a border.
            statusBar_->addWidget(label, 1);
        } else {
            // Switched off, an indicator has no width and shows nothing.
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            label->setAlignment(Qt::AlignCenter);
            label->setFixedWidth(0);
            label->setVisible(false);
            statusBar_->addWidget(label);
        }
        panes_[pane] = label;
    }
}

void CPortMDIChildWnd::PostToView(UINT message, WPARAM wParam, LPARAM lParam) {
    if (thread_) {
        thread_->Post(std::make_unique<PortMessageEvent>(message, wParam, lParam));
    }
}

bool CPortMDIChildWnd::InvokeOnView(std::function<void(CPortWnd&)> call) {
    return thread_ && thread_->Invoke(std::move(call));
}

void CPortMDIChildWnd::RouteCommand(int id) {
    PostToView(UWM_ROUTE_COMMAND, static_cast<WPARAM>(id));
}

void CPortMDIChildWnd::BeginClosePort() {
    if (!thread_ || closeBegun_) {
        return;
    }
    // A port thread that waits for a dialog or a connect would not run the close.
    platform::CancelPrompts(promptOwner_);
    interruptOpen_();
    closeBegun_ = thread_->Invoke([](CPortWnd& view) { view.OnClosePort(); });
}

void CPortMDIChildWnd::ClosePort() {
    if (!thread_) {
        return;
    }
    // The port thread may be waiting for one of its dialogs, which this thread would never
    // show again while it waits for the port thread: the port's prompts are answered Cancel,
    // and so is every prompt asked for during the wait.
    platform::CancelPrompts(promptOwner_);
    interruptOpen_();
    platform::GuiWaitsForPortThread waiting;
    if (!closeBegun_ && thread_->isRunning()) {
        closeBegun_ = true;
        // The close ends the port thread's loop, and the thread announces its end only after
        // the close has run and the view is gone: waiting for the end waits for the close too,
        // without the port thread ever waiting for this one.
        if (thread_->Invoke([](CPortWnd& view) { view.OnClosePort(); })) {
            if (platform::EventHandle ended = PortThreadEndedEvent()) {
                platform::WaitForSingleObject(*ended, INFINITE);
            }
        }
    }
    // After a begun close several threads may end at once and share the one process-wide
    // event, so the thread itself is what is waited for.
    thread_->wait();
    thread_.reset();
}

bool CPortMDIChildWnd::event(QEvent* event) {
    if (!PortMessageEvent::IsPortMessage(event)) {
        return QMdiSubWindow::event(event);
    }
    const auto* message = static_cast<const PortMessageEvent*>(event);
    switch (message->Message()) {
        case UWM_INDICATOR:
            UpdateIndicator(static_cast<int>(message->WParam()), message->LParam());
            break;
        case UWM_TOGGLE_TOOLBAR:
            toolbarShown_ = !toolbarShown_;
            toolbar_->setVisible(toolbarShown_);
            break;
        case UWM_TOGGLE_STATUSBAR:
            statusBarShown_ = !statusBarShown_;
            statusBar_->setVisible(statusBarShown_);
            break;
        case UWM_REPORT_TEXT:
            if (message->LParam() != 0) {
                report_->SetText(message->Text());
                stack_->setCurrentWidget(report_);
            } else {
                stack_->setCurrentWidget(edit_);
                edit_->setFocus();
            }
            break;
        case UWM_TOOLBAR_ALL:
            PostToView(UWM_TOGGLE_TOOLBAR);
            break;
        case UWM_STATUSBAR_ALL:
            PostToView(UWM_TOGGLE_STATUSBAR);
            break;
        case UWM_CLEAR_SCREEN:
        case UWM_CHANGE_VIEW:
        case UWM_START_SEND:
        case UWM_STOP_SEND:
        case UWM_START_RECEIVE:
        case UWM_STOP_RECEIVE:
        case UWM_APPLY_DEFAULTS:
        case UWM_DEVICE_LOST:
            PostToView(message->Message());
            break;
        case UWM_CLOSE_PORT:
            close();
            break;
        // A window request arrives as the window message it asks for: the switch is on the
        // message, so the request's own event type never reaches a case.
        case WM_CLOSE:
            close();
            break;
        default:
            return QMdiSubWindow::event(event);
    }
    return true;
}

void CPortMDIChildWnd::closeEvent(QCloseEvent* event) {
    ClosePort();
    link_->Detach();
    QMdiSubWindow::closeEvent(event);
}

void CPortMDIChildWnd::UpdateIndicator(int id, LPARAM state) {
    const int pane = PaneOf(id);
    if (pane >= 0 && id != ID_INDICATOR_ACTIVITY) {
        QLabel* label = panes_[static_cast<std::size_t>(pane)];
        if (state != 0) {
            const int characters = static_cast<int>(label->text().size());
            label->setFixedWidth(
                std::max(kPixelsPerCharacter * characters,
                         label->fontMetrics().horizontalAdvance(label->text()) + kPaneMargin));
            label->setVisible(true);
        } else {
            label->setFixedWidth(0);
            label->setVisible(false);
        }
    } else {
        QLabel* activity = panes_[kPortIndicatorCount - 1];
        activity->setText(QString::fromLatin1(ActivityText(state)));
        activity->repaint();
    }
    UpdateToolbarChecks();
}

void CPortMDIChildWnd::UpdateToolbarChecks() {
    const std::pair<int, bool> checks[] = {{ID_DTR, board_->dtrOn},
                                           {ID_RTS, board_->rtsOn},
                                           {ID_SEND, board_->sending},
                                           {ID_RECEIVE, board_->receiving}};
    for (const auto& [id, on] : checks) {
        if (QAction* action = ToolbarAction(id)) {
            action->setChecked(on);
        }
    }
}

QAction* CPortMDIChildWnd::ToolbarAction(int id) const {
    for (QAction* action : toolbar_->actions()) {
        if (CommandIdOf(action) == id) {
            return action;
        }
    }
    return nullptr;
}

bool CPortMDIChildWnd::ShowsReport() const {
    return stack_->currentWidget() == report_;
}

QString CPortMDIChildWnd::PaneText(int index) const {
    if (index < 0 || index >= kPortIndicatorCount) {
        return {};
    }
    const QLabel* label = panes_[static_cast<std::size_t>(index)];
    if (index < kPortIndicatorCount - 1 && label->isHidden()) {
        return {};
    }
    return label->text();
}

QStringList CPortMDIChildWnd::VisiblePanes() const {
    QStringList texts;
    for (int pane = 0; pane < kPortIndicatorCount; ++pane) {
        const QString text = PaneText(pane);
        if (!text.isEmpty()) {
            texts << text;
        }
    }
    return texts;
}

void CPortMDIChildWnd::ShowContextMenu(QPoint globalPos) {
    QMenu menu;
    std::vector<QAction*> actions;
    AddMenuItems(&menu, ContextMenu().items, &menu, actions);
    for (QAction* action : actions) {
        const int id = CommandIdOf(action);
        switch (id) {
            case ID_CHILD_TOOLBAR:
                action->setCheckable(true);
                action->setChecked(board_->toolbarShown);
                break;
            case ID_CHILD_STATUS_BAR:
                action->setCheckable(true);
                action->setChecked(board_->statusBarShown);
                break;
            case ID_DTR:
            case ID_RTS:
            case ID_SEND:
            case ID_RECEIVE:
            case ID_INTERNAL_LOOPBACK: {
                const bool on = id == ID_DTR       ? board_->dtrOn.load()
                                : id == ID_RTS     ? board_->rtsOn.load()
                                : id == ID_SEND    ? board_->sending.load()
                                : id == ID_RECEIVE ? board_->receiving.load()
                                                   : board_->loopbackOn.load();
                action->setCheckable(true);
                action->setChecked(on);
                break;
            }
            default:
                break;
        }
        // A socket port has no toolbar, lines or line settings to offer.
        const bool serialOnly = id == ID_CHILD_TOOLBAR || id == ID_INTERNAL_LOOPBACK ||
                                id == ID_RTS || id == ID_DTR || id == ID_PORT_SETTINGS;
        action->setEnabled(!(socket_ && serialOnly));
        connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
    }
    menu.exec(globalPos);
}
