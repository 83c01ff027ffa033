#pragma once
// The clock state one counter source keeps between polling ticks: elapsed time follows the
// millisecond tick counter, minute, hour and day boundaries follow the local wall clock.

#include <cstdint>

struct SourceTimeBase {
    // Marks a source whose clock has not started; the first update starts it.
    static constexpr std::uint16_t kNotStarted = 123;

    std::uint32_t minuteMs = 0;  // accumulated since the last minute boundary
    std::uint32_t lastTick = 0;
    std::uint16_t hourPending = kNotStarted;  // 1 = an hour boundary was seen, its step is due
    std::uint16_t dayPending = 0;
    std::uint16_t lastMinute = 0;
    std::uint16_t lastHour = 0;
    std::uint16_t lastDay = 0;
    std::uint16_t customMinutes = 0;  // minutes counted toward the next custom report
    std::int32_t customInterval = 0;  // the custom interval last seen, minutes
};
