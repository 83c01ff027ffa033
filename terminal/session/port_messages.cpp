#include "terminal/session/port_messages.h"

#include <iterator>

const char* ActivityText(LPARAM code) {
    static constexpr const char* kTexts[] = {
        "Not Ready",
        "Ready",
        "Sending...",
        "Receiving...",
        "Sending & Receiving...",
        "Sending ASCII File...",
        "Receiving ASCII File...",
        "Sending & Receiving ASCII Files...",
        "Receiving ASCII File... & Sending...",
        "Sending ASCII File... & Receiving...",
    };
    if (code < 0 || code >= static_cast<LPARAM>(std::size(kTexts))) {
        return "";
    }
    return kTexts[code];
}

const char* IndicatorText(int id) {
    switch (id) {
        case ID_INDICATOR_OPEN:
            return "OPEN";
        case ID_INDICATOR_CTS:
            return "CTS";
        case ID_INDICATOR_DSR:
            return "DSR";
        case ID_INDICATOR_CD:
            return "CD";
        case ID_INDICATOR_RTS:
            return "RTS";
        case ID_INDICATOR_DTR:
            return "DTR";
        case ID_INDICATOR_RING:
            return "RING";
        case ID_INDICATOR_LPBK:
            return "LPBK";
        case ID_INDICATOR_BRK:
            return "BRK";
        case ID_INDICATOR_XOFF:
            return "XOFF";
        case ID_INDICATOR_TGL:
            return "TGL";
        case ID_INDICATOR_ACTIVITY:
            return "Ready";
        default:
            return "";
    }
}
