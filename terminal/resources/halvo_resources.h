#pragma once
// halvo2's command ids with their menu texts, status-bar prompts and tool tips, the layouts of
// menus 2, 101 and 103, of toolbars 128 and 130 and of accelerator table 2, in one table so that
// menus, toolbars and tests agree.

#include <span>

// Main frame and framework commands.
constexpr int ID_OPEN_PORT = 32784;
constexpr int ID_FILE_SAVE_AS = 32785;
constexpr int ID_FILE_PRINT = 32786;
constexpr int ID_PREFERENCES = 57686;
constexpr int ID_APP_EXIT = 57665;
constexpr int ID_VIEW_TOOLBAR = 59392;
constexpr int ID_VIEW_STATUS_BAR = 59393;
constexpr int ID_HELP_CONTENTS = 32804;
constexpr int ID_APP_ABOUT = 57664;
constexpr int ID_WINDOW_ARRANGE = 57649;
constexpr int ID_WINDOW_CASCADE = 57650;
constexpr int ID_WINDOW_TILE_HORZ = 57651;
constexpr int ID_WINDOW_TILE_VERT = 57652;
constexpr int ID_CLOSE_PORT_WINDOW = 32795;
constexpr int ID_CLOSE_ALL = 32796;
constexpr int ID_ACCEL_F6 = 57680;
// All-port commands.
constexpr int ID_SEND_ALL = 32826;
constexpr int ID_STOP_SENDING_ALL = 57681;
constexpr int ID_RECEIVE_ALL = 32825;
constexpr int ID_STOP_RECEIVING_ALL = 57682;
constexpr int ID_CLEAR_SCREEN_ALL = 32827;
constexpr int ID_CHANGE_VIEW_ALL = 32829;
constexpr int ID_TOOLBARS_ALL = 57670;
constexpr int ID_STATUS_BARS_ALL = 57672;
constexpr int ID_SEND_RECEIVE_TEST_DATA = 57684;
// Process-wide display flags.
constexpr int ID_LOG_TO_FILE = 57677;
constexpr int ID_SHOW_CR_LF_BS = 32799;
constexpr int ID_SEND_LINE_FEEDS = 57689;
constexpr int ID_HEX_DISPLAY = 57687;
// Port window commands.
constexpr int ID_OPEN_CLOSE = 32775;
constexpr int ID_DTR = 32776;
constexpr int ID_RTS = 32777;
constexpr int ID_CHANGE_VIEW = 32794;
constexpr int ID_SEND = 32797;
constexpr int ID_RECEIVE = 32798;
constexpr int ID_CLEAR_SCREEN = 32805;
constexpr int ID_CHILD_TOOLBAR = 57666;
constexpr int ID_CHILD_STATUS_BAR = 57667;
constexpr int ID_INTERNAL_LOOPBACK = 57678;
constexpr int ID_LOOPBACK_TEST = 32800;
constexpr int ID_PNP_TEST = 32801;
constexpr int ID_SEND_IMMEDIATE_CHAR = 57683;
constexpr int ID_SEND_STRING = 57688;
constexpr int ID_SEND_FILE = 32802;
constexpr int ID_RECEIVE_FILE = 32803;
constexpr int ID_PORT_SETTINGS = 32787;
constexpr int ID_MISC_SETTINGS = 32789;
constexpr int ID_TIMEOUTS = 32790;
constexpr int ID_EVENTS = 32791;
constexpr int ID_QUEUE_SIZE = 32792;
constexpr int ID_SET_XON = 32814;
constexpr int ID_SET_XOFF = 32815;
constexpr int ID_BREAK_ON = 32816;
constexpr int ID_BREAK_OFF = 32817;
constexpr int ID_PURGE_TX_ABORT = 32818;
constexpr int ID_PURGE_TX_CLEAR = 32819;
constexpr int ID_PURGE_RX_ABORT = 32820;
constexpr int ID_PURGE_RX_CLEAR = 32821;
constexpr int ID_SET_TOGGLE_LOW = 32822;
constexpr int ID_CLEAR_TOGGLE_LOW = 32823;

constexpr int IDR_MAINFRAME = 2;
constexpr int IDR_PORT_MENU = 101;
constexpr int IDR_CONTEXT_MENU = 103;
constexpr int IDR_MAIN_TOOLBAR = 128;
constexpr int IDR_CHILD_TOOLBAR = 130;

inline constexpr const char* kAppTitle = "Halvo2 - Test Terminal";
inline constexpr const char* kAboutTitle = "About Halvo2 ...";
inline constexpr const char* kAboutText = "Halvo2 - Test Terminal  version 5.02";
inline constexpr const char* kHelpFileName = "HALVO2.CHM";

// String 3: shown when the platform cannot run the program's threads.
inline constexpr const char* kUnsupportedPlatformText =
    "This application can be run only on versions of Windows that support the WIN32 API for "
    "multi-thread support.";

struct CommandInfo {
    int id;
    const char* prompt;   // the first half of the id's string: the status-bar prompt
    const char* toolTip;  // the second half; null for an id on no toolbar
    const char* text;     // the text of its toolbar button or menu item where it stands alone
};

// One entry of a menu: a command, a separator, or a popup with items of its own.
struct MenuItem {
    enum class Kind { Command, Separator, Popup } kind;
    int id;            // Command only
    const char* text;  // Command and Popup; "&" mnemonics and a "\t" accelerator where it has one
    std::span<const MenuItem> popup = {};
};

struct MenuInfo {
    const char* title;
    std::span<const MenuItem> items;
};

// A separator in a toolbar layout.
constexpr int kSeparator = 0;

// The command `id`; null for an id the table does not hold.
const CommandInfo* FindCommand(int id);
// Menu 2, shown while no port window is active, and menu 101, shown while one is.
std::span<const MenuInfo> MainMenu();
std::span<const MenuInfo> PortMenu();
// The popup "Context Menu" of menu 103.
const MenuInfo& ContextMenu();
// Toolbars 128 and 130, in order.
std::span<const int> MainToolbar();
std::span<const int> ChildToolbar();

struct Accelerator {
    const char* keys;  // in the toolkit's portable key-sequence text
    int id;
};

// Accelerator table 2.
std::span<const Accelerator> Accelerators();

// The positions, in menu 101, of the items that port windows grey for a socket port.
constexpr int kPortMenuFile = 0;
constexpr int kPortMenuPort = 1;
constexpr int kPortMenuSettings = 2;
constexpr int kPortMenuView = 3;
constexpr int kPortMenuWindow = 4;
constexpr int kPortPopupControl = 11;
