#include "terminal/session/qt/port_wnd.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <ctime>

#include "platform/sync/event.h"
#include "terminal/config/port_config.h"
#include "terminal/resources/halvo_resources.h"
#include "terminal/session/qt/port_event.h"

namespace {

constexpr int kReportPeriodMs = 2000;

}  // namespace

QtPortLink::QtPortLink(QObject* frame, QObject* mainFrame) : frame_(frame), mainFrame_(mainFrame) {}

QObject* QtPortLink::TargetObject(Target target) const {
    // The main frame arranges its MDI client's windows itself.
    return target == Target::Frame ? frame_ : mainFrame_;
}

void QtPortLink::Post(Target target, UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard lock(mutex_);
    if (target == Target::Frame) {
        PublishLocked();
    }
    if (QObject* receiver = TargetObject(target)) {
        QCoreApplication::postEvent(receiver, new PortMessageEvent(message, wParam, lParam));
    }
}

void QtPortLink::PostText(Target target, UINT message, LPARAM lParam, std::string text) {
    std::lock_guard lock(mutex_);
    if (target == Target::Frame) {
        PublishLocked();
    }
    if (QObject* receiver = TargetObject(target)) {
        QCoreApplication::postEvent(receiver,
                                    new PortMessageEvent(message, 0, lParam, std::move(text)));
    }
}

void QtPortLink::Detach() {
    std::lock_guard lock(mutex_);
    frame_ = nullptr;
    mainFrame_ = nullptr;
}

void QtPortLink::PublishTo(std::shared_ptr<PortStateBoard> board,
                           std::function<PortPublishedState()> reader) {
    std::lock_guard lock(mutex_);
    board_ = std::move(board);
    reader_ = std::move(reader);
}

void QtPortLink::PublishState() {
    std::lock_guard lock(mutex_);
    PublishLocked();
}

void QtPortLink::PublishLocked() {
    if (!board_ || !reader_) {
        return;
    }
    const PortPublishedState state = reader_();
    board_->isOpen = state.isOpen;
    board_->receiving = state.receiving;
    board_->sending = state.sending;
    board_->dtrOn = state.dtrOn;
    board_->rtsOn = state.rtsOn;
    board_->loopbackOn = state.loopbackOn;
}

CPortWnd::CPortWnd(std::string portName, std::shared_ptr<QtPortLink> link,
                   platform::PromptService& prompts, const PortViewPreferences& preferences,
                   std::shared_ptr<PortStateBoard> board)
    : session_(std::move(portName), link, prompts),
      link_(std::move(link)),
      board_(std::move(board)),
      preferences_(preferences),
      reportTimer_(new QTimer(this)) {
    link_->PublishTo(board_, session_.PublishedStateReader());
    reportTimer_->setInterval(kReportPeriodMs);
    connect(reportTimer_, &QTimer::timeout, this, &CPortWnd::PostReport);
}

CPortWnd::~CPortWnd() = default;

bool CPortWnd::event(QEvent* event) {
    if (!PortMessageEvent::IsPortMessage(event)) {
        return QObject::event(event);
    }
    const auto* message = static_cast<const PortMessageEvent*>(event);
    switch (message->Message()) {
        case UWM_CREATE_VIEW:
            OnCreate();
            break;
        case UWM_ROUTE_COMMAND:
            OnCommand(static_cast<int>(message->WParam()));
            break;
        case UWM_TOGGLE_TOOLBAR:
            // Socket ports have no line to drive from a toolbar, so theirs stays hidden.
            if (!session_.IsSocket()) {
                ToolbarCommand();
            }
            break;
        case UWM_TOGGLE_STATUSBAR:
            StatusBarCommand();
            break;
        case UWM_CLEAR_SCREEN:
            session_.ClearScreen();
            break;
        case UWM_CHANGE_VIEW:
            ChangeView();
            break;
        case UWM_START_SEND:
            session_.StartSending();
            break;
        case UWM_STOP_SEND:
            session_.StopSending();
            break;
        case UWM_START_RECEIVE:
            session_.StartReceiving();
            break;
        case UWM_STOP_RECEIVE:
            session_.StopReceiving();
            break;
        case UWM_APPLY_DEFAULTS:
            session_.ApplyPortConfig(CopyDefaultPortConfig());
            break;
        case UWM_DEVICE_LOST:
            session_.OnDeviceLost();
            break;
        case WM_CHAR:
            session_.OnChar(static_cast<unsigned>(message->WParam()),
                            static_cast<unsigned>(message->LParam()));
            break;
        default:
            return QObject::event(event);
    }
    Publish();
    return true;
}

