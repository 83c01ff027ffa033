#include "terminal/resources/halvo_resources.h"

#include <algorithm>
#include <array>

namespace {

using Kind = MenuItem::Kind;

constexpr MenuItem Cmd(int id, const char* text) {
    return {Kind::Command, id, text};
}
constexpr MenuItem Sep() {
    return {Kind::Separator, 0, nullptr};
}
constexpr MenuItem Pop(const char* text, std::span<const MenuItem> items) {
    return {Kind::Popup, 0, text, items};
}

constexpr CommandInfo kCommands[] = {
    {ID_OPEN_PORT, "Open one or more ports", "Open Port", "&Open Port"},
    {ID_FILE_SAVE_AS, "Save the port window's text to a file", "Save As", "&Save As..."},
    {ID_FILE_PRINT, "Print the port window's text", "Print", "&Print"},
    {ID_PREFERENCES, "Change the program's preferences", nullptr, "Pre&ferences ..."},
    {ID_APP_EXIT, "Quit the application; prompts to save settings", nullptr, "E&xit"},
    {ID_VIEW_TOOLBAR, "Show or hide the toolbar", nullptr, "&Toolbar"},
    {ID_VIEW_STATUS_BAR, "Show or hide the status bar", nullptr, "&Status Bar"},
    {ID_HELP_CONTENTS, "Show the help contents", nullptr, "Contents"},
    {ID_APP_ABOUT, "Display program information, version number and copyright", "About",
     "&About Halvo2 ..."},
    {ID_WINDOW_ARRANGE, "Arrange icons at the bottom of the window", nullptr, "Arrange &Icons"},
    {ID_WINDOW_CASCADE, "Arrange windows so they overlap", nullptr, "&Cascade"},
    {ID_WINDOW_TILE_HORZ, "Arrange windows as non-overlapping tiles", nullptr,
     "Tile &Horizontally"},
    {ID_WINDOW_TILE_VERT, "Arrange windows as non-overlapping tiles", nullptr, "Tile &Vertically"},
    {ID_CLOSE_PORT_WINDOW, "Close the port and its window", nullptr, "Close"},
    {ID_CLOSE_ALL, "Close every port and its window", nullptr, "Close &All"},
    {ID_SEND_ALL, "Send data to all active ports", "Send ( All )", "Send ( All )"},
    {ID_STOP_SENDING_ALL, "Stop sending data to all active ports", "Stop Sending ( All )",
     "Stop Sending ( All )"},
    {ID_RECEIVE_ALL, "Receive data from all active ports", "Receive ( All )", "Receive ( All )"},
    {ID_STOP_RECEIVING_ALL, "Stop receiving data from all active ports", "Stop Receiving ( All )",
     "Stop Receiving ( All )"},
    {ID_CLEAR_SCREEN_ALL, "Clear the screens of all port windows", "Clear Screen ( All )",
     "Clear Screen ( All )"},
    {ID_CHANGE_VIEW_ALL, "Switch every port window between data and statistics",
     "Change View ( All )", "&Change View"},
    {ID_TOOLBARS_ALL, "Show or hide the toolbars of all port windows",
     "Activate/Deactivate Toolbars", "Activate/Deactivate Toolbars"},
    {ID_STATUS_BARS_ALL, "Show or hide the status bars of all port windows",
     "Activate/Deactivate Status Bars", "Activate/Deactivate Status Bars"},
    {ID_SEND_RECEIVE_TEST_DATA, "Send and receive test data on all active ports", nullptr,
     "Send and Receive &Test Data"},
    {ID_LOG_TO_FILE, "Log the data every port receives to a file of its own", nullptr,
     "Log &To File"},
    {ID_SHOW_CR_LF_BS, "Show carriage returns, line feeds and backspaces as markers", nullptr,
     "Show &CR/LF/BS"},
    {ID_SEND_LINE_FEEDS, "A received carriage return starts a new line", nullptr,
     "Send line ends with line feeds"},
    {ID_HEX_DISPLAY, "Show received data in hexadecimal", nullptr, "Hex Display"},
    {ID_OPEN_CLOSE, "Open or close the port", "Open/Close", "Open / Close"},
    {ID_DTR, "Raise or drop DTR", "DTR", "&DTR"},
    {ID_RTS, "Raise or drop RTS", "RTS", "&RTS"},
    {ID_CHANGE_VIEW, "Switch between data and statistics", "Change View", "Change &View"},
    {ID_SEND, "Send test data", "SendData", "Send"},
    {ID_RECEIVE, "Receive data", "Receive Data", "Receive"},
    {ID_CLEAR_SCREEN, "Clear the screen", "Clear Screen", "&Clear Screen"},
    {ID_CHILD_TOOLBAR, "Show or hide the port's toolbar", nullptr, "&Toolbar"},
    {ID_CHILD_STATUS_BAR, "Show or hide the port's status bar", nullptr, "&Status Bar"},
    {ID_INTERNAL_LOOPBACK, "Switch the driver's internal loopback on or off", "Internal Loopback",
     "Loopback"},
    {ID_LOOPBACK_TEST, "Test the port with a loopback plug", nullptr, "&Loopback Test"},
    {ID_PNP_TEST, "Read the identification of a plug-and-play device", nullptr, "&PnP ID Test"},
    {ID_SEND_IMMEDIATE_CHAR, "Send one character ahead of the output queue", nullptr,
     "Send &Immediate Char"},
    {ID_SEND_STRING, "Send an ASCII or hexadecimal string", nullptr, "Send ASCII / HEX String"},
    {ID_SEND_FILE, "Send a text file", nullptr, "&Send ASCII ..."},
    {ID_RECEIVE_FILE, "Receive into a text file", nullptr, "&Receive ASCII ..."},
    {ID_PORT_SETTINGS, "Change the port's line settings", nullptr, "&Port Settings"},
    {ID_MISC_SETTINGS, "Change the port's flow control and special characters", nullptr,
     "&Miscellaneous ..."},
    {ID_TIMEOUTS, "Change the port's time-outs", nullptr, "&Timeouts ..."},
    {ID_EVENTS, "Choose the port events to show", nullptr, "&Events ..."},
    {ID_QUEUE_SIZE, "Change the driver's queue sizes", nullptr, "&Queue Size ..."},
    {ID_SET_XON, "Act as if XON was received", nullptr, "Set XON"},
    {ID_SET_XOFF, "Act as if XOFF was received", nullptr, "Set XOFF"},
    {ID_BREAK_ON, "Hold the line in break", nullptr, "Set Break ON"},
    {ID_BREAK_OFF, "End the break", nullptr, "Set Break OFF"},
    {ID_PURGE_TX_ABORT, "Abort outstanding writes", nullptr, "Purge TX_ABORT"},
    {ID_PURGE_TX_CLEAR, "Clear the output queue", nullptr, "Purge TX_CLEAR"},
    {ID_PURGE_RX_ABORT, "Abort outstanding reads", nullptr, "Purge RX_ABORT"},
    {ID_PURGE_RX_CLEAR, "Clear the input queue", nullptr, "Purge RX_CLEAR"},
    {ID_SET_TOGGLE_LOW, "Set the driver's toggle-low function", nullptr, "Set Toggle Low"},
    {ID_CLEAR_TOGGLE_LOW, "Clear the driver's toggle-low function", nullptr, "Clear Toggle Low"},
};

// Menu 2.
constexpr MenuItem kMainFile[] = {Cmd(ID_OPEN_PORT, "&Open Port\tCtrl+O"), Sep(),
                                  Cmd(ID_PREFERENCES, "Pre&ferences ..."), Sep(),
                                  Cmd(ID_APP_EXIT, "E&xit")};
constexpr MenuItem kMainView[] = {Cmd(ID_VIEW_TOOLBAR, "&Toolbar"),
                                  Cmd(ID_VIEW_STATUS_BAR, "&Status Bar")};
constexpr MenuItem kHelp[] = {Cmd(ID_HELP_CONTENTS, "Contents\tF1"), Sep(),
                              Cmd(ID_APP_ABOUT, "&About Halvo2 ...")};
constexpr MenuInfo kMainMenu[] = {{"&File", kMainFile}, {"&View", kMainView}, {"&Help", kHelp}};

// Menu 101.
constexpr MenuItem kPortFile[] = {Cmd(ID_OPEN_PORT, "&Open Port\tCtrl+O"),
                                  Sep(),
                                  Cmd(ID_FILE_SAVE_AS, "&Save As..."),
                                  Cmd(ID_FILE_PRINT, "&Print"),
                                  Sep(),
                                  Cmd(ID_PREFERENCES, "Pre&ferences ..."),
                                  Sep(),
                                  Cmd(ID_APP_EXIT, "E&xit")};
constexpr MenuItem kPurge[] = {
    Cmd(ID_PURGE_TX_ABORT, "Purge TX_ABORT"), Cmd(ID_PURGE_TX_CLEAR, "Purge TX_CLEAR"), Sep(),
    Cmd(ID_PURGE_RX_ABORT, "Purge RX_ABORT"), Cmd(ID_PURGE_RX_CLEAR, "Purge RX_CLEAR")};
constexpr MenuItem kControl[] = {Cmd(ID_SET_XON, "Set XON"),
                                 Cmd(ID_SET_XOFF, "Set XOFF"),
                                 Sep(),
                                 Cmd(ID_BREAK_ON, "Set Break ON"),
                                 Cmd(ID_BREAK_OFF, "Set Break OFF"),
                                 Sep(),
                                 Cmd(ID_SET_TOGGLE_LOW, "Set Toggle Low"),
                                 Cmd(ID_CLEAR_TOGGLE_LOW, "Clear Toggle Low"),
                                 Sep(),
                                 Pop("Purge", kPurge)};
constexpr MenuItem kFileTransfer[] = {Cmd(ID_SEND_FILE, "&Send ASCII ..."),
                                      Cmd(ID_RECEIVE_FILE, "&Receive ASCII ...")};
constexpr MenuItem kPortPort[] = {Cmd(ID_LOG_TO_FILE, "Log &To File"),
                                  Cmd(ID_SHOW_CR_LF_BS, "Show &CR/LF/BS"),
                                  Cmd(ID_SEND_LINE_FEEDS, "Send line ends with line feeds"),
                                  Sep(),
                                  Cmd(ID_PNP_TEST, "&PnP ID Test"),
                                  Cmd(ID_LOOPBACK_TEST, "&Loopback Test"),
                                  Cmd(ID_SEND_IMMEDIATE_CHAR, "Send &Immediate Char"),
                                  Sep(),
                                  Cmd(ID_SEND_STRING, "Send ASCII / HEX String"),
                                  Cmd(ID_SEND_RECEIVE_TEST_DATA, "Send and Receive &Test Data"),
                                  Sep(),
                                  Pop("&Control", kControl),
                                  Pop("&File Transfer        ", kFileTransfer)};
constexpr MenuItem kPortSettings[] = {Cmd(ID_PORT_SETTINGS, "&Port Settings"),
                                      Sep(),
                                      Cmd(ID_MISC_SETTINGS, "&Miscellaneous ..."),
                                      Cmd(ID_TIMEOUTS, "&Timeouts ..."),
                                      Cmd(ID_EVENTS, "&Events ..."),
                                      Cmd(ID_QUEUE_SIZE, "&Queue Size ...")};
constexpr MenuItem kPortView[] = {
    Cmd(ID_VIEW_TOOLBAR, "&Toolbar"), Cmd(ID_VIEW_STATUS_BAR, "&Status Bar"), Sep(),
    Cmd(ID_CHANGE_VIEW_ALL, "&Change View"), Cmd(ID_HEX_DISPLAY, "Hex Display")};
constexpr MenuItem kPortWindow[] = {Cmd(ID_WINDOW_CASCADE, "&Cascade\tCtrl+C"),
                                    Cmd(ID_WINDOW_TILE_VERT, "Tile &Vertically\tCtrl+V"),
                                    Cmd(ID_WINDOW_TILE_HORZ, "Tile &Horizontally   \tCtrl+H"),
                                    Cmd(ID_WINDOW_ARRANGE, "Arrange &Icons"),
                                    Sep(),
                                    Cmd(ID_CLOSE_PORT_WINDOW, "Close"),
                                    Cmd(ID_CLOSE_ALL, "Close &All")};
constexpr MenuInfo kPortMenu[] = {{"&File", kPortFile},         {"&Port", kPortPort},
                                  {"&Settings", kPortSettings}, {"&View", kPortView},
                                  {"&Window", kPortWindow},     {"&Help", kHelp}};

// Menu 103: the port window's context menu.
constexpr MenuItem kContextItems[] = {Cmd(ID_CHILD_TOOLBAR, "&Toolbar"),
                                      Cmd(ID_CHILD_STATUS_BAR, "&Status Bar"),
                                      Sep(),
                                      Cmd(ID_OPEN_CLOSE, "Open / Close"),
                                      Cmd(ID_INTERNAL_LOOPBACK, "Loopback"),
                                      Cmd(ID_DTR, "&DTR"),
                                      Cmd(ID_RTS, "&RTS"),
                                      Sep(),
                                      Cmd(ID_SEND, "Send"),
                                      Cmd(ID_RECEIVE, "Receive"),
                                      Sep(),
                                      Cmd(ID_CLEAR_SCREEN, "&Clear Screen"),
                                      Cmd(ID_CHANGE_VIEW, "Change &View"),
                                      Sep(),
                                      Cmd(ID_PORT_SETTINGS, "&Port Settings..."),
                                      Sep(),
                                      Cmd(ID_CLOSE_PORT_WINDOW, "Cl&ose")};
constexpr MenuInfo kContextMenu = {"Context Menu", kContextItems};

constexpr int kMainToolbar[] = {ID_OPEN_PORT,          kSeparator, ID_SEND_ALL,
                                ID_STOP_SENDING_ALL,   kSeparator, ID_RECEIVE_ALL,
                                ID_STOP_RECEIVING_ALL, kSeparator, ID_CLEAR_SCREEN_ALL,
                                ID_CHANGE_VIEW_ALL,    kSeparator, ID_TOOLBARS_ALL,
                                ID_STATUS_BARS_ALL,    kSeparator, ID_APP_ABOUT};
constexpr int kChildToolbar[] = {ID_OPEN_CLOSE,   ID_INTERNAL_LOOPBACK, kSeparator,     ID_DTR,
                                 ID_RTS,          kSeparator,           ID_SEND,        ID_RECEIVE,
                                 kSeparator,      ID_CLEAR_SCREEN,      ID_CHANGE_VIEW, kSeparator,
                                 ID_FILE_SAVE_AS, ID_FILE_PRINT};

constexpr Accelerator kAccelerators[] = {
    {"Ctrl+C", ID_WINDOW_CASCADE}, {"Ctrl+H", ID_WINDOW_TILE_HORZ},
    {"Ctrl+O", ID_OPEN_PORT},      {"Ctrl+V", ID_WINDOW_TILE_VERT},
    {"F6", ID_ACCEL_F6},           {"Shift+F6", ID_STOP_SENDING_ALL},
};

}  // namespace

const CommandInfo* FindCommand(int id) {
    const auto* it = std::find_if(std::begin(kCommands), std::end(kCommands),
                                  [id](const CommandInfo& info) { return info.id == id; });
    return it == std::end(kCommands) ? nullptr : it;
}

std::span<const MenuInfo> MainMenu() {
    return kMainMenu;
}
std::span<const MenuInfo> PortMenu() {
    return kPortMenu;
}
const MenuInfo& ContextMenu() {
    return kContextMenu;
}
std::span<const int> MainToolbar() {
    return kMainToolbar;
}
std::span<const int> ChildToolbar() {
    return kChildToolbar;
}
std::span<const Accelerator> Accelerators() {
    return kAccelerators;
}
