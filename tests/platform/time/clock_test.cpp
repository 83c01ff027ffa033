#include "platform/time/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "platform/time/manual_clock.h"

namespace platform {
namespace {

using std::chrono::milliseconds;

// Puts a manual clock in place for one test and restores the system's afterwards.
class ManualClockTest : public ::testing::Test {
  protected:
    void SetUp() override { SetClockForTesting(&clock_); }
    void TearDown() override { SetClockForTesting(nullptr); }
    ManualClock clock_;
};

TEST_F(ManualClockTest, TickCounterWrapsAndDifferencesStayRight) {
    clock_.SetTickCount(0xFFFFFF00u);
    const DWORD before = GetTickCount();
    clock_.Advance(milliseconds(0x200));
    const DWORD after = GetTickCount();
    EXPECT_EQ(after, 0x100u);
    EXPECT_EQ(static_cast<DWORD>(after - before), 0x200u);

    clock_.AdvanceTicks(milliseconds(-0x101));  // back across the wrap
    EXPECT_EQ(GetTickCount(), 0xFFFFFFFFu);
    clock_.AdvanceTicks(milliseconds(std::int64_t{1} << 32));  // a full turn changes nothing
    EXPECT_EQ(GetTickCount(), 0xFFFFFFFFu);
}

struct Step {
    const char* what;
    SYSTEMTIME start;
    std::int64_t stepMs;
    SYSTEMTIME expected;
};

class ClockStepTest : public ::testing::TestWithParam<Step> {};

TEST_P(ClockStepTest, LocalTimeCrossesBoundaries) {
    const Step& s = GetParam();
    ManualClock clock(1000, s.start);
    SetClockForTesting(&clock);
    clock.Advance(milliseconds(s.stepMs));
    SYSTEMTIME now;
    GetLocalTime(&now);
    SetClockForTesting(nullptr);
    const SYSTEMTIME& e = s.expected;
    EXPECT_EQ(now.wYear, e.wYear) << s.what;
    EXPECT_EQ(now.wMonth, e.wMonth) << s.what;
    EXPECT_EQ(now.wDay, e.wDay) << s.what;
    EXPECT_EQ(now.wDayOfWeek, e.wDayOfWeek) << s.what;
    EXPECT_EQ(now.wHour, e.wHour) << s.what;
    EXPECT_EQ(now.wMinute, e.wMinute) << s.what;
    EXPECT_EQ(now.wSecond, e.wSecond) << s.what;
    EXPECT_EQ(now.wMilliseconds, e.wMilliseconds) << s.what;
    EXPECT_EQ(clock.TickCount(), static_cast<DWORD>(1000 + s.stepMs)) << s.what;
}

// Day-of-week values are checked against the calendar: 2024-01-01 was a Monday (1).
INSTANTIATE_TEST_SUITE_P(
    Boundaries, ClockStepTest,
    ::testing::Values(Step{"minute", MakeSystemTime(2024, 1, 1, 10, 0, 59, 999), 1,
                           MakeSystemTime(2024, 1, 1, 10, 1, 0, 0)},
                      Step{"hour", MakeSystemTime(2024, 1, 1, 10, 59, 30), 30000,
                           MakeSystemTime(2024, 1, 1, 11, 0, 0)},
                      Step{"day", MakeSystemTime(2024, 1, 1, 23, 59, 59, 500), 500,
                           SYSTEMTIME{2024, 1, 2, 2, 0, 0, 0, 0}},
                      Step{"leap day", MakeSystemTime(2024, 2, 28, 23, 0), 3600000,
                           SYSTEMTIME{2024, 2, 4, 29, 0, 0, 0, 0}},
                      Step{"no leap day", MakeSystemTime(2023, 2, 28, 23, 0), 3600000,
                           MakeSystemTime(2023, 3, 1)},
                      Step{"year", MakeSystemTime(2023, 12, 31, 23, 59, 59, 999), 1,
                           SYSTEMTIME{2024, 1, 1, 1, 0, 0, 0, 0}},
                      Step{"back over midnight", MakeSystemTime(2024, 1, 1, 0, 0, 0), -1,
                           SYSTEMTIME{2023, 12, 0, 31, 23, 59, 59, 999}},
                      Step{"a week", MakeSystemTime(2024, 3, 30, 12), 7LL * 24 * 3600000,
                           MakeSystemTime(2024, 4, 6, 12)}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& c : name) {
            if (c == ' ')
                c = '_';
        }
        return name;
    });

TEST(ManualClock, RefusesDatesThatDoNotExist) {
    ManualClock clock;
    const SYSTEMTIME before = clock.LocalTime();
    SYSTEMTIME bad[] = {MakeSystemTime(2023, 2, 29),
                        MakeSystemTime(2024, 13, 1),
                        MakeSystemTime(2024, 4, 31),
                        MakeSystemTime(2024, 1, 1, 24),
                        MakeSystemTime(2024, 1, 1, 0, 60),
                        MakeSystemTime(1600, 1, 1),
                        MakeSystemTime(2024, 1, 1, 0, 0, 0, 1000)};
    for (const SYSTEMTIME& t : bad) {
        EXPECT_FALSE(clock.SetLocalTime(t)) << t.wYear << "-" << t.wMonth << "-" << t.wDay;
    }
    const SYSTEMTIME after = clock.LocalTime();
    EXPECT_EQ(after.wYear, before.wYear);
    EXPECT_EQ(after.wDay, before.wDay);
    EXPECT_EQ(after.wDayOfWeek, 1) << "2024-01-01 is a Monday";
}

TEST(SystemClock, LocalTimeAgreesWithTheHostsLocalTime) {
    SetClockForTesting(nullptr);
    // The bounds from the same clock the local time reads: time() may lag it by a tick.
    const auto wallSeconds = [] {
        return std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    };
    const std::time_t before = wallSeconds();
    SYSTEMTIME now;
    GetLocalTime(now);
    const std::time_t after = wallSeconds();
    ASSERT_TRUE(IsValidSystemTime(now));
    std::tm parts{};
    parts.tm_year = now.wYear - 1900;
    parts.tm_mon = now.wMonth - 1;
    parts.tm_mday = now.wDay;
    parts.tm_hour = now.wHour;
    parts.tm_min = now.wMinute;
    parts.tm_sec = now.wSecond;
    parts.tm_isdst = -1;
    const std::time_t read = std::mktime(&parts);
    EXPECT_GE(read, before);
    EXPECT_LE(read, after);
    EXPECT_EQ(now.wDayOfWeek, parts.tm_wday);
}

TEST(SystemClock, TickCounterAdvancesAtLeastTheTimeSlept) {
    SetClockForTesting(nullptr);
    const DWORD before = GetTickCount();
    std::this_thread::sleep_for(milliseconds(25));
    const DWORD elapsed = GetTickCount() - before;  // right across a wrap, too
    EXPECT_GE(elapsed, 25u);
    EXPECT_LT(elapsed, 0x80000000u) << "the counter went backwards";
}

}  // namespace
}  // namespace platform
