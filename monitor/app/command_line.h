#pragma once
// What the table view makes of the program's command line at its first initialisation: load the
// default session (empty line), add driver families (switches), add ports by name (a COM list),
// or warn about anything else.

#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/message_box_types.h"

inline constexpr const char* kInvalidParameterText = " Invalid Parameter!";
inline constexpr const char* kInvalidParameterCaption = "Seltra2 - Warning ...";
constexpr UINT kInvalidParameterIcon = MB_ICONSTOP;

// A command-line port token names a port only up to this length.
constexpr std::size_t kMaxCommandLinePortName = 11;

enum class CommandLineKind {
    Empty,     // load the default session silently
    Switches,  // /HUBLINE /TALON /ZENITH /? in any combination
    PortList,  // COM names
    Invalid,   // show kInvalidParameterText; the table starts empty
};

struct MonitorCommandLine {
    CommandLineKind kind = CommandLineKind::Empty;
    // Switches, applied in this order: the three families, then help.
    bool hubline = false;
    bool talon = false;
    bool zenith = false;
    bool help = false;
    // PortList: the port names in the order given.
    std::vector<std::string> ports;
};

// The command line without the program name. Surrounding blanks are not part of it. The text is
// read upper-cased, so "/talon" and "com3" work. A port token longer than a port name can be
// names no port and is skipped rather than cut to another port's name.
MonitorCommandLine ParseMonitorCommandLine(std::string_view text);
