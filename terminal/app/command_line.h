#pragma once
// What start-up makes of the program's command line: the port windows to create and how to
// arrange them, the line settings for those ports, the continuous character, whether to
// maximise the main window, and the usage text or warning to show.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/message_box_types.h"
#include "terminal/config/port_config.h"

// The command line is kept in a buffer of this size, its terminating zero included; a command
// line that begins with a port name also needs room for the "," appended to it.
constexpr std::size_t kCommandLineBufferSize = 80;

inline constexpr const char* kUsageText =
    "Halvo2  [<Port Names>] [/P<Port Settings>] [/F<char>] [/MAX] [/W<h | v | c>] [/?]\t\n"
    "\n"
    "<Port Names>\t Specifies one or more port names separated by commas.\t\n"
    "/P<Port Settings>\t Sets the port parameters when it opens the port(s).\t\n"
    "/F<char>\t\t Sends the specified character continuously to the ports.\n"
    "/MAX\t\t Maximizes the application's window.\t\n"
    "/W<h | v | c>\t Arranges port windows horizontally, vertically, or like a cascade.\t\n"
    "/?\t\t Displays this help.";
inline constexpr const char* kUsageCaption = "Halvo2 Command...";
constexpr UINT kUsageIcon = MB_ICONINFORMATION;

inline constexpr const char* kInvalidParameterText = " Invalid Parameter! ";
inline constexpr const char* kInvalidParameterCaption = "Halvo2 - Warning ...";
constexpr UINT kInvalidParameterIcon = MB_ICONHAND;

// The character sent continuously when "/F" is followed by anything outside 'A'..'z'.
constexpr char kDefaultContinuousCharacter = 'H';

enum class Arrangement { Vertical, Horizontal, Cascade };

struct CommandLinePlan {
    // Show kUsageText and end the program; nothing else of the command line takes effect.
    bool showUsage = false;
    // The port windows to create, in this order, once the plan is returned.
    std::vector<std::string> portNames{};
    bool maximize = false;
    // Arrange the port windows after creating them (the command line began with a port name).
    bool arrangeWindows = false;
    Arrangement arrangement = Arrangement::Vertical;
    bool continuousCharacter = false;
    char character = 0;
    // "/P" was applied to the settings record.
    bool settingsApplied = false;
    // Show kInvalidParameterText: nothing was recognised, or the command line did not fit.
    bool showInvalidParameter = false;
};

// Interprets the command line (the text after the program path). The settings after "/P" are
// written to defaultConfig before this returns, so port windows created from the plan copy
// them. Upper- and lower-case switches are the same. A command line that does not fit the
// buffer is refused whole: the plan then only shows the warning (or the usage text, when it
// holds "/?") and defaultConfig is untouched.
CommandLinePlan ProcessCommandLine(std::string_view commandLine, PortConfig& defaultConfig);

// The command line of a program started with these arguments (argv, the program path first):
// the arguments after the path, separated by single spaces.
std::string CommandLineFromArguments(std::span<const char* const> arguments);
