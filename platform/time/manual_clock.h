#pragma once
// A clock that moves only when a test moves it. The tick counter and the local time advance
// together by default, as they do on a running machine, or each on its own to play a clock
// that was set back, a counter that wrapped, or a machine that slept.

#include <chrono>
#include <mutex>

#include "platform/time/clock.h"

namespace platform {

// True when the record names a real date and time (1601-30827, as the Windows record allows).
// wDayOfWeek is not checked: it follows from the date.
bool IsValidSystemTime(const SYSTEMTIME& time);

// A local time with its day of the week filled in. The fields must name a real date and time.
SYSTEMTIME MakeSystemTime(int year, int month, int day, int hour = 0, int minute = 0,
                          int second = 0, int milliseconds = 0);

class ManualClock final : public Clock {
  public:
    // Ticks 0 and Monday 2024-01-01 00:00:00.000.
    ManualClock();
    ManualClock(DWORD ticks, const SYSTEMTIME& localTime);

    DWORD TickCount() override;
    SYSTEMTIME LocalTime() override;

    void SetTickCount(DWORD ticks);
    // Refuses (false, nothing changes) a record that names no real date and time.
    bool SetLocalTime(const SYSTEMTIME& time);

    // Moves both; the tick counter wraps at 2^32. A negative step moves both back.
    void Advance(std::chrono::milliseconds step);
    void AdvanceTicks(std::chrono::milliseconds step);
    void AdvanceLocalTime(std::chrono::milliseconds step);

  private:
    using LocalMs = std::chrono::sys_time<std::chrono::milliseconds>;

    mutable std::mutex mutex_;
    DWORD ticks_ = 0;
    // The local wall-clock time counted as if it were a time zone without offsets.
    LocalMs local_;
};

}  // namespace platform
