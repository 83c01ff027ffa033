#pragma once
// The monitor's application: the prompt service, the main frame and the view's first
// initialisation with the command line.

#include <QApplication>
#include <memory>
#include <string>

#include "platform/ui/qt/qt_prompts.h"

class CMainFrame;

class CSeltraApp : public QApplication {
  public:
    CSeltraApp(int& argc, char** argv);
    ~CSeltraApp() override;

    // Start-up; false when the program must end at once.
    bool InitInstance();

    // The command line without the program name, its words joined by single spaces.
    static std::string CommandLine(const QStringList& arguments);

  private:
    platform::QtPrompts prompts_;
    std::unique_ptr<CMainFrame> frame_;
};
