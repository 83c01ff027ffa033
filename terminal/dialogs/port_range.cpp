#include "terminal/dialogs/port_range.h"

#include <algorithm>
#include <string>

#include "terminal/session/decimal_text.h"

namespace {

bool WithinNumberLimit(int value) {
    // The conversion saturates at the int limits, so a huge digit run lands beyond the limit
    // here instead of wrapping round onto a small port number.
    return value >= -kMaxRangePortNumber && value <= kMaxRangePortNumber;
}

bool IsTokenCharacter(char c) {
    return (c >= '0' && c <= '9') || c == '-';
}

// An item that is empty, a lone hyphen, or has a hyphen at either end names no port.
bool IsValidToken(std::string_view token) {
    return !token.empty() && token.front() != '-' && token.back() != '-';
}

}  // namespace

bool AppendPortRun(int first, int last, std::vector<int>& ports) {
    if (!WithinNumberLimit(first) || !WithinNumberLimit(last))
        return false;
    if (first > last)
        return true;
    // Both ends are within the number limit, so the count cannot overflow.
    const auto count = static_cast<std::size_t>(last - first + 1);
    if (count > kMaxRangePortCount - std::min(ports.size(), kMaxRangePortCount))
        return false;
    for (int port = first; port <= last; ++port)
        ports.push_back(port);
    return true;
}

bool ExpandRangeToken(std::string_view token, std::vector<int>& ports) {
    const std::size_t hyphen = token.find('-');
    if (hyphen == std::string_view::npos) {
        const int value = LeadingDecimalValue(token);
        return AppendPortRun(value, value, ports);
    }
    return AppendPortRun(LeadingDecimalValue(token.substr(0, hyphen)),
                         LeadingDecimalValue(token.substr(hyphen + 1)), ports);
}

bool ParseRangeSpec(std::string_view text, std::vector<int>& ports) {
    ports.clear();

    std::string input;
    input.reserve(text.size() + 1);
    for (const char c : text) {
        if (c != ' ' && c != '*')
            input.push_back(c);
    }
    // The end marker closes the last item like a comma does.
    input.push_back('*');

    std::string token;
    for (const char c : input) {
        if (IsTokenCharacter(c)) {
            token.push_back(c);
            continue;
        }
        if (c != ',' && c != '*') {
            ports.clear();
            return false;
        }
        if (!IsValidToken(token) || !ExpandRangeToken(token, ports)) {
            ports.clear();
            return false;
        }
        token.clear();
    }
    return true;
}
