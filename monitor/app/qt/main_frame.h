#pragma once
// The monitor's main window: menu 127, toolbar 128, the five-pane status bar and the table view.
// It holds the process-wide settings: read when it is created, written when it closes.

#include <QMainWindow>
#include <map>
#include <memory>

#include "monitor/app/seltra_settings.h"
#include "monitor/drivers/device_control.h"
#include "monitor/drivers/device_paths.h"
#include "platform/ui/prompts.h"

class CSeltraView;
class QAction;
class QLabel;
class QPrinter;
class QToolBar;

class CMainFrame : public QMainWindow {
  public:
    explicit CMainFrame(platform::PromptService& prompts,
                        DeviceControl& device = SystemDeviceControl(),
                        const DevicePaths* paths = nullptr);
    ~CMainFrame() override;

    // Runs the command `id` as its menu item would.
    void OnCommand(int id);

    CSeltraView& View() { return *view_; }
    SeltraSettings& Settings() { return settings_; }
    QAction* Action(int id) const;
    QToolBar* ToolBar() const { return toolbar_; }
    // The text of status pane `id` (59136..59139).
    QString PaneText(int id) const;

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildMenus();
    void BuildToolbar();
    void BuildStatusBar();
    void UpdateCommandStates();
    void OnSettings();
    void OnExit();
    void OnAbout();
    void OnPrint();
    void OnPrintPreview();
    void OnPrintSetup();

    platform::PromptService& prompts_;
    SeltraSettings settings_;
    CSeltraView* view_;
    QToolBar* toolbar_ = nullptr;
    std::map<int, QAction*> actions_;
    std::map<int, QLabel*> panes_;
    std::unique_ptr<QPrinter> printer_;
    bool exiting_ = false;
};
