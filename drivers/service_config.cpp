#include "drivers/service_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace portcount {

namespace {

constexpr off_t kMaxConfigBytes = 16 * 1024 * 1024;

bool ParseNumber(std::string_view text, double& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value >= 0 && value < 1e15;
}

// Decimal, or hexadecimal after "0x" (error codes of the management interface read so).
bool ParseUnsigned(std::string_view text, std::uint64_t& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    return ec == std::errc() && ptr == end && !text.empty();
}

bool ParseYesNo(std::string_view text, bool& value) {
    if (text == "yes" || text == "on" || text == "1") {
        value = true;
        return true;
    }
    if (text == "no" || text == "off" || text == "0") {
        value = false;
        return true;
    }
    return false;
}

bool ValidPortName(std::string_view name, Family family) {
    const std::size_t longest =
        family == Family::Zenith ? kMaxZenithNameLength : kMaxPortNameLength;
    if (name.empty() || name.size() > longest) {
        return false;
    }
    for (unsigned char c : name) {
        if (c <= 0x20 || c >= 0x7F) {
            return false;
        }
    }
    return true;
}

// "rate=1200" for both directions, "rate=115200/9600" for tx/rx.
bool ParseRate(std::string_view text, SimSettings& sim) {
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) {
        if (!ParseNumber(text, sim.txRate)) {
            return false;
        }
        sim.rxRate = sim.txRate;
        return true;
    }
    return ParseNumber(text.substr(0, slash), sim.txRate) &&
           ParseNumber(text.substr(slash + 1), sim.rxRate);
}

bool ParseLines(std::string_view text, std::uint16_t& lines) {
    lines = 0;
    if (text == "none") {
        return true;
    }
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) {
            comma = text.size();
        }
        const std::string_view line = text.substr(start, comma - start);
        if (line == "dtr") {
            lines |= 0x0001;
        } else if (line == "rts") {
            lines |= 0x0002;
        } else if (line == "dsr") {
            lines |= 0x0010;
        } else if (line == "cts") {
            lines |= 0x0020;
        } else {
            return false;
        }
        start = comma + 1;
    }
    return true;
}

// One "key=value" option of a simulated port; the reason in error when it is bad.
bool ParseSimOption(std::string_view option, SimSettings& sim, std::string& error) {
    const std::size_t eq = option.find('=');
    if (eq == std::string_view::npos) {
        error = "expected key=value, found '" + std::string(option) + "'";
        return false;
    }
    const std::string_view key = option.substr(0, eq);
    const std::string_view value = option.substr(eq + 1);
    bool ok = false;
    if (key == "rate") {
        ok = ParseRate(value, sim);
    } else if (key == "errors") {
        ok = ParseNumber(value, sim.errorRate) && sim.errorRate <= 1;
    } else if (key == "vary") {
        ok = ParseNumber(value, sim.variation) && sim.variation <= 1;
    } else if (key == "cd") {
        ok = ParseYesNo(value, sim.cd);
    } else if (key == "cd-period") {
        ok = ParseNumber(value, sim.cdOn);
        sim.cdOff = sim.cdOn;
    } else if (key == "cd-on") {
        ok = ParseNumber(value, sim.cdOn);
    } else if (key == "cd-off") {
        ok = ParseNumber(value, sim.cdOff);
    } else if (key == "open") {
        ok = ParseYesNo(value, sim.open);
    } else if (key == "open-period") {
        ok = ParseNumber(value, sim.openOn);
        sim.openOff = sim.openOn;
    } else if (key == "open-on") {
        ok = ParseNumber(value, sim.openOn);
    } else if (key == "open-off") {
        ok = ParseNumber(value, sim.openOff);
    } else if (key == "lines") {
        ok = ParseLines(value, sim.lines);
    } else if (key == "seed") {
        ok = ParseUnsigned(value, sim.seed);
    } else {
        error = "unknown option '" + std::string(key) + "'";
        return false;
    }
    if (!ok) {
        error = "bad value for " + std::string(key) + ": '" + std::string(value) + "'";
    }
    return ok;
}

