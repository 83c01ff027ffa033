#include "monitor/records/raw_port_counters.h"

#include "monitor/records/little_endian.h"

void EncodeRawPortCounters(const RawPortCounters& c,
                           std::span<std::uint8_t, RawPortCounters::kSize> out) {
    le::Put32(out, 0, c.txTotalRaw);
    le::Put32(out, 4, c.rxTotalRaw);
    le::Put16(out, 8, c.txPackets);
    le::Put16(out, 10, c.rxPackets);
    le::Put16(out, 12, c.overrunErrorsRaw);
    le::Put16(out, 14, c.framingErrorsRaw);
    le::Put16(out, 16, c.parityErrorsRaw);
    le::Put16(out, 18, c.statusFlags);
}

RawPortCounters DecodeRawPortCounters(std::span<const std::uint8_t, RawPortCounters::kSize> in) {
    RawPortCounters c;
    c.txTotalRaw = le::Get32(in, 0);
    c.rxTotalRaw = le::Get32(in, 4);
    c.txPackets = le::Get16(in, 8);
    c.rxPackets = le::Get16(in, 10);
    c.overrunErrorsRaw = le::Get16(in, 12);
    c.framingErrorsRaw = le::Get16(in, 14);
    c.parityErrorsRaw = le::Get16(in, 16);
    c.statusFlags = le::Get16(in, 18);
    return c;
}
