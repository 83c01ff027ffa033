#include "monitor/app/qt/help_file.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "platform/system/paths.h"

std::string HelpFilePath() {
    return platform::ProgramDirectory() + "/" + kHelpFileName;
}

bool OpenHelpFile(platform::PromptService& prompts) {
    const QString path = QString::fromStdString(HelpFilePath());
    // Checked first: the desktop's opener reports success for a file it will not find.
    if (!QFileInfo(path).isFile() || !QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        prompts.MessageBox(kHelpLaunchErrorText, kHelpWarningCaption, MB_OK | MB_ICONSTOP);
        return false;
    }
    return true;
}
