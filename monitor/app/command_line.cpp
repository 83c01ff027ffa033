#include "monitor/app/command_line.h"

namespace {

std::string UpperTrimmed(std::string_view text) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

// Only the letters of "COM" and digits form a token; everything else but the comma that ends
// it is dropped, so "COM 5" is COM5 and "COM3-COM5" the single token COM3COM5.
std::vector<std::string> PortTokens(const std::string& text) {
    std::vector<std::string> ports;
    std::string token;
    const std::string scanned = text + ",";
    for (const char c : scanned) {
        if (c == ',') {
            if (token.rfind("COM", 0) == 0 && token.size() <= kMaxCommandLinePortName) {
                ports.push_back(token);
            }
            token.clear();
        } else if (c == 'C' || c == 'O' || c == 'M' || (c >= '0' && c <= '9')) {
            token.push_back(c);
        }
    }
    return ports;
}

}  // namespace

MonitorCommandLine ParseMonitorCommandLine(std::string_view text) {
    const std::string line = UpperTrimmed(text);
    MonitorCommandLine result;
    if (line.empty()) {
        result.kind = CommandLineKind::Empty;
    } else if (line.front() == '/') {
        result.kind = CommandLineKind::Switches;
        result.hubline = line.find("/HUBLINE") != std::string::npos;
        result.talon = line.find("/TALON") != std::string::npos;
        result.zenith = line.find("/ZENITH") != std::string::npos;
        result.help = line.find("/?") != std::string::npos;
    } else if (line.rfind("COM", 0) == 0) {
        result.kind = CommandLineKind::PortList;
        result.ports = PortTokens(line);
    } else {
        result.kind = CommandLineKind::Invalid;
    }
    return result;
}
