#include "monitor/resources/seltra_resources.h"

#include <array>

namespace {

constexpr std::array kCommands = {
    CommandInfo{ID_FILE_NEW, "&New\tCtrl+N", "Start a new session"},
    CommandInfo{ID_FILE_OPEN, "&Open...\tCtrl+O", "Open a saved session"},
    CommandInfo{ID_FILE_SAVE, "&Save\tCtrl+S", "Save the session"},
    CommandInfo{ID_FILE_SAVE_AS, "Save &As...", "Save the session under a new name"},
    CommandInfo{ID_FILE_PRINT, "&Print...\tCtrl+P", "Print the port table"},
    CommandInfo{ID_FILE_PRINT_PREVIEW, "Print Pre&view", "Show the printed pages"},
    CommandInfo{ID_FILE_PRINT_SETUP, "P&rint Setup...", "Choose the printer and the paper"},
    CommandInfo{ID_FILE_CONVERT, "&Convert ...", "Convert a session or report to text"},
    CommandInfo{ID_APP_EXIT_SELTRA, "E&xit", "Quit the monitor"},
    CommandInfo{ID_TOOLS_ADD_PORTS, "&Add Ports", "Add ports to the table"},
    CommandInfo{ID_TOOLS_REMOVE_PORTS, "&Remove Ports", "Remove the selected ports"},
    CommandInfo{ID_TOOLS_ADD_COLUMNS, "A&dd Columns", "Add columns to the table"},
    CommandInfo{ID_TOOLS_REMOVE_COLUMNS, "Re&move Columns", "Remove columns from the table"},
    CommandInfo{ID_TOOLS_RESET_VALUES, "Re&set Values", "Reset every value to zero"},
    CommandInfo{ID_TOOLS_DEFAULT_COLUMNS, "&Default Columns", "Show the default columns"},
    CommandInfo{ID_TOOLS_SETTINGS, "&Settings", "Change the monitor's settings"},
    CommandInfo{ID_VIEW_TOOLBAR, "&Toolbar", "Show or hide the toolbar"},
    CommandInfo{ID_VIEW_STATUS_BAR, "&Status Bar", "Show or hide the status bar"},
    CommandInfo{ID_HELP_CONTENTS, "Contents\tF1", "Open the help"},
    CommandInfo{ID_APP_ABOUT, "&About Seltra2...", "Show the program's version"},
    CommandInfo{ID_ROW_REMOVE, "Re&move Row", "Remove the selected ports"},
    CommandInfo{ID_ROW_RESET, "&Reset Row", "Reset the selected ports"},
    CommandInfo{ID_COLUMN_REMOVE, "Re&move Column", "Remove this column"},
    CommandInfo{ID_COLUMN_RESET, "&Reset Column", "Reset this column's values"},
};

constexpr std::array kFileItems = {ID_FILE_NEW,           ID_FILE_OPEN,        ID_FILE_SAVE,
                                   ID_FILE_SAVE_AS,       kSeparator,          ID_FILE_PRINT,
                                   ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP, kSeparator,
                                   ID_FILE_CONVERT,       kSeparator,          ID_APP_EXIT_SELTRA};
constexpr std::array kToolsItems = {ID_TOOLS_ADD_PORTS,    ID_TOOLS_REMOVE_PORTS,    kSeparator,
                                    ID_TOOLS_ADD_COLUMNS,  ID_TOOLS_REMOVE_COLUMNS,  kSeparator,
                                    ID_TOOLS_RESET_VALUES, ID_TOOLS_DEFAULT_COLUMNS, kSeparator,
                                    ID_TOOLS_SETTINGS};
constexpr std::array kViewItems = {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR};
constexpr std::array kHelpItems = {ID_HELP_CONTENTS, kSeparator, ID_APP_ABOUT};

constexpr std::array kMenus = {
    MenuInfo{"&File", kFileItems},
    MenuInfo{"&Tools", kToolsItems},
    MenuInfo{"&View", kViewItems},
    MenuInfo{"&Help", kHelpItems},
};

constexpr std::array kToolbar = {ID_FILE_NEW,
                                 ID_FILE_OPEN,
                                 ID_FILE_SAVE,
                                 ID_FILE_PRINT,
                                 kSeparator,
                                 ID_TOOLS_ADD_PORTS,
                                 ID_TOOLS_REMOVE_PORTS,
                                 kSeparator,
                                 ID_TOOLS_ADD_COLUMNS,
                                 ID_TOOLS_REMOVE_COLUMNS,
                                 kSeparator,
                                 ID_APP_ABOUT};

constexpr std::array kRowPopup = {ID_ROW_REMOVE, ID_ROW_RESET};
constexpr std::array kColumnPopup = {ID_COLUMN_REMOVE, ID_COLUMN_RESET};

}  // namespace

const CommandInfo* FindCommand(int id) {
    for (const CommandInfo& command : kCommands) {
        if (command.id == id) {
            return &command;
        }
    }
    return nullptr;
}

std::span<const MenuInfo> MainMenu() {
    return kMenus;
}
std::span<const int> MainToolbar() {
    return kToolbar;
}
std::span<const int> RowPopup() {
    return kRowPopup;
}
std::span<const int> ColumnPopup() {
    return kColumnPopup;
}
