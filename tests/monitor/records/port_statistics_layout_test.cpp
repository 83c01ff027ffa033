// The statistics record and the raw counters are file and wire formats: every field must land
// at its offset, little-endian, and reserved bytes must survive a round trip.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "monitor/records/port_statistics.h"
#include "monitor/records/raw_port_counters.h"

namespace {

TEST(PortStatisticsLayout, EveryFieldSitsAtItsOffset) {
    // Fill each 32-bit field with its own offset and each 16-bit field likewise; decoding a
    // buffer built by hand must give back exactly those numbers.
    std::array<std::uint8_t, PortStatistics::kSize> bytes{};
    int fields32 = 0;
    int fields16 = 0;
    for (std::size_t offset = 0; offset < PortStatistics::kSize; offset += 2) {
        if (Field32AtOffset(offset) != nullptr) {
            bytes[offset] = static_cast<std::uint8_t>(offset);
            bytes[offset + 3] = 0xA5;
            ++fields32;
        } else if (Field16AtOffset(offset) != nullptr) {
            bytes[offset] = static_cast<std::uint8_t>(offset);
            bytes[offset + 1] = 0x5A;
            ++fields16;
        }
    }
    EXPECT_EQ(fields32, 42);
    EXPECT_EQ(fields16, 7);
    const PortStatistics s = DecodePortStatistics(bytes);
    EXPECT_EQ(s.lastTxTotalRaw, 0xA5000000u);
    EXPECT_EQ(s.TxTotal, 0xA5000010u);
    EXPECT_EQ(s.lastStatusFlags, 0x5A22u);
    EXPECT_EQ(s.TxCPSInst, 0xA5000064u);
    EXPECT_EQ(s.RxCPSInst, 0xA5000074u);
    EXPECT_EQ(s.CDDayRunTimeWrk, 0xA50000D0u);
    EXPECT_EQ(s.OverrunErrors, 0x5AD4u);
    EXPECT_EQ(s.lastParityRaw, 0x5ADEu);
}

TEST(PortStatisticsLayout, RoundTripKeepsReservedBytes) {
    std::array<std::uint8_t, PortStatistics::kSize> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    const PortStatistics s = DecodePortStatistics(bytes);
    std::array<std::uint8_t, PortStatistics::kSize> again{};
    EncodePortStatistics(s, again);
    EXPECT_EQ(again, bytes);
}

TEST(RawPortCountersLayout, FieldsInOrderLittleEndian) {
    RawPortCounters c;
    c.txTotalRaw = 0x04030201;
    c.rxTotalRaw = 0x08070605;
    c.txPackets = 0x0A09;
    c.rxPackets = 0x0C0B;
    c.overrunErrorsRaw = 0x0E0D;
    c.framingErrorsRaw = 0x100F;
    c.parityErrorsRaw = 0x1211;
    c.statusFlags = 0x1413;
    std::array<std::uint8_t, RawPortCounters::kSize> bytes{};
    EncodeRawPortCounters(c, bytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        EXPECT_EQ(bytes[i], i + 1) << "byte " << i;
    }
    EXPECT_EQ(DecodeRawPortCounters(bytes), c);
}

}  // namespace
