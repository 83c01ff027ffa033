#include "terminal/app/qt/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <cmath>

#include "platform/system/paths.h"
#include "terminal/app/qt/about_dlg.h"
#include "terminal/app/qt/options_dlg.h"
#include "terminal/app/preferences.h"
#include "terminal/config/port_config.h"
#include "terminal/dialogs/qt/open_dlg.h"
#include "terminal/resources/qt/qt_commands.h"
#include "terminal/session/qt/port_edit.h"
#include "terminal/session/qt/port_event.h"
#include "terminal/session/qt/port_mdi_child_wnd.h"
#include "terminal/session/port_name.h"
#include "terminal/session/view_flags.h"

namespace {

inline constexpr const char* kClearAllText = "Are you sure you want to clear all the windows?";
inline constexpr const char* kClearAllCaption = "Halvo2 - Clear All ...";
inline constexpr const char* kCloseAllText = "Are you sure you want to close all the windows?";
inline constexpr const char* kCloseAllCaption = "Halvo2 - Close All ...";
inline constexpr const char* kExitText = "Are you sure you want to exit?\t";
inline constexpr const char* kExitCaption = "Halvo2 - Exit ...";
inline constexpr const char* kHelpMissingCaption = "Halvo2 - Warning ...";

// A port window's default size inside the MDI client.
constexpr QSize kPortWindowSize(480, 320);

// The all-port requests of the main frame's commands.
UINT AllPortRequest(int id) {
    switch (id) {
        case ID_CLEAR_SCREEN_ALL:
            return UWM_CLEAR_SCREEN;
        case ID_CHANGE_VIEW_ALL:
            return UWM_CHANGE_VIEW;
        case ID_SEND_ALL:
            return UWM_START_SEND;
        case ID_STOP_SENDING_ALL:
            return UWM_STOP_SEND;
        case ID_RECEIVE_ALL:
            return UWM_START_RECEIVE;
        case ID_STOP_RECEIVING_ALL:
            return UWM_STOP_RECEIVE;
        case ID_TOOLBARS_ALL:
            return UWM_TOOLBAR_ALL;
        case ID_STATUS_BARS_ALL:
            return UWM_STATUSBAR_ALL;
        default:
            return 0;
    }
}

// The commands the active port window handles itself.
bool IsPortWindowCommand(int id) {
    switch (id) {
        case ID_FILE_SAVE_AS:
        case ID_FILE_PRINT:
        case ID_CLOSE_PORT_WINDOW:
        case ID_PNP_TEST:
        case ID_LOOPBACK_TEST:
        case ID_SEND_IMMEDIATE_CHAR:
        case ID_SEND_STRING:
        case ID_SEND_FILE:
        case ID_RECEIVE_FILE:
        case ID_PORT_SETTINGS:
        case ID_MISC_SETTINGS:
        case ID_TIMEOUTS:
        case ID_EVENTS:
        case ID_QUEUE_SIZE:
        case ID_SET_XON:
        case ID_SET_XOFF:
        case ID_BREAK_ON:
        case ID_BREAK_OFF:
        case ID_PURGE_TX_ABORT:
        case ID_PURGE_TX_CLEAR:
        case ID_PURGE_RX_ABORT:
        case ID_PURGE_RX_CLEAR:
        case ID_SET_TOGGLE_LOW:
        case ID_CLEAR_TOGGLE_LOW:
            return true;
        default:
            return false;
    }
}

std::atomic<bool>* DisplayFlagOf(int id) {
    DisplayFlags& flags = ProcessDisplayFlags();
    switch (id) {
        case ID_LOG_TO_FILE:
            return &flags.logToFile;
        case ID_SHOW_CR_LF_BS:
            return &flags.showCrLfBs;
        case ID_SEND_LINE_FEEDS:
            return &flags.sendLineFeeds;
        case ID_HEX_DISPLAY:
            return &flags.hexDisplay;
        default:
            return nullptr;
    }
}

}  // namespace

CMainFrame::CMainFrame(platform::PromptService& prompts)
    : prompts_(prompts), mdi_(new QMdiArea(this)), menuUpdates_(std::make_unique<QObject>()) {
    setObjectName(QStringLiteral("frame_2"));
    setWindowTitle(QString::fromLatin1(kAppTitle));
    mdi_->setObjectName(QStringLiteral("mdi_client"));
    setCentralWidget(mdi_);
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* window) {
        UpdateMenu();
        UpdateCaption();
        if (auto* frame = dynamic_cast<CPortMDIChildWnd*>(window)) {
            ApplyPortMenuState(frame);
        }
    });
}

