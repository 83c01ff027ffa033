#pragma once
// halvo2's main window: the MDI frame that holds the port windows, with menu 2 while no port
// window exists and menu 101 while one does, accelerator table 2, the main toolbar and status
// bar, the Open Port command, the commands that act on every port window at once, the
// process-wide display flags, help, and the orderly end of the program.

#include <QMainWindow>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/prompts.h"
#include "terminal/app/command_line.h"
#include "terminal/resources/halvo_resources.h"

class CPortMDIChildWnd;
class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QToolBar;

class CMainFrame : public QMainWindow {
  public:
    explicit CMainFrame(platform::PromptService& prompts);
    ~CMainFrame() override;

    // The frame's creation: the stored preferences, the bars, the command line and, when the
    // preferences ask for it, the Open Port dialog. False when the program is to end at once
    // (the usage text was shown).
    bool Create(std::string_view commandLine);
    // "/MAX" was given.
    bool StartMaximized() const { return maximize_; }

    // Runs command `id` as its menu item, toolbar button or accelerator would.
    void OnCommand(int id);
    // A port window for `portName`, created and started; false when it could not be made.
    bool CreatePortWindow(const std::string& portName);
    void Arrange(Arrangement arrangement);
    // Greys or enables the serial-only items of the port menu for the port window `frame`.
    void ApplyPortMenuState(CPortMDIChildWnd* frame);

    QMdiArea* MdiArea() const { return mdi_; }
    // The port windows in the order they were created.
    std::vector<CPortMDIChildWnd*> PortFrames() const;
    CPortMDIChildWnd* ActivePortFrame() const;
    // The action of command `id` in the menu shown now (menu 2 or 101); null when that menu
    // does not hold it.
    QAction* Action(int id) const;
    bool ShowsPortMenu() const { return portMenuShown_; }
    QToolBar* ToolBar() const { return toolbar_; }

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    using ActionMap = std::map<int, QAction*>;
    std::vector<QMenu*> BuildMenu(std::span<const MenuInfo> menus, ActionMap& actions);
    void BuildToolbar();
    void BuildStatusBar();
    void BuildAccelerators();
    void UpdateMenu();
    // Sets the check marks of the display-flag items to the live flags.
    void UpdateFlagChecks();
    // The caption: the program's title and the active port window's title, in brackets while
    // that window is maximised.
    QString Caption() const;
    void UpdateCaption();
    void PostToAllPorts(unsigned message);
    void OnOpenPort();
    void OnPreferences();
    void OnHelp();
    void OnClearAll();
    void OnCloseAll();
    void OnSendReceiveTestData();
    void ToggleFlag(int id);
    void ClosePortWindows();

    platform::PromptService& prompts_;
    QMdiArea* mdi_;
    QToolBar* toolbar_ = nullptr;
    std::vector<QMenu*> mainMenus_;
    std::vector<QMenu*> portMenus_;
    ActionMap mainActions_;
    ActionMap portActions_;
    bool portMenuShown_ = false;
    bool maximize_ = false;
    std::optional<Arrangement> pendingArrangement_;
    // The receiver of the port frames' destruction notices, gone before the frame's own end.
    std::unique_ptr<QObject> menuUpdates_;
};
