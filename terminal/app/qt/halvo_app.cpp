#include "terminal/app/qt/halvo_app.h"

#include <QPainter>
#include <QPixmap>

#include "platform/system/system_info.h"
#include "terminal/app/command_line.h"
#include "terminal/app/qt/main_frame.h"
#include "terminal/config/port_config.h"
#include "terminal/dialogs/qt/advanced_settings_dlgs.h"
#include "terminal/resources/halvo_resources.h"
#include "terminal/session/port_error_box.h"
#include "terminal/session/process_events.h"
#include "terminal/session/qt/pattern_dlg.h"
#include "terminal/session/settings_commands.h"

namespace {

constexpr DWORD kErrorBoxGraceMs = 1000;

QIcon ProgramIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(QColor(0, 0, 128));
    QPainter painter(&pixmap);
    QFont font = painter.font();
    font.setPixelSize(14);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("H2"));
    painter.end();
    return QIcon(pixmap);
}

std::string ArgumentsOf(int argc, char** argv) {
    std::vector<const char*> arguments(argv, argv + argc);
    return CommandLineFromArguments(arguments);
}

}  // namespace

CHalvoApp::CHalvoApp(int& argc, char** argv)
    : QApplication(argc, argv), commandLine_(ArgumentsOf(argc, argv)) {
    setApplicationName(QStringLiteral("Halvo2"));
    setOrganizationName(QStringLiteral("Quenby"));
    setWindowIcon(ProgramIcon());
    prompts_.RegisterDialog(kPatternDialogId, PatternDialogFactory());
    RegisterSettingsDialogs(prompts_);
    platform::SetPromptService(&prompts_);
}

CHalvoApp::~CHalvoApp() {
    frame_.reset();
    platform::SetPromptService(nullptr);
}

bool CHalvoApp::InitInstance() {
    // A version word with its high bit set and a major version below 4 cannot run threads.
    const DWORD version = platform::GetVersion();
    if ((version & 0x80000000u) != 0 && (version & 0xFFu) < 4) {
        prompts_.MessageBox(kUnsupportedPlatformText, kAppTitle, MB_OK | MB_ICONHAND);
        return false;
    }
    FillDefaultPortConfig(DefaultPortConfig());
    // The events exist before the first port window, which may end its thread at once.
    CreateProcessEvents();
    frame_ = std::make_unique<CMainFrame>(prompts_);
    frame_->resize(1000, 700);
    if (!frame_->Create(commandLine_)) {
        return false;
    }
    if (frame_->StartMaximized()) {
        frame_->showMaximized();
    } else {
        frame_->show();
    }
    return true;
}

int CHalvoApp::ExitInstance(int code) {
    frame_.reset();
    // Error boxes and settings dialogs still on their short threads use the prompt service
    // this object owns (the ports' close has answered their dialogs Cancel).
    WaitForSettingsCommands(kErrorBoxGraceMs);
    WaitForPortErrorBoxes(kErrorBoxGraceMs);
    CloseProcessEvents();
    return code;
}
