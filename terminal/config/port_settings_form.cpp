#include "terminal/config/port_settings_form.h"

#include <algorithm>
#include <cstdint>

namespace {

namespace f = port_settings_field;

// What a flow preset writes into the record on OK.
struct FlowPreset {
    const char* name;
    DWORD inX, outX, cts, dsr, rts, dtr;
};

constexpr FlowPreset kPresets[] = {
    {kFlowNone, 0, 0, 0, 0, RTS_CONTROL_ENABLE, DTR_CONTROL_ENABLE},
    {kFlowSoftware, 1, 1, 0, 0, RTS_CONTROL_ENABLE, DTR_CONTROL_ENABLE},
    {kFlowHardware, 0, 0, 1, 0, RTS_CONTROL_HANDSHAKE, DTR_CONTROL_ENABLE},
};

bool Matches(const FlowPreset& preset, const PortConfig& c) {
    return c.fInX == preset.inX && c.fOutX == preset.outX && c.fOutxCtsFlow == preset.cts &&
           c.fOutxDsrFlow == preset.dsr && c.fRtsControl == preset.rts &&
           c.fDtrControl == preset.dtr;
}

const FlowPreset* FindPreset(const std::string& name) {
    for (const FlowPreset& preset : kPresets) {
        if (name == preset.name) {
            return &preset;
        }
    }
    return nullptr;
}

// The index of `text` in `list`, or nothing.
std::optional<std::size_t> IndexIn(const std::vector<std::string>& list, const std::string& text) {
    const auto found = std::find(list.begin(), list.end(), text);
    if (found == list.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - list.begin());
}

std::string Text(const std::vector<std::string>& list, unsigned index) {
    return index < list.size() ? list[index] : std::string();
}

std::string FieldOf(const platform::DialogFields& fields, const char* name) {
    const auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
}

bool Checked(const platform::DialogFields& fields, const char* name) {
    return FieldOf(fields, name) == "1";
}

}  // namespace

const std::vector<std::string>& BaudRateList() {
    static const std::vector<std::string> list = {"600",    "1200",   "2400",   "3600",   "4800",
                                                  "7200",   "9600",   "19200",  "38400",  "57600",
                                                  "115200", "230400", "460800", "500000", "921600"};
    return list;
}

const std::vector<std::string>& DataBitsList() {
    static const std::vector<std::string> list = {"7", "8"};
    return list;
}

const std::vector<std::string>& ParityList() {
    static const std::vector<std::string> list = {"None", "Odd", "Even", "Mark", "Space"};
    return list;
}

const std::vector<std::string>& StopBitsList() {
    static const std::vector<std::string> list = {"1", "1.5", "2"};
    return list;
}

const std::vector<std::string>& FlowControlList() {
    static const std::vector<std::string> list = {kFlowNone, kFlowSoftware, kFlowHardware,
                                                  kFlowAdvanced};
    return list;
}

const std::vector<std::string>& RtsControlList() {
    static const std::vector<std::string> list = {"Clear", "Set", "Auto", "Toggle"};
    return list;
}

const std::vector<std::string>& DtrControlList() {
    static const std::vector<std::string> list = {"Clear", "Set", "Auto"};
    return list;
}

std::optional<DWORD> UnsignedFieldValue(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::nullopt;
    }
    const std::size_t last = text.find_last_not_of(" \t");
    std::uint64_t value = 0;
    for (std::size_t i = first; i <= last; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 0xFFFFFFFFu) {
            return std::nullopt;
        }
    }
    return static_cast<DWORD>(value);
}

std::string FlowPresetShown(const PortConfig& config) {
    for (const FlowPreset& preset : kPresets) {
        if (Matches(preset, config)) {
            return preset.name;
        }
    }
    return kFlowAdvanced;
}

