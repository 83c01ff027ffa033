#include "terminal/session/settings_string.h"

#include "terminal/session/decimal_text.h"

namespace {

void ApplyParity(std::string_view piece, PortConfig& config) {
    if (piece == "N") {
        config.Parity = NOPARITY;
    } else if (piece == "O") {
        config.Parity = ODDPARITY;
    } else if (piece == "E") {
        config.Parity = EVENPARITY;
    } else if (piece == "M") {
        config.Parity = MARKPARITY;
    } else if (piece == "S") {
        config.Parity = SPACEPARITY;
    }
}

void ApplyStopBits(std::string_view piece, PortConfig& config) {
    if (piece == "1") {
        config.StopBits = ONESTOPBIT;
    } else if (piece == "1.5") {
        config.StopBits = ONE5STOPBITS;
    } else if (piece == "2") {
        config.StopBits = TWOSTOPBITS;
    }
}

}  // namespace

void ApplySettingsString(std::string_view settings, PortConfig& config) {
    int k = 0;
    std::size_t start = 0;
    while (start <= settings.size() && k < 4) {
        std::size_t end = settings.find_first_of(", ", start);
        if (end == std::string_view::npos)
            end = settings.size();
        const std::string_view piece = settings.substr(start, end - start);
        start = end + 1;
        if (piece.empty())
            continue;
        switch (k++) {
            case 0:
                // A negative value keeps its bits, as the record's unsigned field takes it;
                // the device refuses such a rate when the port is opened.
                config.BaudRate = static_cast<DWORD>(LeadingDecimalValue(piece));
                break;
            case 1:
                config.ByteSize = static_cast<BYTE>(LeadingDecimalValue(piece) & 0xFF);
                break;
            case 2:
                ApplyParity(piece, config);
                break;
            case 3:
                ApplyStopBits(piece, config);
                break;
        }
    }
}
