#pragma once
// One port's counters as the driver keeps them, and their 20-byte little-endian entry in a
// command-11 answer: tx, rx (u32), tx packets, rx packets, overrun, framing, parity errors and
// the status flags (u16 each).

#include <cstdint>
#include <span>

namespace portcount {

constexpr std::uint16_t kFlagDtr = 0x0001;
constexpr std::uint16_t kFlagRts = 0x0002;
constexpr std::uint16_t kFlagCd = 0x0008;
constexpr std::uint16_t kFlagDsr = 0x0010;
constexpr std::uint16_t kFlagCts = 0x0020;
constexpr std::uint16_t kFlagOpen = 0x0100;

constexpr std::size_t kCounterEntrySize = 20;
constexpr std::size_t kNameEntrySize = 12;
// A name entry holds at most 11 characters and its NUL.
constexpr std::size_t kMaxPortNameLength = kNameEntrySize - 1;

struct PortCounters {
    std::uint32_t tx = 0;
    std::uint32_t rx = 0;
    std::uint16_t txPackets = 0;
    std::uint16_t rxPackets = 0;
    std::uint16_t overrun = 0;
    std::uint16_t framing = 0;
    std::uint16_t parity = 0;
    std::uint16_t flags = 0;

    bool operator==(const PortCounters&) const = default;
};

// A port's counters in the widths the Zenith family reports them (32-bit error counts and a
// buffer overrun count of its own); the other families take the low 16 bits.
struct WideCounters {
    std::uint32_t tx = 0;
    std::uint32_t rx = 0;
    std::uint32_t txPackets = 0;
    std::uint32_t rxPackets = 0;
    std::uint32_t overrun = 0;
    std::uint32_t bufferOverrun = 0;
    std::uint32_t framing = 0;
    std::uint32_t parity = 0;
    std::uint16_t flags = 0;

    bool operator==(const WideCounters&) const = default;
};

WideCounters Widen(const PortCounters& counters);
PortCounters Narrow(const WideCounters& counters);

void EncodePortCounters(const PortCounters& counters,
                        std::span<std::uint8_t, kCounterEntrySize> out);
PortCounters DecodePortCounters(std::span<const std::uint8_t, kCounterEntrySize> in);

}  // namespace portcount