platform::DialogFields PortSettingsFields(const PortConfig& config, bool fromPort) {
    platform::DialogFields fields;
    fields[f::kBaud] =
        config.BaudRate == 300 ? std::string(kBaudShownFor300) : std::to_string(config.BaudRate);
    fields[f::kDataBits] = std::to_string(static_cast<unsigned>(config.ByteSize));
    fields[f::kStopBits] = Text(StopBitsList(), config.StopBits);
    fields[f::kParity] = Text(ParityList(), config.Parity);
    fields[f::kRts] = Text(RtsControlList(), config.fRtsControl);
    fields[f::kDtr] = Text(DtrControlList(), config.fDtrControl);
    fields[f::kCts] = config.fOutxCtsFlow ? "1" : "0";
    fields[f::kDsr] = config.fOutxDsrFlow ? "1" : "0";
    fields[f::kReceiveXonXoff] = config.fInX ? "1" : "0";
    fields[f::kSendXonXoff] = config.fOutX ? "1" : "0";
    fields[f::kFlow] = FlowPresetShown(config);
    fields[f::kApplyToAll] = "0";
    fields[f::kFromPort] = fromPort ? "1" : "0";
    return fields;
}

std::optional<FormError> ReadPortSettingsFields(const platform::DialogFields& fields,
                                                PortConfig& config, bool* applyToAll) {
    const std::string baudText = FieldOf(fields, f::kBaud);
    DWORD baud = 300;
    if (baudText != kBaudShownFor300) {
        const std::optional<DWORD> typed = UnsignedFieldValue(baudText);
        if (!typed || *typed == 0) {
            return FormError{f::kBaud, "Enter a baud rate between 1 and 4294967295."};
        }
        if (*typed == 300) {
            // The record's 300 is how 500000 bit/s is written; 300 bit/s cannot be had.
            return FormError{f::kBaud, "300 baud cannot be set; choose another baud rate."};
        }
        baud = *typed;
    }
    const std::optional<DWORD> bits = UnsignedFieldValue(FieldOf(fields, f::kDataBits));
    if (!bits || *bits < 5 || *bits > 8) {
        return FormError{f::kDataBits, "Enter a number of data bits between 5 and 8."};
    }
    const auto parity = IndexIn(ParityList(), FieldOf(fields, f::kParity));
    if (!parity) {
        return FormError{f::kParity, "Choose a parity from the list."};
    }
    const auto stop = IndexIn(StopBitsList(), FieldOf(fields, f::kStopBits));
    if (!stop) {
        return FormError{f::kStopBits, "Choose a number of stop bits from the list."};
    }

    config.BaudRate = baud;
    config.ByteSize = static_cast<BYTE>(*bits);
    config.StopBits = static_cast<BYTE>(*stop);
    config.Parity = static_cast<BYTE>(*parity);
    config.fParity = config.Parity != NOPARITY ? 1 : 0;
    if (const FlowPreset* preset = FindPreset(FieldOf(fields, f::kFlow))) {
        config.fInX = preset->inX;
        config.fOutX = preset->outX;
        config.fOutxCtsFlow = preset->cts;
        config.fOutxDsrFlow = preset->dsr;
        config.fRtsControl = preset->rts;
        config.fDtrControl = preset->dtr;
    } else {
        // "Advanced" (or a typed text): bit by bit. A mode list left empty (a record whose mode
        // has no entry) keeps the record's mode.
        config.fInX = Checked(fields, f::kReceiveXonXoff) ? 1 : 0;
        config.fOutX = Checked(fields, f::kSendXonXoff) ? 1 : 0;
        config.fOutxCtsFlow = Checked(fields, f::kCts) ? 1 : 0;
        config.fOutxDsrFlow = Checked(fields, f::kDsr) ? 1 : 0;
        if (const auto rts = IndexIn(RtsControlList(), FieldOf(fields, f::kRts))) {
            config.fRtsControl = static_cast<DWORD>(*rts);
        }
        if (const auto dtr = IndexIn(DtrControlList(), FieldOf(fields, f::kDtr))) {
            config.fDtrControl = static_cast<DWORD>(*dtr);
        }
    }
    if (applyToAll != nullptr) {
        *applyToAll = Checked(fields, f::kFromPort) && Checked(fields, f::kApplyToAll);
    }
    return std::nullopt;
}
