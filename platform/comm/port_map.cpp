#include "platform/comm/port_map.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/comm/sim_device.h"
#include "platform/system/paths.h"

namespace platform {
namespace {

constexpr DWORD kMaxComNumber = 0x7FFFFFFF;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// A line without its comment: a '#' at the start or after white space begins one.
std::string_view WithoutComment(std::string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '#' && (i == 0 || IsBlank(line[i - 1]))) {
            return line.substr(0, i);
        }
    }
    return line;
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (Lower(text[i]) != Lower(prefix[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ParseComName(std::string_view text, DWORD& number) {
    if (!StartsWithNoCase(text, "com")) {
        return false;
    }
    text.remove_prefix(3);
    if (text.empty()) {
        return false;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > kMaxComNumber) {
            return false;
        }
    }
    if (value < 1) {
        return false;
    }
    number = static_cast<DWORD>(value);
    return true;
}

bool IsSimulatedDeviceName(std::string_view device) {
    return SimulatedDeviceNameFault(device).empty();
}

PortMap PortMap::Parse(std::string_view text, const std::string& fileName) {
    PortMap map;
    std::map<DWORD, std::size_t> firstLine;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;

        line = Trim(WithoutComment(line));
        if (line.empty()) {
            continue;
        }
        auto complain = [&](const std::string& what) {
            map.diagnostics_.push_back(fileName + ":" + std::to_string(lineNumber) + ": " + what);
        };
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            complain("missing '=' (expected COM<n> = <device>)");
            continue;
        }
        const std::string_view name = Trim(line.substr(0, equals));
        const std::string_view device = Trim(line.substr(equals + 1));
        DWORD number = 0;
        if (!ParseComName(name, number)) {
            std::string what(1, '\'');
            what.append(name).append(
                "' is not a port name (expected COM<n> with n from 1 to 2147483647)");
            complain(what);
            continue;
        }
        // A port whose line is wrong opens nothing rather than the default device, which may
        // be real hardware the user never meant.
        if (device.empty()) {
            complain("no device after '=' for COM" + std::to_string(number));
            map.devices_.try_emplace(number);
            continue;
        }
        if (device.substr(0, 4) == "sim:") {
            if (const std::string fault = SimulatedDeviceNameFault(device); !fault.empty()) {
                complain(fault);
                map.devices_.try_emplace(number);
                continue;
            }
        }
        if (auto seen = firstLine.find(number); seen != firstLine.end()) {
            complain("COM" + std::to_string(number) + " is mapped twice (first on line " +
                     std::to_string(seen->second) + "); this line is ignored");
            continue;
        }
        firstLine[number] = lineNumber;
        map.devices_[number] = std::string(device);
    }
    return map;
}

PortMap PortMap::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno == ENOENT) {
            return {};
        }
        PortMap map;
        map.diagnostics_.push_back(path + ": cannot be read: " + std::strerror(errno));
        std::fprintf(stderr, "%s\n", map.diagnostics_.back().c_str());
        return map;
    }
    std::ostringstream text;
    text << in.rdbuf();
    PortMap map = Parse(text.str(), path);
    for (const std::string& line : map.diagnostics_) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    return map;
}

std::string PortMap::DeviceFor(DWORD number) const {
    if (auto it = devices_.find(number); it != devices_.end()) {
        return it->second;
    }
    return "/dev/ttyS" + std::to_string(static_cast<std::uint64_t>(number) - 1);
}

std::string PortMapPath() {
    return ConfigDirectory() + "/ports.conf";
}

std::shared_ptr<const PortMap> CurrentPortMap() {
    static std::mutex mutex;
    static std::string cachedPath;
    static std::string cachedText;
    static bool cachedPresent = false;
    static std::shared_ptr<const PortMap> cached;

    const std::string path = PortMapPath();
    std::ifstream in(path, std::ios::binary);
    const bool present = static_cast<bool>(in);
    std::string text;
    if (present) {
        std::ostringstream buffer;
        buffer << in.rdbuf();
        text = buffer.str();
    }

    std::lock_guard lock(mutex);
    if (cached && path == cachedPath && present == cachedPresent && text == cachedText) {
        return cached;
    }
    if (present) {
        PortMap map = PortMap::Parse(text, path);
        for (const std::string& line : map.Diagnostics()) {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
        cached = std::make_shared<const PortMap>(std::move(map));
    } else {
        // Missing, or unreadable (which Load reports).
        cached = std::make_shared<const PortMap>(PortMap::Load(path));
    }
    cachedPath = path;
    cachedText = std::move(text);
    cachedPresent = present;
    return cached;
}

}  // namespace platform
