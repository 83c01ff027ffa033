#pragma once
// Where a port's requests go: the session and the workers' shared state both post through it,
// so neither needs the other's header for it.

#include "terminal/session/port_messages.h"

// Where a port's requests go. Called from any thread; it must only post, never wait. A frame
// that has gone drops what arrives.
class PortFrameLink {
  public:
    enum class Target {
        Frame,      // the port frame: UWM_INDICATOR, UWM_TOGGLE_TOOLBAR, UWM_TOGGLE_STATUSBAR,
                    // UWM_REPORT_TEXT, WM_CLOSE
        MdiClient,  // the main frame's MDI client: WM_MDICASCADE, WM_MDITILE, UWM_APPLY_ALL_REQUEST
        MainFrame,  // the main frame: WM_COMMAND (wParam the command id)
    };
    virtual ~PortFrameLink() = default;
    virtual void Post(Target target, UINT message, WPARAM wParam, LPARAM lParam) = 0;
};
