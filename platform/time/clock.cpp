#include "platform/time/clock.h"

#include <time.h>

#include <atomic>

namespace platform {

namespace {

class HostClock final : public Clock {
  public:
    DWORD TickCount() override {
        timespec now{};
        // CLOCK_BOOTTIME keeps counting while the machine sleeps, like the Windows counter;
        // the monotonic clock is the fallback on kernels without it.
        if (clock_gettime(CLOCK_BOOTTIME, &now) != 0) {
            clock_gettime(CLOCK_MONOTONIC, &now);
        }
        const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                        static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
        return static_cast<DWORD>(ms);  // the counter wraps at 2^32, as on Windows
    }

    SYSTEMTIME LocalTime() override {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        tm parts{};
        localtime_r(&now.tv_sec, &parts);
        SYSTEMTIME st;
        st.wYear = static_cast<WORD>(parts.tm_year + 1900);
        st.wMonth = static_cast<WORD>(parts.tm_mon + 1);
        st.wDayOfWeek = static_cast<WORD>(parts.tm_wday);
        st.wDay = static_cast<WORD>(parts.tm_mday);
        st.wHour = static_cast<WORD>(parts.tm_hour);
        st.wMinute = static_cast<WORD>(parts.tm_min);
        // A leap second shows as second 60 here; the Windows record never holds it.
        st.wSecond = static_cast<WORD>(parts.tm_sec > 59 ? 59 : parts.tm_sec);
        st.wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
        return st;
    }
};

std::atomic<Clock*> g_testClock{nullptr};

}  // namespace

Clock& SystemClock() {
    static HostClock clock;
    return clock;
}

Clock& CurrentClock() {
    Clock* clock = g_testClock.load(std::memory_order_acquire);
    return clock ? *clock : SystemClock();
}

void SetClockForTesting(Clock* clock) {
    g_testClock.store(clock, std::memory_order_release);
}

DWORD GetTickCount() {
    return CurrentClock().TickCount();
}

void GetLocalTime(SYSTEMTIME& time) {
    time = CurrentClock().LocalTime();
}

void GetLocalTime(SYSTEMTIME* time) {
    if (time) {
        GetLocalTime(*time);
    }
}

}  // namespace platform
