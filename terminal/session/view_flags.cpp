#include "terminal/session/view_flags.h"

PortViewFlags InitialPortViewFlags(PortKind kind, const PortViewPreferences& preferences) {
    PortViewFlags flags;
    flags.childToolbarShown = kind == PortKind::Serial && preferences.childToolbar;
    flags.childStatusBarShown = preferences.childStatusBar;
    flags.reportView = preferences.reportView;
    return flags;
}

void DisplayFlags::Initialize(const DisplayPreferences& preferences, bool continuous,
                              char continuousChar) {
    logToFile = preferences.logToFile;
    showCrLfBs = preferences.showCrLf;
    hexDisplay = false;
    sendLineFeeds = false;
    // The character is in place before the flag that makes readers use it.
    character = continuousChar;
    continuousCharacter = continuous;
}

DisplayFlags& ProcessDisplayFlags() {
    static DisplayFlags flags;
    return flags;
}
