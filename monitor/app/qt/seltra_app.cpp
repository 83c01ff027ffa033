#include "monitor/app/qt/seltra_app.h"

#include "monitor/app/qt/main_frame.h"
#include "monitor/app/qt/seltra_view.h"

CSeltraApp::CSeltraApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Seltra2"));
    setOrganizationName(QStringLiteral("Quenby"));
    platform::SetPromptService(&prompts_);
}

CSeltraApp::~CSeltraApp() {
    frame_.reset();
    platform::SetPromptService(nullptr);
}

std::string CSeltraApp::CommandLine(const QStringList& arguments) {
    return arguments.mid(1).join(QLatin1Char(' ')).toStdString();
}

bool CSeltraApp::InitInstance() {
    frame_ = std::make_unique<CMainFrame>(prompts_);
    frame_->View().InitialUpdate(CommandLine(arguments()));
    // Wide enough for the default columns, as a first start has no window placement of its own.
    frame_->resize(1000, 420);
    frame_->show();
    return true;
}
