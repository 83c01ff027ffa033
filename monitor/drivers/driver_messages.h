#pragma once
// Texts, caption and icon of the message boxes the driver families raise. The boxes have no
// owner window; the source hands them to its owner, which shows them.

#include <string>

#include "platform/ui/message_box_types.h"
#include "platform/win/win_types.h"

inline constexpr const char* kDriverWarningCaption = "Seltra2 - Warning...";
inline constexpr const char* kDriverErrorFormat =
    "Driver Communication Error!\t\n( Error Code %d )";

// Shown when the user asks for the ports of a family whose probe failed.
inline constexpr const char* kUnableHublineText =
    "Unable to communicate with HUBLINE / NDX-RX driver!\t";
inline constexpr const char* kUnableTalonText =
    "Unable to communicate with TALONCARD / TALONMODEM driver!\t";
inline constexpr const char* kUnableZenithText =
    "Unable to communicate with TALONCARD ZENITH / SWIFT driver!\t";

// Shown once when three counter reads of one tick through the management service failed.
inline constexpr const char* kZenithLostText =
    "TC ZENITH / SWIFT driver is no longer accessible through WMI!\n\nYou need to restart "
    "Seltra2 to resume connection.\t\n";

// "Driver Communication Error!" with the system error code of the failed request.
std::string DriverErrorText(DWORD errorCode);
