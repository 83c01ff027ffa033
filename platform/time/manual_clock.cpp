#include "platform/time/manual_clock.h"

#include <cstdint>

namespace platform {

namespace {

using namespace std::chrono;

sys_time<milliseconds> ToTimePoint(const SYSTEMTIME& st) {
    const year_month_day date{year{st.wYear}, month{st.wMonth}, day{st.wDay}};
    return sys_days{date} + hours{st.wHour} + minutes{st.wMinute} + seconds{st.wSecond} +
           milliseconds{st.wMilliseconds};
}

SYSTEMTIME FromTimePoint(sys_time<milliseconds> tp) {
    const auto dayStart = floor<days>(tp);
    const year_month_day date{dayStart};
    const hh_mm_ss clock{tp - dayStart};
    SYSTEMTIME st;
    st.wYear = static_cast<WORD>(static_cast<int>(date.year()));
    st.wMonth = static_cast<WORD>(static_cast<unsigned>(date.month()));
    st.wDay = static_cast<WORD>(static_cast<unsigned>(date.day()));
    st.wDayOfWeek = static_cast<WORD>(weekday{dayStart}.c_encoding());
    st.wHour = static_cast<WORD>(clock.hours().count());
    st.wMinute = static_cast<WORD>(clock.minutes().count());
    st.wSecond = static_cast<WORD>(clock.seconds().count());
    st.wMilliseconds = static_cast<WORD>(clock.subseconds().count());
    return st;
}

}  // namespace

bool IsValidSystemTime(const SYSTEMTIME& st) {
    const year_month_day date{year{st.wYear}, month{st.wMonth}, day{st.wDay}};
    return st.wYear >= 1601 && st.wYear <= 30827 && date.ok() && st.wHour < 24 && st.wMinute < 60 &&
           st.wSecond < 60 && st.wMilliseconds < 1000;
}

SYSTEMTIME MakeSystemTime(int year, int month, int day, int hour, int minute, int second,
                          int milliseconds) {
    SYSTEMTIME st;
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    st.wMilliseconds = static_cast<WORD>(milliseconds);
    if (IsValidSystemTime(st)) {
        st = FromTimePoint(ToTimePoint(st));  // fills in the day of the week
    }
    return st;
}

ManualClock::ManualClock() : local_(ToTimePoint(MakeSystemTime(2024, 1, 1))) {}

ManualClock::ManualClock(DWORD ticks, const SYSTEMTIME& localTime) : ManualClock() {
    ticks_ = ticks;
    SetLocalTime(localTime);
}

DWORD ManualClock::TickCount() {
    std::lock_guard lock(mutex_);
    return ticks_;
}

SYSTEMTIME ManualClock::LocalTime() {
    std::lock_guard lock(mutex_);
    return FromTimePoint(local_);
}

void ManualClock::SetTickCount(DWORD ticks) {
    std::lock_guard lock(mutex_);
    ticks_ = ticks;
}

bool ManualClock::SetLocalTime(const SYSTEMTIME& time) {
    if (!IsValidSystemTime(time)) {
        return false;
    }
    std::lock_guard lock(mutex_);
    local_ = ToTimePoint(time);
    return true;
}

namespace {

// Unsigned arithmetic is modulo 2^32, which is exactly the counter's wrap; a negative step
// becomes its two's complement and moves the counter back.
DWORD TicksAfter(DWORD ticks, std::chrono::milliseconds step) {
    return ticks + static_cast<DWORD>(static_cast<std::uint64_t>(step.count()));
}

}  // namespace

void ManualClock::Advance(std::chrono::milliseconds step) {
    // One lock for both, so no reader sees the counter moved and the time not yet.
    std::lock_guard lock(mutex_);
    ticks_ = TicksAfter(ticks_, step);
    local_ += step;
}

void ManualClock::AdvanceTicks(std::chrono::milliseconds step) {
    std::lock_guard lock(mutex_);
    ticks_ = TicksAfter(ticks_, step);
}

void ManualClock::AdvanceLocalTime(std::chrono::milliseconds step) {
    std::lock_guard lock(mutex_);
    local_ += step;
}

}  // namespace platform
