// The statistics cycle against a hand-moved clock: every boundary, gap and wrap is crossed on
// purpose, and the records are checked field by field against what a poller must show.

#include "monitor/stats/update_statistics.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "monitor/stats/monitor_messages.h"
#include "platform/time/manual_clock.h"
#include "tests/monitor/stats/recording_owner.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::minutes;
using std::chrono::seconds;

class StatisticsCycle : public ::testing::Test {
  protected:
    // 10:00:30 on a Monday, tick counter well away from 0.
    StatisticsCycle() : clock_(5000, platform::MakeSystemTime(2024, 1, 1, 10, 0, 30)) {}
    void SetUp() override { platform::SetClockForTesting(&clock_); }
    void TearDown() override { platform::SetClockForTesting(nullptr); }

    void Ports(std::size_t n) {
        raw_.assign(n, RawPortCounters{});
        stats_.assign(n, PortStatistics{});
    }
    void Update() { UpdatePortStatistics(time_, raw_, stats_, owner_); }
    // One tick after `step` of both clocks, with port 0 having sent `tx` more characters.
    void TickSending(milliseconds step, std::uint32_t tx) {
        clock_.Advance(step);
        raw_[0].txTotalRaw += tx;
        Update();
    }

    platform::ManualClock clock_;
    RecordingOwner owner_;
    SourceTimeBase time_;
    std::vector<RawPortCounters> raw_;
    std::vector<PortStatistics> stats_;
};

TEST_F(StatisticsCycle, FirstUpdateTakesTheWholeCountWithoutRates) {
    Ports(3);
    raw_[0].txTotalRaw = 70000;
    raw_[1].rxTotalRaw = 12;
    raw_[2].txTotalRaw = 5;
    Update();
    EXPECT_EQ(time_.hourPending, 0);
    EXPECT_EQ(time_.lastTick, 5000u);
    EXPECT_EQ(time_.lastMinute, 0);
    EXPECT_EQ(time_.lastHour, 10);
    EXPECT_EQ(time_.lastDay, 1);
    // Every discovered port is updated, table row or not.
    EXPECT_EQ(stats_[0].TxDelta, 70000u);
    EXPECT_EQ(stats_[0].TxTotal, 70000u);
    EXPECT_EQ(stats_[1].RxTotal, 12u);
    EXPECT_EQ(stats_[2].TxMinuteCntWrk, 5u);
    // No time has passed since the clock started, so no rate is computed.
    EXPECT_EQ(stats_[0].TxCPSInst, 0u);
    EXPECT_EQ(time_.minuteMs, 0u);
    EXPECT_TRUE(owner_.posted.empty());
}

TEST_F(StatisticsCycle, TwoHundredCharactersEveryTwoSecondsMakeOneHundredPerSecond) {
    Ports(1);
    Update();  // 10:00:30, clock started
    // 10:00:32 .. 10:01:00: 15 ticks, the last one crosses the minute.
    for (int i = 0; i < 14; ++i) {
        TickSending(seconds(2), 200);
    }
    EXPECT_EQ(stats_[0].TxCPSInst, 100u);
    EXPECT_EQ(stats_[0].TxCPSMinuteAvMaxWrk, 100u);
    EXPECT_EQ(stats_[0].TxMinuteCnt, 0u);
    TickSending(seconds(2), 200);  // 10:01:00
    EXPECT_EQ(stats_[0].TxMinuteCnt, 3000u);
    EXPECT_EQ(stats_[0].TxCPSMinute, 100u);  // 3000 characters in 30,000 ms
    // A full minute of ticks: 10:01:02 .. 10:02:00.
    for (int i = 0; i < 30; ++i) {
        TickSending(seconds(2), 200);
    }
    EXPECT_EQ(stats_[0].TxMinuteCnt, 6000u);
    EXPECT_EQ(stats_[0].TxCPSMinute, 100u);
    EXPECT_EQ(stats_[0].TxCPSMinuteAvMax, 100u);
    EXPECT_EQ(stats_[0].TxHourCntWrk, 9000u);
    EXPECT_EQ(stats_[0].TxCPSHourAvMaxWrk, 100u);
    EXPECT_EQ(stats_[0].TxCPSDayAvMaxWrk, 100u);
    EXPECT_EQ(stats_[0].TxMinuteCntWrk, 0u);
    EXPECT_EQ(stats_[0].TxTotal, 45u * 200u);
    EXPECT_EQ(time_.minuteMs, 0u);
}

