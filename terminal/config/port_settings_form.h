#pragma once
// The Port Settings dialog without its window: the texts its controls start with for a record,
// and the record its controls give on OK. The dialog, the Open Ports dialog's button and the
// port window's command all go through these two, so a test can run the whole round trip
// without a window.

#include <optional>
#include <string>
#include <vector>

#include "platform/ui/dialog_request.h"
#include "terminal/config/port_config.h"

// The dialog's id in the prompt service.
inline constexpr const char* kPortSettingsDialogId = "CPortSettingsDlg";

// The control values by name (platform::DialogFields).
namespace port_settings_field {
inline constexpr const char* kBaud = "baud";
inline constexpr const char* kDataBits = "dataBits";
inline constexpr const char* kParity = "parity";
inline constexpr const char* kStopBits = "stopBits";
inline constexpr const char* kFlow = "flow";
inline constexpr const char* kRts = "rts";
inline constexpr const char* kDtr = "dtr";
inline constexpr const char* kCts = "cts";
inline constexpr const char* kDsr = "dsr";
inline constexpr const char* kReceiveXonXoff = "receiveXonXoff";
inline constexpr const char* kSendXonXoff = "sendXonXoff";
inline constexpr const char* kApplyToAll = "applyToAll";
// "1" when "Apply new settings to all active ports" may be checked (the port-window caller).
inline constexpr const char* kFromPort = "fromPort";
}  // namespace port_settings_field

// The lists of the combos, in the dialog's order.
const std::vector<std::string>& BaudRateList();
const std::vector<std::string>& DataBitsList();
const std::vector<std::string>& ParityList();
const std::vector<std::string>& StopBitsList();
const std::vector<std::string>& FlowControlList();
const std::vector<std::string>& RtsControlList();
const std::vector<std::string>& DtrControlList();

inline constexpr const char* kFlowNone = "None";
inline constexpr const char* kFlowSoftware = "Software (Xon/Xoff)";
inline constexpr const char* kFlowHardware = "Hardware";
inline constexpr const char* kFlowAdvanced = "Advanced";

// The record's bit rate 300 stands for 500000 bit/s; the dialog shows it as this entry.
inline constexpr const char* kBaudShownFor300 = "500000";

// The controls' starting values for `config`. A preset is shown only when choosing it again
// gives exactly the record's flow settings; any other record shows "Advanced", so OK without
// a change never changes the record. `fromPort` enables "Apply new settings to all active
// ports" (unchecked).
platform::DialogFields PortSettingsFields(const PortConfig& config, bool fromPort);

// Why the controls cannot become a record: the message and the control at fault.
struct FormError {
    std::string field;
    std::string message;
};

// The controls' values written into `config` (its other fields stay). A value that is no
// valid setting (a baud rate outside 1..4294967295 or 300, data bits outside 5..8, a parity
// or stop-bits text not in the list) leaves `config` untouched and gives the error.
// `applyToAll` (when not null) is set to whether the box was checked.
std::optional<FormError> ReadPortSettingsFields(const platform::DialogFields& fields,
                                                PortConfig& config, bool* applyToAll = nullptr);

// The flow preset `config` shows.
std::string FlowPresetShown(const PortConfig& config);

// A wholly decimal, unsigned text (surrounding blanks allowed) that fits in 32 bits; nothing for
// an empty text, a sign, other characters or a larger value.
std::optional<DWORD> UnsignedFieldValue(const std::string& text);
