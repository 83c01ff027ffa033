#pragma once
// One port's counters as a driver returns them: 20 bytes, little-endian, stored unchanged in
// session files.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Status-flag bits the monitor interprets.
constexpr std::uint16_t STATUS_DTR = 0x0001;
constexpr std::uint16_t STATUS_RTS = 0x0002;
constexpr std::uint16_t STATUS_CD = 0x0008;
constexpr std::uint16_t STATUS_DSR = 0x0010;
constexpr std::uint16_t STATUS_CTS = 0x0020;
constexpr std::uint16_t STATUS_PORT_OPEN = 0x0100;

struct RawPortCounters {
    static constexpr std::size_t kSize = 20;

    std::uint32_t txTotalRaw = 0;
    std::uint32_t rxTotalRaw = 0;
    std::uint16_t txPackets = 0;
    std::uint16_t rxPackets = 0;
    std::uint16_t overrunErrorsRaw = 0;
    std::uint16_t framingErrorsRaw = 0;
    std::uint16_t parityErrorsRaw = 0;
    std::uint16_t statusFlags = 0;

    bool operator==(const RawPortCounters&) const = default;
};

void EncodeRawPortCounters(const RawPortCounters& counters,
                           std::span<std::uint8_t, RawPortCounters::kSize> out);
RawPortCounters DecodeRawPortCounters(std::span<const std::uint8_t, RawPortCounters::kSize> in);