CMainFrame::~CMainFrame() {
    // The port frames are deleted with the MDI client, after this frame has stopped being one:
    // their menu updates end here.
    menuUpdates_.reset();
    // Every port frame closes its port and waits for its thread before the frame goes.
    ClosePortWindows();
}

bool CMainFrame::Create(std::string_view commandLine) {
    LoadPreferences(ProcessPreferences());
    mainMenus_ = BuildMenu(MainMenu(), mainActions_);
    portMenus_ = BuildMenu(PortMenu(), portActions_);
    BuildToolbar();
    BuildStatusBar();
    BuildAccelerators();
    UpdateMenu();

    const CommandLinePlan plan = ProcessCommandLine(commandLine, DefaultPortConfig());
    if (plan.showUsage) {
        prompts_.MessageBox(kUsageText, kUsageCaption, MB_OK | kUsageIcon);
        return false;
    }
    DisplayFlags& flags = ProcessDisplayFlags();
    if (plan.continuousCharacter) {
        flags.continuousCharacter = true;
        flags.character = plan.character;
    }
    maximize_ = plan.maximize;
    for (const std::string& name : plan.portNames) {
        CreatePortWindow(name);
    }
    if (plan.arrangeWindows) {
        Arrange(plan.arrangement);
    }
    if (plan.showInvalidParameter) {
        prompts_.MessageBox(kInvalidParameterText, kInvalidParameterCaption,
                            MB_OK | kInvalidParameterIcon);
    }
    if (ProcessPreferences().openPortDialog != 0) {
        OnOpenPort();
    }
    return true;
}

std::vector<QMenu*> CMainFrame::BuildMenu(std::span<const MenuInfo> menus, ActionMap& actions) {
    std::vector<QMenu*> built;
    std::function<void(QMenu*, std::span<const MenuItem>)> fill =
        [&](QMenu* menu, std::span<const MenuItem> items) {
            for (const MenuItem& item : items) {
                if (item.kind == MenuItem::Kind::Separator) {
                    menu->addSeparator();
                } else if (item.kind == MenuItem::Kind::Popup) {
                    QMenu* popup = menu->addMenu(QString::fromLatin1(item.text));
                    fill(popup, item.popup);
                } else {
                    const int id = item.id;
                    QAction* action = MakeCommandAction(id, item.text, this);
                    if (id == ID_VIEW_TOOLBAR || id == ID_VIEW_STATUS_BAR ||
                        id == ID_SEND_RECEIVE_TEST_DATA || DisplayFlagOf(id) != nullptr) {
                        action->setCheckable(true);
                    }
                    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
                    menu->addAction(action);
                    actions[id] = action;
                }
            }
        };
    for (const MenuInfo& info : menus) {
        auto* menu = new QMenu(QString::fromLatin1(info.title), this);
        fill(menu, info.items);
        built.push_back(menu);
    }
    return built;
}

void CMainFrame::BuildToolbar() {
    toolbar_ = addToolBar(QStringLiteral("Standard"));
    toolbar_->setObjectName(QStringLiteral("toolbar_128"));
    toolbar_->setIconSize(QSize(16, 15));
    for (const int id : MainToolbar()) {
        if (id == kSeparator) {
            toolbar_->addSeparator();
            continue;
        }
        QAction* action = MakeCommandAction(id, FindCommand(id)->text, toolbar_);
        action->setIcon(CommandIcon(id));
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        toolbar_->addAction(action);
    }
}

void CMainFrame::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    for (const char* text : {"CAP", "NUM", "SCRL"}) {
        auto* label = new QLabel(QString::fromLatin1(text), bar);
        label->setObjectName(QStringLiteral("pane_%1").arg(QString::fromLatin1(text)));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // The toolkit does not report the lock keys' states: their panes stay greyed.
        label->setEnabled(false);
        bar->addPermanentWidget(label);
    }
}

void CMainFrame::BuildAccelerators() {
    for (const Accelerator& accelerator : Accelerators()) {
        auto* action = new QAction(this);
        action->setObjectName(QStringLiteral("accelerator_%1").arg(accelerator.id));
        action->setShortcut(QKeySequence(QString::fromLatin1(accelerator.keys)));
        const int id = accelerator.id;
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        addAction(action);
    }
    // F1 asks for help wherever the focus is.
    auto* help = new QAction(this);
    help->setShortcut(QKeySequence(Qt::Key_F1));
    connect(help, &QAction::triggered, this, [this] { OnCommand(ID_HELP_CONTENTS); });
    addAction(help);
}