// A port line after its family word; the reason in error when it is bad.
bool ParsePortLine(const std::vector<std::string_view>& words, Family family, PortEntry& port,
                   std::string& error) {
    if (words.size() < 3) {
        error = "expected: FAMILY PORT sim OPTIONS... | FAMILY PORT device=PATH";
        return false;
    }
    if (!ValidPortName(words[1], family)) {
        error =
            "bad port name '" + std::string(words[1]) + "' (1 to " +
            std::to_string(family == Family::Zenith ? kMaxZenithNameLength : kMaxPortNameLength) +
            " printable characters)";
        return false;
    }
    port.name = std::string(words[1]);
    if (words[2].starts_with("device=")) {
        port.device = std::string(words[2].substr(7));
        if (port.device.empty() || port.device[0] != '/') {
            error = "the device must be an absolute path";
            return false;
        }
        if (words.size() > 3) {
            error = "unexpected '" + std::string(words[3]) + "' after the device";
            return false;
        }
        return true;
    }
    if (words[2] != "sim") {
        error = "expected 'sim' or 'device=PATH', found '" + std::string(words[2]) + "'";
        return false;
    }
    for (std::size_t i = 3; i < words.size(); ++i) {
        if (!ParseSimOption(words[i], port.sim, error)) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<Family> ParseFamily(std::string_view word) {
    if (word == "hubline") {
        return Family::Hubline;
    }
    if (word == "talon") {
        return Family::Talon;
    }
    if (word == "zenith") {
        return Family::Zenith;
    }
    return std::nullopt;
}

const char* FamilyName(Family family) {
    switch (family) {
        case Family::Hubline:
            return "hubline";
        case Family::Talon:
            return "talon";
        case Family::Zenith:
            return "zenith";
    }
    return "hubline";
}

ServiceConfig ParseConfig(std::string_view text, const std::string& fileName,
                          std::vector<std::string>& problems) {
    ServiceConfig config;
    int lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) {
            line = line.substr(0, hash);
        }
        const auto words = SplitWords(line);
        if (words.empty()) {
            continue;
        }
        const auto complain = [&](const std::string& what) {
            problems.push_back(fileName + ":" + std::to_string(lineNumber) + ": " + what);
        };
        if (words[0] == "fail") {
            std::uint64_t code = 0;
            const auto family = words.size() == 3 ? ParseFamily(words[1]) : std::nullopt;
            if (!family || !ParseUnsigned(words[2], code) || code > 0xFFFFFFFFu) {
                complain("expected: fail FAMILY CODE (hubline, talon or zenith, an error number)");
                continue;
            }
            config.failCode[static_cast<int>(*family)] = static_cast<DWORD>(code);
            continue;
        }
        const auto family = ParseFamily(words[0]);
        if (!family) {
            complain("unknown family '" + std::string(words[0]) +
                     "' (hubline, talon, zenith or fail)");
            continue;
        }
        PortEntry port;
        std::string error;
        if (!ParsePortLine(words, *family, port, error)) {
            complain(error);
            continue;
        }
        auto& ports = config.Ports(*family);
        bool duplicate = false;
        for (const PortEntry& other : ports) {
            duplicate = duplicate || other.name == port.name;
        }
        if (duplicate) {
            complain(port.name + " is already a " + FamilyName(*family) + " port");
            continue;
        }
        ports.push_back(std::move(port));
    }
    return config;
}

std::optional<ServiceConfig> LoadConfigFile(const std::string& path,
                                            std::vector<std::string>& problems) {
    // A directory or a read error must not pass for an empty file: that would drop every port.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size > kMaxConfigBytes) {
        const std::string why = fd < 0                   ? std::strerror(errno)
                                : !S_ISREG(info.st_mode) ? "not a regular file"
                                                         : "larger than 16 MiB";
        if (fd >= 0) {
            ::close(fd);
        }
        problems.push_back(path + ": cannot be read: " + why);
        return std::nullopt;
    }
    std::string text;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            problems.push_back(path + ": cannot be read: " + std::strerror(errno));
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        text.append(chunk, static_cast<std::size_t>(n));
        if (text.size() > static_cast<std::size_t>(kMaxConfigBytes)) {
            problems.push_back(path + ": cannot be read: larger than 16 MiB");
            ::close(fd);
            return std::nullopt;
        }
    }
    ::close(fd);
    return ParseConfig(text, path, problems);
}

ServiceConfig DefaultCard() {
    std::vector<std::string> problems;  // the embedded text has none
    return ParseConfig(
        "hubline COM3  sim rate=960 errors=0.0005 vary=0.2 cd-on=40 cd-off=20\n"
        "hubline COM4  sim rate=11520/5760 vary=0.3\n"
        "hubline COM5  sim rate=120 errors=0.002 open-on=60 open-off=15\n"
        "talon   COM10 sim rate=3840 vary=0.1 cd-period=30\n"
        "talon   COM11 sim rate=480/1920 errors=0.001 lines=dtr,rts\n"
        "zenith  COM20 sim rate=1920 vary=0.2 cd-period=45\n"
        "zenith  COM21 sim rate=240/960 errors=0.001\n",
        "default card", problems);
}

ServiceConfig SimulatedCard(int portsPerFamily) {
    ServiceConfig config;
    for (int f = 0; f < kFamilyCount; ++f) {
        for (int i = 1; i <= portsPerFamily; ++i) {
            PortEntry port;
            port.name = "COM" + std::to_string(i);
            // Rates from 100 to 12800 characters per second, so every value moves.
            port.sim.txRate = 100.0 * (1 << (i % 8));
            port.sim.rxRate = 100.0 * (1 << ((i + 3) % 8));
            port.sim.errorRate = 0.001;
            port.sim.variation = 0.2;
            port.sim.cdOn = 5 + i % 7;
            port.sim.cdOff = 3 + i % 5;
            config.ports[f].push_back(std::move(port));
        }
    }
    return config;
}

std::vector<std::string_view> SplitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
            ++i;
        }
        if (i > start) {
            words.push_back(line.substr(start, i - start));
        }
    }
    return words;
}

}  // namespace portcount
