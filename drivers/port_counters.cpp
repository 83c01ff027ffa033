#include "drivers/port_counters.h"

namespace portcount {

namespace {

void Put16(std::uint8_t* at, std::uint16_t v) {
    at[0] = static_cast<std::uint8_t>(v);
    at[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t v) {
    Put16(at, static_cast<std::uint16_t>(v));
    Put16(at + 2, static_cast<std::uint16_t>(v >> 16));
}

std::uint16_t Get16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

std::uint32_t Get32(const std::uint8_t* at) {
    return Get16(at) | (static_cast<std::uint32_t>(Get16(at + 2)) << 16);
}

}  // namespace

WideCounters Widen(const PortCounters& c) {
    return {c.tx, c.rx, c.txPackets, c.rxPackets, c.overrun, 0, c.framing, c.parity, c.flags};
}

PortCounters Narrow(const WideCounters& c) {
    return {c.tx,
            c.rx,
            static_cast<std::uint16_t>(c.txPackets),
            static_cast<std::uint16_t>(c.rxPackets),
            static_cast<std::uint16_t>(c.overrun),
            static_cast<std::uint16_t>(c.framing),
            static_cast<std::uint16_t>(c.parity),
            c.flags};
}

void EncodePortCounters(const PortCounters& c, std::span<std::uint8_t, kCounterEntrySize> out) {
    std::uint8_t* at = out.data();
    Put32(at, c.tx);
    Put32(at + 4, c.rx);
    Put16(at + 8, c.txPackets);
    Put16(at + 10, c.rxPackets);
    Put16(at + 12, c.overrun);
    Put16(at + 14, c.framing);
    Put16(at + 16, c.parity);
    Put16(at + 18, c.flags);
}

PortCounters DecodePortCounters(std::span<const std::uint8_t, kCounterEntrySize> in) {
    const std::uint8_t* at = in.data();
    return {Get32(at),      Get32(at + 4),  Get16(at + 8),  Get16(at + 10),
            Get16(at + 12), Get16(at + 14), Get16(at + 16), Get16(at + 18)};
}

}  // namespace portcount
