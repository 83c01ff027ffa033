#include "drivers/proc_serial.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <charconv>
#include <fstream>
#include <sstream>

namespace portcount {

namespace {

constexpr unsigned kSerialMajor = 4;
constexpr unsigned kFirstSerialMinor = 64;

// The kernel prints its unsigned counters with %d, so a large one shows as negative; either
// way the value is kept modulo the field's width, as the driver's fields wrap.
bool ParseNumber(std::string_view text, std::int64_t& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

std::uint16_t LineFlags(std::string_view text) {
    std::uint16_t flags = 0;
    while (!text.empty()) {
        const std::size_t bar = text.find('|');
        const std::string_view name = text.substr(0, bar);
        flags |= name == "RTS"   ? kFlagRts
                 : name == "DTR" ? kFlagDtr
                 : name == "CTS" ? kFlagCts
                 : name == "DSR" ? kFlagDsr
                 : name == "CD"  ? kFlagCd
                                 : 0;
        text = bar == std::string_view::npos ? std::string_view() : text.substr(bar + 1);
    }
    return flags;
}

// One line's counters; nullopt when it has none to give.
std::optional<std::pair<int, PortCounters>> ParseLine(std::string_view line) {
    const std::size_t colon = line.find(':');
    std::int64_t number = 0;
    if (colon == std::string_view::npos || !ParseNumber(line.substr(0, colon), number) ||
        number < 0 || number > 0xFFFF) {
        return std::nullopt;  // the header line, or not a port's line
    }
    PortCounters counters;
    bool tx = false;
    bool rx = false;
    std::string_view rest = line.substr(colon + 1);
    while (!rest.empty()) {
        const std::size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(start);
        const std::size_t space = rest.find(' ');
        const std::string_view word = rest.substr(0, space);
        rest = space == std::string_view::npos ? std::string_view() : rest.substr(space);
        const std::size_t sep = word.find(':');
        if (sep == std::string_view::npos) {
            counters.flags = LineFlags(word);
            continue;
        }
        const std::string_view key = word.substr(0, sep);
        const std::string_view text = word.substr(sep + 1);
        if (key == "uart" && text == "unknown") {
            return std::nullopt;
        }
        const bool counted =
            key == "tx" || key == "rx" || key == "fe" || key == "pe" || key == "oe";
        std::int64_t value = 0;
        if (!counted) {
            continue;  // the port's address, interrupt, break count and the like
        }
        if (!ParseNumber(text, value)) {
            return std::nullopt;
        }
        if (key == "tx") {
            counters.tx = static_cast<std::uint32_t>(value);
            tx = true;
        } else if (key == "rx") {
            counters.rx = static_cast<std::uint32_t>(value);
            rx = true;
        } else if (key == "fe") {
            counters.framing = static_cast<std::uint16_t>(value);
        } else if (key == "pe") {
            counters.parity = static_cast<std::uint16_t>(value);
        } else {
            counters.overrun = static_cast<std::uint16_t>(value);
        }
    }
    if (!tx || !rx) {
        return std::nullopt;
    }
    return std::make_pair(static_cast<int>(number), counters);
}

}  // namespace

std::map<int, PortCounters> ParseProcSerial(std::string_view text) {
    std::map<int, PortCounters> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (auto parsed = ParseLine(text.substr(0, end))) {
            lines[parsed->first] = parsed->second;
        }
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return lines;
}

int SerialLineOfDevice(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode) ||
        major(info.st_rdev) != kSerialMajor || minor(info.st_rdev) < kFirstSerialMinor) {
        return -1;
    }
    return static_cast<int>(minor(info.st_rdev) - kFirstSerialMinor);
}

ProcSerialTable::ProcSerialTable(std::string path) : path_(std::move(path)) {}

std::optional<PortCounters> ProcSerialTable::Find(int line, SteadyTime now) {
    if (!fresh_ || now != readAt_) {
        std::ifstream in(path_);
        std::stringstream text;
        text << in.rdbuf();
        lines_ = in ? ParseProcSerial(text.str()) : std::map<int, PortCounters>{};
        readAt_ = now;
        fresh_ = true;
    }
    const auto it = lines_.find(line);
    return it == lines_.end() ? std::nullopt : std::optional<PortCounters>(it->second);
}

}  // namespace portcount
