#pragma once
// The private messages between a port window's frame (GUI thread), its view (the port thread)
// and the main frame, the indicator ids of the port's status bar, and the activity codes its
// last pane shows. The values are the program's own and fit the toolkit's user event range.

#include "platform/win/win_types.h"

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

constexpr UINT UWM_ROUTE_COMMAND = 0x1400;
constexpr UINT UWM_CLOSE_PORT = 0x1401;
constexpr UINT UWM_TOOLBAR_ALL = 0x1402;
constexpr UINT UWM_TOGGLE_TOOLBAR = 0x1403;
constexpr UINT UWM_STATUSBAR_ALL = 0x1404;
constexpr UINT UWM_TOGGLE_STATUSBAR = 0x1405;
constexpr UINT UWM_CLEAR_SCREEN = 0x1406;
constexpr UINT UWM_INDICATOR = 0x1407;
constexpr UINT UWM_CHANGE_VIEW = 0x1408;
constexpr UINT UWM_START_SEND = 0x1409;
constexpr UINT UWM_STOP_SEND = 0x140A;
constexpr UINT UWM_START_RECEIVE = 0x140B;
constexpr UINT UWM_STOP_RECEIVE = 0x140C;
constexpr UINT UWM_APPLY_ALL_REQUEST = 0x140D;
constexpr UINT UWM_APPLY_DEFAULTS = 0x140E;
// A worker or the watcher found the port's device gone; the frame passes it on to the view,
// whose thread closes the port (wParam the open's number, lParam the system's error code).
constexpr UINT UWM_DEVICE_LOST = 0x140F;
// The report text as the port thread last drew it, for the frame to show (lParam unused; the
// text travels with the event).
constexpr UINT UWM_REPORT_TEXT = 0x1410;

// Window messages a port sends its frame, the MDI client and the main frame.
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_MDITILE = 0x0226;
constexpr UINT WM_MDICASCADE = 0x0227;
constexpr WPARAM MDITILE_VERTICAL = 0x0000;
constexpr WPARAM MDITILE_HORIZONTAL = 0x0001;

// The port frame's status-bar panes, in pane order.
constexpr int ID_INDICATOR_OPEN = 59149;
constexpr int ID_INDICATOR_CTS = 59147;
constexpr int ID_INDICATOR_DSR = 59146;
constexpr int ID_INDICATOR_CD = 59145;
constexpr int ID_INDICATOR_RTS = 59150;
constexpr int ID_INDICATOR_DTR = 59143;
constexpr int ID_INDICATOR_RING = 59144;
constexpr int ID_INDICATOR_LPBK = 59140;
constexpr int ID_INDICATOR_BRK = 59152;
constexpr int ID_INDICATOR_XOFF = 59151;
constexpr int ID_INDICATOR_TGL = 59153;
constexpr int ID_INDICATOR_ACTIVITY = 59148;
constexpr int kPortIndicatorCount = 12;
inline constexpr int kPortIndicators[kPortIndicatorCount] = {
    ID_INDICATOR_OPEN, ID_INDICATOR_CTS,  ID_INDICATOR_DSR,  ID_INDICATOR_CD,
    ID_INDICATOR_RTS,  ID_INDICATOR_DTR,  ID_INDICATOR_RING, ID_INDICATOR_LPBK,
    ID_INDICATOR_BRK,  ID_INDICATOR_XOFF, ID_INDICATOR_TGL,  ID_INDICATOR_ACTIVITY};

// The value the activity pane is told with ID_INDICATOR_ACTIVITY.
enum ActivityCode : int {
    ACTIVITY_NOT_READY = 0,
    ACTIVITY_READY = 1,
    ACTIVITY_SENDING = 2,
    ACTIVITY_RECEIVING = 3,
    ACTIVITY_SENDING_RECEIVING = 4,
    ACTIVITY_SENDING_FILE = 5,
    ACTIVITY_RECEIVING_FILE = 6,
    ACTIVITY_SENDING_RECEIVING_FILES = 7,
    ACTIVITY_RECEIVING_FILE_SENDING = 8,
    ACTIVITY_SENDING_FILE_RECEIVING = 9,
};

// The pane text of an activity code; empty for a code outside 0..9.
const char* ActivityText(LPARAM code);
// The text of indicator `id` ("OPEN", "CTS" ...); "Ready" for the activity pane, empty for an
// id that is not on the bar.
const char* IndicatorText(int id);
