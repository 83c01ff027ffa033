#pragma once
// halvo2's application object: the platform check, the built-in line settings, the command
// line, the main frame and the two process-wide events, and their release at the end.

#include <QApplication>
#include <memory>
#include <string>

#include "platform/ui/qt/qt_prompts.h"

class CMainFrame;

class CHalvoApp : public QApplication {
  public:
    CHalvoApp(int& argc, char** argv);
    ~CHalvoApp() override;

    // True when the program is to run its event loop.
    bool InitInstance();
    // Closes the two process-wide events; returns the exit code.
    int ExitInstance(int code);

    CMainFrame* MainFrame() const { return frame_.get(); }

  private:
    platform::QtPrompts prompts_;
    std::unique_ptr<CMainFrame> frame_;
    std::string commandLine_;
};