void CMainFrame::UpdateMenu() {
    const bool portMenu = !mdi_->subWindowList().isEmpty();
    if (portMenu == portMenuShown_ && !menuBar()->actions().isEmpty()) {
        return;
    }
    portMenuShown_ = portMenu;
    menuBar()->clear();
    for (QMenu* menu : portMenu ? portMenus_ : mainMenus_) {
        menuBar()->addMenu(menu);
    }
    UpdateFlagChecks();
    if (QAction* action = Action(ID_VIEW_TOOLBAR)) {
        action->setChecked(toolbar_ == nullptr || toolbar_->isVisibleTo(this));
    }
    if (QAction* action = Action(ID_VIEW_STATUS_BAR)) {
        action->setChecked(statusBar()->isVisibleTo(this));
    }
}

void CMainFrame::UpdateFlagChecks() {
    // Only the port menu holds these items; it keeps its check marks while menu 2 is shown.
    for (const int id : {ID_LOG_TO_FILE, ID_SHOW_CR_LF_BS, ID_SEND_LINE_FEEDS, ID_HEX_DISPLAY}) {
        if (auto it = portActions_.find(id); it != portActions_.end()) {
            it->second->setChecked(DisplayFlagOf(id)->load());
        }
    }
}

QString CMainFrame::Caption() const {
    const QString title = QString::fromLatin1(kAppTitle);
    const CPortMDIChildWnd* frame = ActivePortFrame();
    if (frame == nullptr) {
        return title;
    }
    const QString name = QString::fromStdString(frame->PortName());
    return frame->isMaximized() ? QStringLiteral("%1 - [%2]").arg(title, name)
                                : QStringLiteral("%1 - %2").arg(title, name);
}

void CMainFrame::UpdateCaption() {
    const QString caption = Caption();
    if (windowTitle() != caption) {
        setWindowTitle(caption);
    }
}

QAction* CMainFrame::Action(int id) const {
    const ActionMap& actions = portMenuShown_ ? portActions_ : mainActions_;
    const auto it = actions.find(id);
    return it == actions.end() ? nullptr : it->second;
}

std::vector<CPortMDIChildWnd*> CMainFrame::PortFrames() const {
    std::vector<CPortMDIChildWnd*> frames;
    for (QMdiSubWindow* window : mdi_->subWindowList(QMdiArea::CreationOrder)) {
        if (auto* frame = dynamic_cast<CPortMDIChildWnd*>(window)) {
            frames.push_back(frame);
        }
    }
    return frames;
}

CPortMDIChildWnd* CMainFrame::ActivePortFrame() const {
    return dynamic_cast<CPortMDIChildWnd*>(mdi_->currentSubWindow());
}

bool CMainFrame::CreatePortWindow(const std::string& portName) {
    auto* frame =
        new CPortMDIChildWnd(this, portName, prompts_, ViewPreferencesOf(ProcessPreferences()));
    frame->setObjectName(QString::fromStdString("port_" + portName));
    mdi_->addSubWindow(frame);
    frame->resize(kPortWindowSize);
    frame->show();
    frame->Start();
    UpdateMenu();
    // A new port window shows the flags as they are now, whatever changed them since.
    UpdateFlagChecks();
    UpdateCaption();
    connect(frame, &QMdiSubWindow::windowStateChanged, menuUpdates_.get(),
            [this] { UpdateCaption(); });
    connect(frame, &CPortMDIChildWnd::DisplayPressed, menuUpdates_.get(),
            [this, frame] { ApplyPortMenuState(frame); });
    connect(frame, &QObject::destroyed, menuUpdates_.get(), [this] {
        UpdateMenu();
        // The area may still name the window that is going: the caption waits until it is gone.
        QTimer::singleShot(0, menuUpdates_.get(), [this] { UpdateCaption(); });
    });
    return true;
}

void CMainFrame::Arrange(Arrangement arrangement) {
    // Before the frame is first shown its client area has no size yet: arrange once it has.
    if (!isVisible()) {
        pendingArrangement_ = arrangement;
        return;
    }
    if (arrangement == Arrangement::Cascade) {
        mdi_->cascadeSubWindows();
        return;
    }
    std::vector<QMdiSubWindow*> windows;
    for (QMdiSubWindow* window : mdi_->subWindowList(QMdiArea::CreationOrder)) {
        if (!window->isMinimized() && !window->isHidden()) {
            windows.push_back(window);
        }
    }
    const int count = static_cast<int>(windows.size());
    if (count == 0) {
        return;
    }
    // Up to three windows stand side by side (vertical) or one above the other (horizontal);
    // more make a grid that leans the same way.
    const int across = count <= 3 ? count : static_cast<int>(std::ceil(std::sqrt(count)));
    const int down = (count + across - 1) / across;
    const bool vertical = arrangement == Arrangement::Vertical;
    const int columns = vertical ? across : down;
    const int rows = vertical ? down : across;
    const QRect area = mdi_->viewport()->rect();
    const int width = area.width() / columns;
    const int height = area.height() / rows;
    for (int index = 0; index < count; ++index) {
        const int column = vertical ? index % columns : index / rows;
        const int row = vertical ? index / columns : index % rows;
        windows[static_cast<std::size_t>(index)]->showNormal();
        windows[static_cast<std::size_t>(index)]->setGeometry(column * width, row * height, width,
                                                              height);
    }
}

