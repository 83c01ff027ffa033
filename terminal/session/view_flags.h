#pragma once
// What a port window shows and does at creation, and the display flags that act on every port
// at once.

#include <atomic>

#include "terminal/session/port_name.h"

// The preferences that decide how a new port window starts.
struct PortViewPreferences {
    bool childToolbar = true;
    bool childStatusBar = true;
    bool reportView = false;
};

// One port window's view and line state.
struct PortViewFlags {
    bool childToolbarShown = true;
    bool childStatusBarShown = true;
    bool reportView = false;  // statistics instead of data
    bool dtrOn = false;       // set by the open
    bool rtsOn = false;
    bool receiving = false;
    bool sending = false;
    bool internalLoopback = false;
};

// A socket port has no modem lines to drive, so its child toolbar starts hidden.
PortViewFlags InitialPortViewFlags(PortKind kind, const PortViewPreferences& preferences);

// The preferences that are also live display flags.
struct DisplayPreferences {
    bool logToFile = false;
    bool showCrLf = false;
};

// The process-wide display flags. The menus flip them on the main thread while the ports'
// workers read them for every block, so each flag is atomic on its own.
class DisplayFlags {
  public:
    // The start-up values: Log To File and Show CR/LF/BS from the preferences, Hex Display and
    // line-feed line ends off, the continuous character as the command line gave it.
    void Initialize(const DisplayPreferences& preferences, bool continuousCharacter,
                    char character);

    std::atomic<bool> logToFile{false};
    std::atomic<bool> showCrLfBs{false};
    std::atomic<bool> hexDisplay{false};
    std::atomic<bool> sendLineFeeds{false};
    std::atomic<bool> continuousCharacter{false};
    std::atomic<char> character{0};
};

DisplayFlags& ProcessDisplayFlags();
