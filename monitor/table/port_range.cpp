#include "monitor/table/port_range.h"

#include <optional>
#include <string>

namespace {

// The value of a string of digits, or nothing when it exceeds kMaxRangeNumber. An empty
// string is 0, as the run's end after "3--" reads.
std::optional<std::uint32_t> Number(std::string_view digits) {
    std::uint32_t value = 0;
    for (const char c : digits) {
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
        if (value > kMaxRangeNumber) {
            return std::nullopt;
        }
    }
    return value;
}

// Appends what one token stands for; false when the token is malformed.
bool TakeToken(std::string_view token, std::vector<std::uint32_t>& numbers) {
    if (token.empty() || token.front() == '-' || token.back() == '-') {
        return false;
    }
    const auto dash = token.find('-');
    if (dash == std::string_view::npos) {
        const auto n = Number(token);
        if (!n) {
            return false;
        }
        numbers.push_back(*n);
        return true;
    }
    std::string_view rest = token.substr(dash + 1);
    rest = rest.substr(0, rest.find('-'));
    const auto first = Number(token.substr(0, dash));
    const auto last = Number(rest);
    if (!first || !last) {
        return false;
    }
    for (std::uint32_t n = *first; n <= *last; ++n) {
        numbers.push_back(n);
    }
    return true;
}

}  // namespace

PortRangeResult ParsePortRange(std::string_view text) {
    std::string cleaned;
    cleaned.reserve(text.size() + 1);
    for (const char c : text) {
        if (c != ' ' && c != '*') {
            cleaned.push_back(c);
        }
    }
    cleaned.push_back('*');

    PortRangeResult result;
    std::string token;
    for (const char c : cleaned) {
        if ((c >= '0' && c <= '9') || c == '-') {
            token.push_back(c);
        } else if (c == ',' || c == '*') {
            if (!TakeToken(token, result.numbers)) {
                return result;
            }
            token.clear();
        } else {
            return result;
        }
    }
    result.valid = true;
    return result;
}