void CMainFrame::ApplyPortMenuState(CPortMDIChildWnd* frame) {
    if (frame == nullptr) {
        return;
    }
    const bool serial = !frame->IsSocket();
    // The Settings popup, the serial-only items of the Port popup and its Control popup.
    portMenus_[kPortMenuSettings]->menuAction()->setEnabled(serial);
    const QList<QAction*> items = portMenus_[kPortMenuPort]->actions();
    for (const int id : {ID_LOG_TO_FILE, ID_SHOW_CR_LF_BS, ID_PNP_TEST, ID_LOOPBACK_TEST,
                         ID_SEND_IMMEDIATE_CHAR, ID_SEND_STRING}) {
        portActions_[id]->setEnabled(serial);
    }
    if (kPortPopupControl < items.size()) {
        items[kPortPopupControl]->setEnabled(serial);
    }
    if (frame->Edit() != nullptr && frame->isVisible()) {
        frame->Edit()->setFocus();
    }
}

void CMainFrame::PostToAllPorts(unsigned message) {
    for (CPortMDIChildWnd* frame : PortFrames()) {
        QCoreApplication::postEvent(frame, new PortMessageEvent(message, 0, 0));
    }
}

void CMainFrame::OnCommand(int id) {
    if (const UINT request = AllPortRequest(id); request != 0 && id != ID_CLEAR_SCREEN_ALL) {
        PostToAllPorts(request);
        return;
    }
    if (DisplayFlagOf(id) != nullptr) {
        ToggleFlag(id);
        return;
    }
    if (IsPortWindowCommand(id)) {
        if (CPortMDIChildWnd* frame = ActivePortFrame()) {
            frame->RouteCommand(id);
        }
        return;
    }
    switch (id) {
        case ID_OPEN_PORT:
            OnOpenPort();
            break;
        case ID_PREFERENCES:
            OnPreferences();
            break;
        case ID_APP_EXIT:
            close();
            break;
        case ID_VIEW_TOOLBAR:
            toolbar_->setVisible(!toolbar_->isVisibleTo(this));
            if (QAction* action = Action(id)) {
                action->setChecked(toolbar_->isVisibleTo(this));
            }
            break;
        case ID_VIEW_STATUS_BAR:
            statusBar()->setVisible(!statusBar()->isVisibleTo(this));
            if (QAction* action = Action(id)) {
                action->setChecked(statusBar()->isVisibleTo(this));
            }
            break;
        case ID_HELP_CONTENTS:
            OnHelp();
            break;
        case ID_APP_ABOUT:
            CAboutDlg(this).exec();
            break;
        case ID_WINDOW_CASCADE:
            Arrange(Arrangement::Cascade);
            break;
        case ID_WINDOW_TILE_HORZ:
            Arrange(Arrangement::Horizontal);
            break;
        case ID_WINDOW_TILE_VERT:
            Arrange(Arrangement::Vertical);
            break;
        case ID_WINDOW_ARRANGE: {
            // Minimised port windows in a row along the bottom of the client area.
            int left = 0;
            for (QMdiSubWindow* window : mdi_->subWindowList(QMdiArea::CreationOrder)) {
                if (window->isMinimized()) {
                    window->move(left, mdi_->viewport()->height() - window->height());
                    left += window->width();
                }
            }
            break;
        }
        case ID_CLEAR_SCREEN_ALL:
            OnClearAll();
            break;
        case ID_SEND_RECEIVE_TEST_DATA:
            OnSendReceiveTestData();
            break;
        case ID_CLOSE_ALL:
            OnCloseAll();
            break;
        case ID_ACCEL_F6:
        default:
            break;
    }
}

void CMainFrame::ToggleFlag(int id) {
    std::atomic<bool>& flag = *DisplayFlagOf(id);
    flag = !flag.load();
    // The check marks live in the port menu; menu 2 has none of these items.
    if (auto it = portActions_.find(id); it != portActions_.end()) {
        it->second->setChecked(flag.load());
    }
}

