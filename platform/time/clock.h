#pragma once
// The tick counter and the local time, read through one replaceable clock so that tests can
// cross minute, hour and day boundaries (and the 49.7-day wrap of the tick counter) without
// waiting. Code of the programs calls GetTickCount and GetLocalTime; only tests touch the
// clock itself.

#include "platform/win/win_types.h"

#ifndef _WIN32

// The broken-down time of the Windows API; wDayOfWeek counts from Sunday (0).
struct SYSTEMTIME {
    WORD wYear = 0;
    WORD wMonth = 0;
    WORD wDayOfWeek = 0;
    WORD wDay = 0;
    WORD wHour = 0;
    WORD wMinute = 0;
    WORD wSecond = 0;
    WORD wMilliseconds = 0;
};

#endif

namespace platform {

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start, modulo 2^32.
    virtual DWORD TickCount() = 0;
    virtual SYSTEMTIME LocalTime() = 0;
};

// The host's clock: the tick counter runs from boot, including time spent suspended, as the
// Windows counter does; the local time follows the host's time zone.
Clock& SystemClock();

// The clock that GetTickCount and GetLocalTime read: the system's unless a test put another
// in place. Safe to call from any thread.
Clock& CurrentClock();

// Puts `clock` in place for every thread; nullptr restores the system's. The caller keeps the
// clock alive until it is replaced.
void SetClockForTesting(Clock* clock);

DWORD GetTickCount();
void GetLocalTime(SYSTEMTIME& time);
// The Windows form; a null pointer is ignored.
void GetLocalTime(SYSTEMTIME* time);

}  // namespace platform
