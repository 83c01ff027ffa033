#include "monitor/records/report_settings.h"

#include <limits>

int LeadingNumber(std::string_view text) {
    constexpr int kMax = std::numeric_limits<int>::max();
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        const int digit = c - '0';
        if (value > (kMax - digit) / 10) {
            return kMax;
        }
        value = value * 10 + digit;
    }
    return value;
}
