#pragma once
// One port's statistics record: 224 bytes, little-endian, stored byte for byte in session
// files, so its layout is a file format. Counts are characters unless said otherwise; CPS is
// characters per second. Reserved bytes are never written by the update and keep what a
// session file put there.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

struct PortStatistics {
    static constexpr std::size_t kSize = 224;

    std::uint32_t lastTxTotalRaw = 0;  // 0
    std::uint32_t lastRxTotalRaw = 0;  // 4
    std::array<std::uint8_t, 8> reserved8{};
    std::uint32_t TxTotal = 0;  // 16
    std::uint32_t RxTotal = 0;  // 20
    std::array<std::uint8_t, 10> reserved24{};
    std::uint16_t lastStatusFlags = 0;  // 34
    std::uint32_t TxDelta = 0;          // 36
    std::uint32_t TxMinuteCnt = 0;      // 40
    std::uint32_t TxHourCnt = 0;        // 44
    std::uint32_t TxDayCnt = 0;         // 48
    std::uint32_t RxDelta = 0;          // 52
    std::uint32_t RxMinuteCnt = 0;      // 56
    std::uint32_t RxHourCnt = 0;        // 60
    std::uint32_t RxDayCnt = 0;         // 64
    std::array<std::uint8_t, 4> reserved68{};
    std::uint32_t TxMinuteCntWrk = 0;  // 72
    std::uint32_t TxHourCntWrk = 0;    // 76
    std::uint32_t TxDayCntWrk = 0;     // 80
    std::array<std::uint8_t, 4> reserved84{};
    std::uint32_t RxMinuteCntWrk = 0;  // 88
    std::uint32_t RxHourCntWrk = 0;    // 92
    std::uint32_t RxDayCntWrk = 0;     // 96
    std::uint32_t TxCPSInst = 0;       // 100
    std::uint32_t TxCPSMinute = 0;     // 104
    std::array<std::uint8_t, 8> reserved108{};
    std::uint32_t RxCPSInst = 0;    // 116
    std::uint32_t RxCPSMinute = 0;  // 120
    std::array<std::uint8_t, 8> reserved124{};
    std::uint32_t TxCPSMinuteAvMax = 0;     // 132
    std::uint32_t TxCPSHourAvMax = 0;       // 136
    std::uint32_t TxCPSDayAvMax = 0;        // 140
    std::uint32_t RxCPSMinuteAvMax = 0;     // 144
    std::uint32_t RxCPSHourAvMax = 0;       // 148
    std::uint32_t RxCPSDayAvMax = 0;        // 152
    std::uint32_t TxCPSMinuteAvMaxWrk = 0;  // 156
    std::uint32_t TxCPSHourAvMaxWrk = 0;    // 160
    std::uint32_t TxCPSDayAvMaxWrk = 0;     // 164
    std::uint32_t RxCPSMinuteAvMaxWrk = 0;  // 168
    std::uint32_t RxCPSHourAvMaxWrk = 0;    // 172
    std::uint32_t RxCPSDayAvMaxWrk = 0;     // 176
    std::uint32_t CDRuns = 0;               // 180
    std::uint32_t CDDayRuns = 0;            // 184
    std::uint32_t CDDayRunsWrk = 0;         // 188
    std::uint32_t CDRunTime = 0;            // 192, milliseconds
    std::uint32_t CDHourRunTime = 0;        // 196, seconds
    std::uint32_t CDDayRunTime = 0;         // 200, seconds
    std::uint32_t CDHourRunTimeWrk = 0;     // 204, milliseconds
    std::uint32_t CDDayRunTimeWrk = 0;      // 208, seconds
    std::uint16_t OverrunErrors = 0;        // 212
    std::uint16_t FramingErrors = 0;        // 214
    std::uint16_t ParityErrors = 0;         // 216
    std::uint16_t lastOverrunRaw = 0;       // 218
    std::uint16_t lastFramingRaw = 0;       // 220
    std::uint16_t lastParityRaw = 0;        // 222

    bool operator==(const PortStatistics&) const = default;
};

void EncodePortStatistics(const PortStatistics& stats,
                          std::span<std::uint8_t, PortStatistics::kSize> out);
PortStatistics DecodePortStatistics(std::span<const std::uint8_t, PortStatistics::kSize> in);

// The 32-bit fields by their offset in the record, for code that addresses a field by the
// column that shows it (reset column, the table's cells). Null for an offset that holds no
// 32-bit field.
std::uint32_t PortStatistics::*Field32AtOffset(std::size_t offset);
std::uint16_t PortStatistics::*Field16AtOffset(std::size_t offset);