void CMainFrame::OnSendReceiveTestData() {
    QAction* action = portActions_[ID_SEND_RECEIVE_TEST_DATA];
    // The action's check state was flipped by the toolkit when it was triggered from the menu;
    // the command itself decides from the state before.
    const bool wasChecked = action->property("testDataOn").toBool();
    action->setProperty("testDataOn", !wasChecked);
    action->setChecked(!wasChecked);
    if (wasChecked) {
        PostToAllPorts(UWM_STOP_RECEIVE);
        PostToAllPorts(UWM_STOP_SEND);
    } else {
        PostToAllPorts(UWM_START_RECEIVE);
        PostToAllPorts(UWM_START_SEND);
    }
}

void CMainFrame::OnClearAll() {
    if (PortFrames().empty()) {
        return;
    }
    if (prompts_.MessageBox(kClearAllText, kClearAllCaption, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        PostToAllPorts(UWM_CLEAR_SCREEN);
    }
}

void CMainFrame::OnCloseAll() {
    if (prompts_.MessageBox(kCloseAllText, kCloseAllCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    ClosePortWindows();
}

void CMainFrame::ClosePortWindows() {
    const std::vector<CPortMDIChildWnd*> frames = PortFrames();
    // Every port starts closing on its own thread at once (a close pauses for the watcher and
    // the workers), then each frame waits until its port thread has ended.
    for (CPortMDIChildWnd* frame : frames) {
        frame->BeginClosePort();
    }
    for (CPortMDIChildWnd* frame : frames) {
        frame->ClosePort();
        frame->close();
    }
}

void CMainFrame::OnOpenPort() {
    std::vector<int> ports;
    std::vector<std::string> socketNames;
    int accepted = 0;
    COpenDlg dialog(&ports, &socketNames, &accepted, prompts_, this);
    dialog.exec();
    if (accepted == 0) {
        return;
    }
    if (dialog.SocketMode() == 0) {
        for (auto it = ports.rbegin(); it != ports.rend(); ++it) {
            if (!CreatePortWindow(MakeSerialPortName(*it))) {
                return;
            }
        }
    } else {
        for (const std::string& name : socketNames) {
            if (!CreatePortWindow(name)) {
                return;
            }
        }
    }
    Arrange(Arrangement::Vertical);
}

void CMainFrame::OnPreferences() {
    COptionsDlg dialog(ProcessPreferences(), this);
    dialog.exec();
    // Log To File and Show CR/LF are the live flags: their check marks must not promise the
    // opposite of what the next click does.
    UpdateFlagChecks();
}

void CMainFrame::OnHelp() {
    const std::string path = platform::ProgramDirectory() + "/" + kHelpFileName;
    const QString file = QString::fromStdString(path);
    // Checked first: the desktop's opener reports success for a file it will not find.
    if (!QFileInfo(file).isFile() || !QDesktopServices::openUrl(QUrl::fromLocalFile(file))) {
        prompts_.MessageBox("Cannot open the help file " + path + "!", kHelpMissingCaption,
                            MB_OK | MB_ICONHAND);
    }
}

bool CMainFrame::event(QEvent* event) {
    if (!PortMessageEvent::IsPortMessage(event)) {
        return QMainWindow::event(event);
    }
    const auto* message = static_cast<const PortMessageEvent*>(event);
    switch (message->Message()) {
        case WM_MDICASCADE:
            Arrange(Arrangement::Cascade);
            break;
        case WM_MDITILE:
            Arrange(message->WParam() == MDITILE_HORIZONTAL ? Arrangement::Horizontal
                                                            : Arrangement::Vertical);
            break;
        case WM_COMMAND:
            OnCommand(static_cast<int>(message->WParam()));
            break;
        // A port asked for its settings to be applied to every port.
        case UWM_APPLY_ALL_REQUEST:
            PostToAllPorts(UWM_APPLY_DEFAULTS);
            break;
        default:
            return QMainWindow::event(event);
    }
    return true;
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (pendingArrangement_) {
        const Arrangement arrangement = *pendingArrangement_;
        pendingArrangement_.reset();
        // The client area takes its size when the frame's layout runs, after this event.
        QTimer::singleShot(0, this, [this, arrangement] { Arrange(arrangement); });
    }
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // The MDI area writes its own caption while a port window is maximised and puts back an
    // older one when it is restored; the caption stays the one this frame keeps.
    if (event->type() == QEvent::WindowTitleChange) {
        UpdateCaption();
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (ProcessPreferences().confirmationOnExit != 0 &&
        prompts_.MessageBox(kExitText, kExitCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        event->ignore();
        return;
    }
    StorePreferences(ProcessPreferences(), prompts_);
    ClosePortWindows();
    event->accept();
}
