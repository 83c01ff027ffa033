#include "monitor/records/port_statistics.h"

#include <algorithm>

#include "monitor/records/little_endian.h"

namespace {

struct Field32 {
    std::size_t offset;
    std::uint32_t PortStatistics::*member;
};
struct Field16 {
    std::size_t offset;
    std::uint16_t PortStatistics::*member;
};
using S = PortStatistics;

constexpr Field32 kFields32[] = {
    {0, &S::lastTxTotalRaw},
    {4, &S::lastRxTotalRaw},
    {16, &S::TxTotal},
    {20, &S::RxTotal},
    {36, &S::TxDelta},
    {40, &S::TxMinuteCnt},
    {44, &S::TxHourCnt},
    {48, &S::TxDayCnt},
    {52, &S::RxDelta},
    {56, &S::RxMinuteCnt},
    {60, &S::RxHourCnt},
    {64, &S::RxDayCnt},
    {72, &S::TxMinuteCntWrk},
    {76, &S::TxHourCntWrk},
    {80, &S::TxDayCntWrk},
    {88, &S::RxMinuteCntWrk},
    {92, &S::RxHourCntWrk},
    {96, &S::RxDayCntWrk},
    {100, &S::TxCPSInst},
    {104, &S::TxCPSMinute},
    {116, &S::RxCPSInst},
    {120, &S::RxCPSMinute},
    {132, &S::TxCPSMinuteAvMax},
    {136, &S::TxCPSHourAvMax},
    {140, &S::TxCPSDayAvMax},
    {144, &S::RxCPSMinuteAvMax},
    {148, &S::RxCPSHourAvMax},
    {152, &S::RxCPSDayAvMax},
    {156, &S::TxCPSMinuteAvMaxWrk},
    {160, &S::TxCPSHourAvMaxWrk},
    {164, &S::TxCPSDayAvMaxWrk},
    {168, &S::RxCPSMinuteAvMaxWrk},
    {172, &S::RxCPSHourAvMaxWrk},
    {176, &S::RxCPSDayAvMaxWrk},
    {180, &S::CDRuns},
    {184, &S::CDDayRuns},
    {188, &S::CDDayRunsWrk},
    {192, &S::CDRunTime},
    {196, &S::CDHourRunTime},
    {200, &S::CDDayRunTime},
    {204, &S::CDHourRunTimeWrk},
    {208, &S::CDDayRunTimeWrk},
};

constexpr Field16 kFields16[] = {
    {34, &S::lastStatusFlags}, {212, &S::OverrunErrors},  {214, &S::FramingErrors},
    {216, &S::ParityErrors},   {218, &S::lastOverrunRaw}, {220, &S::lastFramingRaw},
    {222, &S::lastParityRaw},
};

template <std::size_t N>
void PutBytes(std::span<std::uint8_t> out, std::size_t at, const std::array<std::uint8_t, N>& a) {
    std::copy(a.begin(), a.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
}

template <std::size_t N>
void GetBytes(std::span<const std::uint8_t> in, std::size_t at, std::array<std::uint8_t, N>& a) {
    std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(at), N, a.begin());
}

}  // namespace

void EncodePortStatistics(const PortStatistics& s,
                          std::span<std::uint8_t, PortStatistics::kSize> out) {
    for (const Field32& f : kFields32) {
        le::Put32(out, f.offset, s.*f.member);
    }
    for (const Field16& f : kFields16) {
        le::Put16(out, f.offset, s.*f.member);
    }
    PutBytes(out, 8, s.reserved8);
    PutBytes(out, 24, s.reserved24);
    PutBytes(out, 68, s.reserved68);
    PutBytes(out, 84, s.reserved84);
    PutBytes(out, 108, s.reserved108);
    PutBytes(out, 124, s.reserved124);
}

PortStatistics DecodePortStatistics(std::span<const std::uint8_t, PortStatistics::kSize> in) {
    PortStatistics s;
    for (const Field32& f : kFields32) {
        s.*f.member = le::Get32(in, f.offset);
    }
    for (const Field16& f : kFields16) {
        s.*f.member = le::Get16(in, f.offset);
    }
    GetBytes(in, 8, s.reserved8);
    GetBytes(in, 24, s.reserved24);
    GetBytes(in, 68, s.reserved68);
    GetBytes(in, 84, s.reserved84);
    GetBytes(in, 108, s.reserved108);
    GetBytes(in, 124, s.reserved124);
    return s;
}

std::uint32_t PortStatistics::*Field32AtOffset(std::size_t offset) {
    for (const Field32& f : kFields32) {
        if (f.offset == offset) {
            return f.member;
        }
    }
    return nullptr;
}

std::uint16_t PortStatistics::*Field16AtOffset(std::size_t offset) {
    for (const Field16& f : kFields16) {
        if (f.offset == offset) {
            return f.member;
        }
    }
    return nullptr;
}
