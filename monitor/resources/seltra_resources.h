#pragma once
// The command ids of the monitor's menus and toolbar with their texts and status-bar prompts,
// and the string and pane ids of the frame, in one table so that menus, toolbar and tests agree.

#include <span>

// File menu and the framework's commands.
constexpr int ID_FILE_NEW = 57600;
constexpr int ID_FILE_OPEN = 57601;
constexpr int ID_FILE_SAVE = 57603;
constexpr int ID_FILE_SAVE_AS = 57604;
constexpr int ID_FILE_PRINT_SETUP = 57606;
constexpr int ID_FILE_PRINT = 57607;
constexpr int ID_FILE_PRINT_DIRECT = 57608;
constexpr int ID_FILE_PRINT_PREVIEW = 57609;
constexpr int ID_APP_ABOUT = 57664;
constexpr int ID_VIEW_TOOLBAR = 59392;
constexpr int ID_VIEW_STATUS_BAR = 59393;
// The monitor's own commands.
constexpr int ID_HELP_CONTENTS = 32771;
constexpr int ID_TOOLS_ADD_PORTS = 32772;
constexpr int ID_TOOLS_REMOVE_PORTS = 32773;
constexpr int ID_TOOLS_ADD_COLUMNS = 32774;
constexpr int ID_TOOLS_REMOVE_COLUMNS = 32775;
constexpr int ID_TOOLS_SETTINGS = 32777;
constexpr int ID_TOOLS_DEFAULT_COLUMNS = 32779;
constexpr int ID_TOOLS_RESET_VALUES = 32780;
constexpr int ID_APP_EXIT_SELTRA = 32782;
constexpr int ID_ROW_REMOVE = 32783;
constexpr int ID_ROW_RESET = 32784;
constexpr int ID_FILE_CONVERT = 32785;
constexpr int ID_COLUMN_REMOVE = 32786;
constexpr int ID_COLUMN_RESET = 32787;

// Status-bar panes after the message pane.
constexpr int ID_INDICATOR_POLLING = 59136;
constexpr int ID_INDICATOR_CAPS = 59137;
constexpr int ID_INDICATOR_NUM = 59138;
constexpr int ID_INDICATOR_SCRL = 59139;
inline constexpr const char* kPollingOnText = "Polling timer is ON";
inline constexpr const char* kPollingOffText = "Polling timer is OFF";

constexpr int IDR_MAINFRAME = 127;
constexpr int IDR_TOOLBAR = 128;
constexpr int IDR_ROW_POPUP = 130;
constexpr int IDR_COLUMN_POPUP = 133;

inline constexpr const char* kAppTitle = "Seltra2";
inline constexpr const char* kAboutTitle = "About Seltra2 ...";
inline constexpr const char* kAboutProduct = "Seltra2 - Serial Port Monitor";
inline constexpr const char* kAboutVersion = "Version 6.00";

struct CommandInfo {
    int id;
    const char* menuText;  // with "&" mnemonics and a "\t" accelerator where it has one
    const char* prompt;    // shown in the message pane while the item is highlighted
};

// A separator in the menu and toolbar layouts.
constexpr int kSeparator = 0;

struct MenuInfo {
    const char* title;
    std::span<const int> items;
};

// The command `id`; null for an id the table does not hold.
const CommandInfo* FindCommand(int id);
// Menu 127, in order.
std::span<const MenuInfo> MainMenu();
// Toolbar 128, in order.
std::span<const int> MainToolbar();
// The first submenus of menus 130 and 133.
std::span<const int> RowPopup();
std::span<const int> ColumnPopup();