TEST_F(StatisticsCycle, ElapsedTimeRule) {
    // The tick counter's step between two updates and what it counts as.
    struct Row {
        const char* what;
        std::int64_t tickStepMs;
        std::uint32_t startTick;
        std::uint32_t elapsed;
    } rows[] = {
        {"ordinary step", 2000, 5000, 2000},        {"exactly two minutes", 120000, 5000, 120000},
        {"more than two minutes", 120001, 5000, 0}, {"counter stood still", 0, 5000, 0},
        {"counter wrapped", 3000, 0xFFFFF800u, 0},  {"counter went back", -1000, 5000, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        clock_.SetTickCount(row.startTick);
        time_ = SourceTimeBase{};
        Ports(1);
        raw_[0].txTotalRaw = 100;
        Update();
        stats_[0].TxCPSInst = 77;  // a rate from before, kept when no time passed
        raw_[0].txTotalRaw = 1100;
        clock_.AdvanceTicks(milliseconds(row.tickStepMs));
        Update();
        EXPECT_EQ(time_.minuteMs, row.elapsed);
        EXPECT_EQ(stats_[0].TxTotal, 1100u);  // totals grow whatever the time did
        EXPECT_EQ(
            stats_[0].TxCPSInst,
            row.elapsed == 0 ? 77u : static_cast<std::uint32_t>(1000ull * 1000 / row.elapsed));
        EXPECT_EQ(time_.lastTick, platform::GetTickCount());
    }
}

TEST_F(StatisticsCycle, CountersThatGoDownOrWrapAddNothing) {
    struct Row {
        const char* what;
        std::uint32_t before;
        std::uint32_t after;
        std::uint32_t delta;
    } rows[] = {
        {"grows", 1000, 1500, 500},
        {"unchanged", 1000, 1000, 0},
        {"driver restarted", 1000, 20, 0},
        {"32-bit wrap", 0xFFFFFF00u, 0x10, 0},
        {"up to the top", 0xFFFFFF00u, 0xFFFFFFFFu, 0xFF},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        time_ = SourceTimeBase{};
        Ports(1);
        raw_[0].txTotalRaw = row.before;
        raw_[0].rxTotalRaw = row.before;
        Update();
        raw_[0].txTotalRaw = row.after;
        raw_[0].rxTotalRaw = row.after;
        clock_.Advance(seconds(1));
        Update();
        EXPECT_EQ(stats_[0].TxDelta, row.delta);
        EXPECT_EQ(stats_[0].RxDelta, row.delta);
        EXPECT_EQ(stats_[0].TxTotal, row.before + row.delta);
        // The new value is the reference for the next read.
        EXPECT_EQ(stats_[0].lastTxTotalRaw, row.after);
        EXPECT_EQ(stats_[0].lastRxTotalRaw, row.after);
    }
}

TEST_F(StatisticsCycle, ErrorCountsUseOnlyIncreasesAndWrapAt16Bits) {
    struct Row {
        const char* what;
        std::uint16_t startTotal;
        std::uint16_t rawBefore;
        std::uint16_t rawAfter;
        std::uint16_t total;
    } rows[] = {
        {"grows", 0, 10, 13, 3},
        {"65535 then 2 adds nothing", 0, 65535, 2, 0},
        {"total wraps", 65534, 0, 3, 1},
        {"unchanged", 5, 7, 7, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        time_ = SourceTimeBase{};
        Ports(1);
        stats_[0].OverrunErrors = stats_[0].FramingErrors = stats_[0].ParityErrors = row.startTotal;
        stats_[0].lastOverrunRaw = stats_[0].lastFramingRaw = stats_[0].lastParityRaw =
            row.rawBefore;
        raw_[0].overrunErrorsRaw = raw_[0].framingErrorsRaw = raw_[0].parityErrorsRaw =
            row.rawAfter;
        Update();
        EXPECT_EQ(stats_[0].OverrunErrors, row.total);
        EXPECT_EQ(stats_[0].FramingErrors, row.total);
        EXPECT_EQ(stats_[0].ParityErrors, row.total);
        EXPECT_EQ(stats_[0].lastOverrunRaw, row.rawAfter);
        EXPECT_EQ(stats_[0].lastFramingRaw, row.rawAfter);
        EXPECT_EQ(stats_[0].lastParityRaw, row.rawAfter);
    }
}

TEST_F(StatisticsCycle, AFastLineDoesNotWrapItsRates) {
    Ports(1);
    Update();  // 10:00:30
    // 200,000 characters a second: the counts times 1000 exceed 32 bits, the rates do not.
    clock_.Advance(seconds(29));
    raw_[0].txTotalRaw = 5800000;
    Update();  // 10:00:59
    EXPECT_EQ(stats_[0].TxCPSInst, 200000u);
    TickSending(seconds(1), 200000);  // 10:01:00
    EXPECT_EQ(stats_[0].TxMinuteCnt, 6000000u);
    EXPECT_EQ(stats_[0].TxCPSMinute, 200000u);
}

TEST_F(StatisticsCycle, MinuteWithoutAccumulatedTimeKeepsItsRates) {
    Ports(1);
    Update();
    stats_[0].TxCPSMinute = 42;
    stats_[0].RxCPSMinute = 43;
    // Only the wall clock moves into the next minute; the tick counter stands still.
    clock_.AdvanceLocalTime(seconds(40));
    raw_[0].txTotalRaw = 600;
    raw_[0].rxTotalRaw = 60;
    Update();
    EXPECT_EQ(stats_[0].TxCPSMinute, 42u);
    EXPECT_EQ(stats_[0].RxCPSMinute, 43u);
    EXPECT_EQ(stats_[0].TxMinuteCnt, 600u);
    EXPECT_EQ(stats_[0].RxMinuteCnt, 60u);
    EXPECT_EQ(stats_[0].TxMinuteCntWrk, 0u);
    EXPECT_EQ(stats_[0].RxMinuteCntWrk, 0u);
    EXPECT_EQ(stats_[0].TxHourCntWrk, 600u);
}

TEST_F(StatisticsCycle, AnHourChangeIsSeenOnlyWithTheNextMinuteChange) {
    Ports(1);
    Update();  // 10:00:30
    owner_.settings.hourlyReport = true;
    // The wall clock jumps exactly one hour: same minute value, so nothing happens yet.
    clock_.AdvanceLocalTime(minutes(60));
    clock_.AdvanceTicks(seconds(2));
    Update();  // 11:00:30
    EXPECT_EQ(owner_.Count(WM_HOURLY_REPORT), 0);
    EXPECT_EQ(time_.lastHour, 10);
    clock_.Advance(seconds(30));
    Update();  // 11:01:00
    EXPECT_EQ(owner_.Count(WM_HOURLY_REPORT), 1);
    EXPECT_EQ(time_.lastHour, 11);
}

TEST_F(StatisticsCycle, HourAndDayStepsMoveTheWorkingFields) {
    clock_.SetLocalTime(platform::MakeSystemTime(2024, 1, 1, 23, 58, 50));
    Ports(1);
    Update();  // 23:58:50
    raw_[0].statusFlags = STATUS_CD;
    stats_[0].TxDayCnt = 1000;  // the previous day's total
    stats_[0].TxDayCntWrk = 50;
    stats_[0].CDDayRunTimeWrk = 7;
    TickSending(seconds(10), 600);  // 23:59:00: minute step
    EXPECT_EQ(stats_[0].CDRuns, 1u);
    EXPECT_EQ(stats_[0].CDDayRunsWrk, 1u);
    EXPECT_EQ(stats_[0].TxHourCntWrk, 600u);
    EXPECT_EQ(stats_[0].TxCPSMinute, 60u);
    TickSending(seconds(60), 1200);  // 00:00:00 on the next day
    const PortStatistics& s = stats_[0];
    // Hour step: the hour's 1800 characters go into the day; then the day step makes the day
    // total the complete day's and clears the working fields.
    EXPECT_EQ(s.TxHourCnt, 1800u);
    EXPECT_EQ(s.TxHourCntWrk, 0u);
    EXPECT_EQ(s.TxDayCnt, 50u + 1800u);
    EXPECT_EQ(s.TxDayCntWrk, 0u);
    EXPECT_EQ(s.TxCPSHourAvMax, 60u);  // 1200 in 60 s is 20, the earlier minute had 60
    EXPECT_EQ(s.TxCPSDayAvMax, 60u);
    EXPECT_EQ(s.TxCPSHourAvMaxWrk, 0u);
    EXPECT_EQ(s.TxCPSDayAvMaxWrk, 0u);
    EXPECT_EQ(s.CDRunTime, 70000u);
    EXPECT_EQ(s.CDHourRunTime, 70u);
    EXPECT_EQ(s.CDHourRunTimeWrk, 0u);
    EXPECT_EQ(s.CDDayRunTime, 77u);
    EXPECT_EQ(s.CDDayRunTimeWrk, 0u);
    EXPECT_EQ(s.CDDayRuns, 1u);
    EXPECT_EQ(s.CDDayRunsWrk, 0u);
    EXPECT_EQ(owner_.Count(WM_HOURLY_REPORT), 1);
    EXPECT_EQ(owner_.Count(WM_DAILY_REPORT), 1);
    EXPECT_EQ(time_.lastDay, 2);
}

TEST_F(StatisticsCycle, DuringADayTheDayCountIsYesterdayPlusCompletedHours) {
    clock_.SetLocalTime(platform::MakeSystemTime(2024, 1, 1, 10, 59, 50));
    Ports(1);
    Update();
    stats_[0].TxDayCnt = 1000;
    TickSending(seconds(10), 300);  // 11:00:00
    EXPECT_EQ(stats_[0].TxDayCnt, 1300u);
    EXPECT_EQ(stats_[0].TxDayCntWrk, 300u);
}

TEST_F(StatisticsCycle, CarrierRunsCountOffToOnChanges) {
    Ports(1);
    Update();
    const std::uint16_t flags[] = {STATUS_CD, STATUS_CD, 0, STATUS_CD | STATUS_PORT_OPEN, 0, 0};
    for (std::uint16_t f : flags) {
        clock_.Advance(milliseconds(1500));
        raw_[0].statusFlags = f;
        Update();
    }
    EXPECT_EQ(stats_[0].CDRuns, 2u);
    EXPECT_EQ(stats_[0].CDDayRunsWrk, 2u);
    EXPECT_EQ(stats_[0].CDRunTime, 3u * 1500u);
    EXPECT_EQ(stats_[0].CDHourRunTimeWrk, 3u * 1500u);
    EXPECT_EQ(stats_[0].lastStatusFlags, 0);
}

TEST_F(StatisticsCycle, ReportsNeedMoreThanTwoMillionFreeBytes) {
    struct Row {
        double freeBytes;
        bool hourly;
        bool daily;
        int hourlyPosted;
        int dailyPosted;
    } rows[] = {
        {2000001.0, true, true, 1, 1}, {2000000.0, true, true, 0, 0},
        {0.0, true, true, 0, 0},  // unreadable
        {1e9, false, true, 0, 1},      {1e9, true, false, 1, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.freeBytes);
        clock_.SetLocalTime(platform::MakeSystemTime(2024, 3, 9, 23, 59, 58));
        time_ = SourceTimeBase{};
        owner_ = RecordingOwner{};
        owner_.freeBytes = row.freeBytes;
        owner_.settings.hourlyReport = row.hourly;
        owner_.settings.dailyReport = row.daily;
        Ports(1);
        Update();
        TickSending(seconds(2), 50);  // midnight
        EXPECT_EQ(owner_.Count(WM_HOURLY_REPORT), row.hourlyPosted);
        EXPECT_EQ(owner_.Count(WM_DAILY_REPORT), row.dailyPosted);
        // The statistics are updated whatever the disk says.
        EXPECT_EQ(stats_[0].TxHourCnt, 50u);
    }
}

TEST_F(StatisticsCycle, CustomReportEveryNthMinuteChange) {
    owner_.settings.customReport = true;
    owner_.settings.customReportInterval = 30;
    Ports(1);
    Update();  // 10:00:30
    std::vector<int> reportedAt;
    for (int minute = 1; minute <= 75; ++minute) {
        if (minute == 61) {
            owner_.settings.customReportInterval = 5;  // a new interval restarts the count
        }
        const std::size_t before = owner_.posted.size();
        clock_.Advance(minutes(1));
        Update();
        for (std::size_t i = before; i < owner_.posted.size(); ++i) {
            if (owner_.posted[i] == WM_CUSTOM_REPORT) {
                reportedAt.push_back(minute);
            }
        }
    }
    EXPECT_EQ(reportedAt, (std::vector<int>{30, 60, 65, 70, 75}));
}

TEST_F(StatisticsCycle, CustomReportGates) {
    struct Row {
        const char* what;
        bool on;
        int interval;
        double freeBytes;
    } rows[] = {
        {"custom reports off", false, 1, 1e9},
        {"interval 0 (also an empty text)", true, 0, 1e9},
        {"negative interval", true, -5, 1e9},
        {"disk nearly full", true, 1, 1000.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        owner_ = RecordingOwner{};
        owner_.settings.customReport = row.on;
        owner_.settings.customReportInterval = row.interval;
        owner_.freeBytes = row.freeBytes;
        time_ = SourceTimeBase{};
        Ports(1);
        Update();
        for (int i = 0; i < 5; ++i) {
            clock_.Advance(minutes(1));
            Update();
        }
        EXPECT_EQ(owner_.Count(WM_CUSTOM_REPORT), 0);
        EXPECT_EQ(time_.customMinutes, 0);
    }
}

}  // namespace