void CPortWnd::OnCreate() {
    session_.Create();
    if (session_.IsSocket() || !preferences_.childToolbar) {
        ToolbarCommand();
    }
    if (!preferences_.childStatusBar) {
        StatusBarCommand();
    }
    if (preferences_.reportView) {
        ChangeView();
    }
}

bool CPortWnd::OnCommand(int id) {
    switch (id) {
        case ID_OPEN_CLOSE:
            session_.OpenClosePort();
            return true;
        case ID_CLOSE_PORT_WINDOW:
            session_.ClosePortWindow();
            return true;
        case ID_CHANGE_VIEW:
            ChangeView();
            return true;
        case ID_CLEAR_SCREEN:
            session_.ClearScreen();
            return true;
        case ID_CHILD_TOOLBAR:
            ToolbarCommand();
            return true;
        case ID_CHILD_STATUS_BAR:
            StatusBarCommand();
            return true;
        case ID_DTR:
            session_.OnDtrCommand();
            return true;
        case ID_RTS:
            session_.OnRtsCommand();
            return true;
        case ID_SEND:
            session_.OnSendCommand();
            return true;
        case ID_RECEIVE:
            session_.OnReceiveCommand();
            return true;
        case ID_LOOPBACK_TEST:
        case ID_PNP_TEST:
            session_.OnPortTestCommand(id);
            return true;
        case ID_SEND_FILE:
            session_.OnSendFileCommand();
            return true;
        case ID_RECEIVE_FILE:
            session_.OnReceiveFileCommand();
            return true;
        case ID_SEND_STRING:
            session_.OnSendStringCommand();
            return true;
        case ID_FILE_SAVE_AS:
            session_.OnSaveAs();
            return true;
        case ID_FILE_PRINT:
            session_.OnPrint();
            return true;
        default:
            return session_.OnSettingsCommand(id) || session_.OnLineCommand(id);
    }
}

void CPortWnd::ChangeView() {
    reportView_ = !reportView_;
    session_.SetReportView(reportView_);
    if (reportView_) {
        reportTimer_->start();
    } else {
        reportTimer_->stop();
    }
    PostReport();
}

void CPortWnd::PostReport() {
    // The frame shows the report while lParam is 1 and the data display while it is 0.
    std::string text = reportView_ ? session_.ReportText(std::time(nullptr)) : std::string();
    link_->PostText(PortFrameLink::Target::Frame, UWM_REPORT_TEXT, reportView_ ? 1 : 0,
                    std::move(text));
}

void CPortWnd::ToolbarCommand() {
    toolbarShown_ = !toolbarShown_;
    link_->Post(PortFrameLink::Target::Frame, UWM_TOGGLE_TOOLBAR, 0, 0);
}

void CPortWnd::StatusBarCommand() {
    statusBarShown_ = !statusBarShown_;
    link_->Post(PortFrameLink::Target::Frame, UWM_TOGGLE_STATUSBAR, 0, 0);
}

void CPortWnd::Publish() {
    link_->PublishState();
    board_->reportView = reportView_;
    board_->toolbarShown = toolbarShown_;
    board_->statusBarShown = statusBarShown_;
}

void CPortWnd::OnClosePort() {
    session_.ClosePortWindow();
    reportTimer_->stop();
    platform::Sleep(10);
    Publish();
    QThread::currentThread()->quit();
}
