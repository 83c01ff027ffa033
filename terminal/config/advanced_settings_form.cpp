#include "terminal/config/advanced_settings_form.h"

#include <string>

namespace {

std::string FieldOf(const platform::DialogFields& fields, const char* name) {
    const auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
}

bool Checked(const platform::DialogFields& fields, const char* name) {
    return FieldOf(fields, name) == "1";
}

std::string ByteText(char value) {
    return std::to_string(static_cast<unsigned char>(value));
}

// Reads `name` as an unsigned value of at most `limit`.
std::optional<FormError> ReadBounded(const platform::DialogFields& fields, const char* name,
                                     DWORD limit, const char* message, DWORD& value) {
    const std::optional<DWORD> read = UnsignedFieldValue(FieldOf(fields, name));
    if (!read || *read > limit) {
        return FormError{name, message};
    }
    value = *read;
    return std::nullopt;
}

struct MiscByte {
    const char* name;
    char PortConfig::*field;
};
constexpr MiscByte kMiscBytes[] = {
    {"EofChar", &PortConfig::EofChar},     {"EvtChar", &PortConfig::EvtChar},
    {"XonChar", &PortConfig::XonChar},     {"XoffChar", &PortConfig::XoffChar},
    {"ErrorChar", &PortConfig::ErrorChar},
};

struct MiscLimit {
    const char* name;
    WORD PortConfig::*field;
};
constexpr MiscLimit kMiscLimits[] = {
    {"XonLim", &PortConfig::XonLim},
    {"XoffLim", &PortConfig::XoffLim},
};

struct TimeoutField {
    const char* name;
    DWORD COMMTIMEOUTS::*field;
};
constexpr TimeoutField kTimeoutFields[] = {
    {"ReadIntervalTimeout", &COMMTIMEOUTS::ReadIntervalTimeout},
    {"ReadTotalTimeoutMultiplier", &COMMTIMEOUTS::ReadTotalTimeoutMultiplier},
    {"ReadTotalTimeoutConstant", &COMMTIMEOUTS::ReadTotalTimeoutConstant},
    {"WriteTotalTimeoutConstant", &COMMTIMEOUTS::WriteTotalTimeoutConstant},
    {"WriteTotalTimeoutMultiplier", &COMMTIMEOUTS::WriteTotalTimeoutMultiplier},
};

}  // namespace

platform::DialogFields MiscSettingsFields(const PortConfig& config) {
    platform::DialogFields fields;
    for (const MiscByte& byte : kMiscBytes) {
        fields[byte.name] = ByteText(config.*byte.field);
    }
    for (const MiscLimit& limit : kMiscLimits) {
        fields[limit.name] = std::to_string(config.*limit.field);
    }
    fields["fNull"] = config.fNull ? "1" : "0";
    fields["fDsrSensitivity"] = config.fDsrSensitivity ? "1" : "0";
    fields["fTXContinueOnXoff"] = config.fTXContinueOnXoff ? "1" : "0";
    fields["fAbortOnError"] = config.fAbortOnError ? "1" : "0";
    fields["fErrorChar"] = config.fErrorChar ? "1" : "0";
    return fields;
}

std::optional<FormError> ReadMiscSettingsFields(const platform::DialogFields& fields,
                                                PortConfig& config) {
    PortConfig edited = config;
    for (const MiscByte& byte : kMiscBytes) {
        DWORD value = 0;
        if (auto error = ReadBounded(fields, byte.name, 255, kByteFieldMessage, value)) {
            return error;
        }
        edited.*byte.field = static_cast<char>(static_cast<unsigned char>(value));
    }
    for (const MiscLimit& limit : kMiscLimits) {
        // The limits are 16-bit fields of the record: a larger number would be cut short.
        DWORD value = 0;
        const std::optional<DWORD> read = UnsignedFieldValue(FieldOf(fields, limit.name));
        if (!read) {
            return FormError{limit.name, kUnsignedFieldMessage};
        }
        if (auto error = ReadBounded(fields, limit.name, 0xFFFF, kLimitFieldMessage, value)) {
            return error;
        }
        edited.*limit.field = static_cast<WORD>(value);
    }
    edited.fNull = Checked(fields, "fNull") ? 1 : 0;
    edited.fDsrSensitivity = Checked(fields, "fDsrSensitivity") ? 1 : 0;
    edited.fTXContinueOnXoff = Checked(fields, "fTXContinueOnXoff") ? 1 : 0;
    edited.fAbortOnError = Checked(fields, "fAbortOnError") ? 1 : 0;
    edited.fErrorChar = Checked(fields, "fErrorChar") ? 1 : 0;
    config = edited;
    return std::nullopt;
}

platform::DialogFields TimeoutSettingsFields(const COMMTIMEOUTS& timeouts) {
    platform::DialogFields fields;
    for (const TimeoutField& field : kTimeoutFields) {
        fields[field.name] = std::to_string(timeouts.*field.field);
    }
    return fields;
}

std::optional<FormError> ReadTimeoutSettingsFields(const platform::DialogFields& fields,
                                                   COMMTIMEOUTS& timeouts) {
    COMMTIMEOUTS edited = timeouts;
    for (const TimeoutField& field : kTimeoutFields) {
        if (auto error = ReadBounded(fields, field.name, 0xFFFFFFFFu, kUnsignedFieldMessage,
                                     edited.*field.field)) {
            return error;
        }
    }
    timeouts = edited;
    return std::nullopt;
}

platform::DialogFields EventSettingsFields(DWORD mask) {
    platform::DialogFields fields;
    for (const EventBit& event : kEventBits) {
        fields[event.name] = (mask & event.bit) != 0 ? "1" : "0";
    }
    return fields;
}

DWORD ReadEventSettingsFields(const platform::DialogFields& fields) {
    DWORD mask = 0;
    for (const EventBit& event : kEventBits) {
        if (Checked(fields, event.name)) {
            mask |= event.bit;
        }
    }
    return mask;
}

platform::DialogFields QueueSettingsFields(const COMMPROP& properties) {
    return {{queue_settings_field::kReceive, std::to_string(properties.dwCurrentRxQueue)},
            {queue_settings_field::kTransmit, std::to_string(properties.dwCurrentTxQueue)}};
}

std::optional<FormError> ReadQueueSettingsFields(const platform::DialogFields& fields,
                                                 COMMPROP& properties) {
    DWORD receive = 0;
    DWORD transmit = 0;
    if (auto error = ReadBounded(fields, queue_settings_field::kTransmit, 0xFFFFFFFFu,
                                 kUnsignedFieldMessage, transmit)) {
        return error;
    }
    if (auto error = ReadBounded(fields, queue_settings_field::kReceive, 0xFFFFFFFFu,
                                 kUnsignedFieldMessage, receive)) {
        return error;
    }
    properties.dwCurrentRxQueue = receive;
    properties.dwCurrentTxQueue = transmit;
    return std::nullopt;
}
