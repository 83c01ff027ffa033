#pragma once
// What the service serves: the ports of each driver family, each backed by a real serial
// device or by a simulated port, and the error code a family is told to fail with.
//
// portcountd.conf is one entry a line, '#' starts a comment:
//   hubline COM3  sim rate=1200 errors=0.001 cd-period=30 open=yes
//   talon   COM10 sim rate=115200/9600 lines=dtr,rts
//   hubline COM4  device=/dev/ttyUSB0
//   fail    talon 31
//   zenith  COM20 sim rate=960
// A family lists its ports in the order of the file. The Zenith family is read through the
// management socket, whose instances name their ports with the "\DosDevices\" prefix; its names
// may be longer than the 11 characters a name entry of the other two families holds, so that
// the monitor's handling of such a name can be tried.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/port_counters.h"
#include "platform/win/win_types.h"

namespace portcount {

enum class Family { Hubline = 0, Talon = 1, Zenith = 2 };
constexpr int kFamilyCount = 3;
// The longest port name of the Zenith family.
constexpr std::size_t kMaxZenithNameLength = 63;

// "hubline" / "talon" / "zenith"; nullopt for any other word.
std::optional<Family> ParseFamily(std::string_view word);
const char* FamilyName(Family family);

struct SimSettings {
    double txRate = 0;     // characters per second sent
    double rxRate = 0;     // characters per second received
    double errorRate = 0;  // probability of a line error per received character
    double variation = 0;  // 0..1: each interval's traffic varies by up to this fraction
    // Carrier-detect runs: on for cdOn seconds, off for cdOff; without runs CD stays at cd.
    double cdOn = 0;
    double cdOff = 0;
    bool cd = true;
    // Open/close cycles of the port: open for openOn seconds, closed for openOff.
    double openOn = 0;
    double openOff = 0;
    bool open = true;
    std::uint16_t lines = 0x0001 | 0x0002 | 0x0010 | 0x0020;  // DTR RTS DSR CTS while open
    std::uint64_t seed = 0;  // 0: derived from the family and port name

    bool operator==(const SimSettings&) const = default;
};

struct PortEntry {
    std::string name;
    std::string device;  // empty: simulated
    SimSettings sim;

    bool operator==(const PortEntry&) const = default;
};

struct ServiceConfig {
    std::array<std::vector<PortEntry>, kFamilyCount> ports;
    std::array<DWORD, kFamilyCount> failCode{};  // 0: answer normally

    std::vector<PortEntry>& Ports(Family f) { return ports[static_cast<int>(f)]; }
    const std::vector<PortEntry>& Ports(Family f) const { return ports[static_cast<int>(f)]; }
};

// Parses a configuration text. Every bad line adds "FILE:LINE: what is wrong" to problems
// and is skipped; the good lines still count.
ServiceConfig ParseConfig(std::string_view text, const std::string& fileName,
                          std::vector<std::string>& problems);

// Reads and parses a file; nullopt (with the reason in problems) when it cannot be read.
std::optional<ServiceConfig> LoadConfigFile(const std::string& path,
                                            std::vector<std::string>& problems);

// The simulated card served without a configuration file: Hubline COM3..COM5, Talon
// COM10..COM11 and Zenith COM20..COM21, at varied rates.
ServiceConfig DefaultCard();

// portsPerFamily simulated ports COM1.. in each family, with traffic on every port.
ServiceConfig SimulatedCard(int portsPerFamily);

// The words of a configuration or control line, split at blanks and tabs.
std::vector<std::string_view> SplitWords(std::string_view line);

}  // namespace portcount
