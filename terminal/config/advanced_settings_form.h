#pragma once
// The four small settings dialogs without their windows (Miscellaneous, Timeouts, Events and
// Queue Size): the values their controls start with for what the device reported, and what
// their controls give back on OK. Each reader checks every control first and changes nothing
// when one of them holds no valid value.

#include <optional>

#include "platform/ui/dialog_request.h"
#include "terminal/config/port_config.h"
#include "terminal/config/port_settings_form.h"

inline constexpr const char* kMiscSettingsDialogId = "CMiscSettingsDlg";
inline constexpr const char* kTimeoutSettingsDialogId = "CTimeoutSettingsDlg";
inline constexpr const char* kEventSettingsDialogId = "CEventSettingsDlg";
inline constexpr const char* kQueueSettingsDialogId = "CQSettingsDlg";

inline constexpr const char* kByteFieldMessage = "Enter an integer between 0 and 255.";
inline constexpr const char* kUnsignedFieldMessage = "Enter a positive integer.";
inline constexpr const char* kLimitFieldMessage = "Enter an integer between 0 and 65535.";

// The Miscellaneous dialog's controls are named after the record's fields ("EofChar",
// "XonLim", "fNull", ...).
platform::DialogFields MiscSettingsFields(const PortConfig& config);
// The special characters, the two limits and the five flags written into `config`; every other
// field and flag bit stays.
std::optional<FormError> ReadMiscSettingsFields(const platform::DialogFields& fields,
                                                PortConfig& config);

// Named after the time-out fields ("ReadIntervalTimeout", ...).
platform::DialogFields TimeoutSettingsFields(const COMMTIMEOUTS& timeouts);
std::optional<FormError> ReadTimeoutSettingsFields(const platform::DialogFields& fields,
                                                   COMMTIMEOUTS& timeouts);

// The thirteen event names and bits, in the dialog's order.
struct EventBit {
    const char* name;
    DWORD bit;
};
inline constexpr EventBit kEventBits[] = {
    {"EV_RXCHAR", EV_RXCHAR}, {"EV_RXFLAG", EV_RXFLAG},     {"EV_TXEMPTY", EV_TXEMPTY},
    {"EV_CTS", EV_CTS},       {"EV_DSR", EV_DSR},           {"EV_RLSD", EV_RLSD},
    {"EV_BREAK", EV_BREAK},   {"EV_ERR", EV_ERR},           {"EV_RING", EV_RING},
    {"EV_PERR", EV_PERR},     {"EV_RX80FULL", EV_RX80FULL}, {"EV_EVENT1", EV_EVENT1},
    {"EV_EVENT2", EV_EVENT2},
};
// The modem-line events the port window always watches; the Events command adds them to
// whatever the user chose.
inline constexpr DWORD kAlwaysWatchedEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
inline constexpr DWORD kAllEvents = 0x1FFF;

// One "0"/"1" per event name.
platform::DialogFields EventSettingsFields(DWORD mask);
// Exactly the checked events.
DWORD ReadEventSettingsFields(const platform::DialogFields& fields);

namespace queue_settings_field {
inline constexpr const char* kReceive = "rxSize";
inline constexpr const char* kTransmit = "txSize";
}  // namespace queue_settings_field

platform::DialogFields QueueSettingsFields(const COMMPROP& properties);
// The two sizes into dwCurrentRxQueue and dwCurrentTxQueue.
std::optional<FormError> ReadQueueSettingsFields(const platform::DialogFields& fields,
                                                 COMMPROP& properties);
