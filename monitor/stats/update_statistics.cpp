#include "monitor/stats/update_statistics.h"

#include <algorithm>
#include <limits>

#include "monitor/stats/free_disk_space.h"
#include "monitor/stats/monitor_messages.h"
#include "platform/time/clock.h"

namespace {

// count x 1000 / ms without the 32-bit product wrapping: a fast line delivers more than
// 4,294,967 characters in a minute, and a wrapped product would show a tiny rate.
std::uint32_t PerSecond(std::uint32_t count, std::uint32_t ms) {
    const std::uint64_t rate = static_cast<std::uint64_t>(count) * 1000u / ms;
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(rate, std::numeric_limits<std::uint32_t>::max()));
}

std::uint32_t Delta(std::uint32_t now, std::uint32_t& last) {
    const std::uint32_t delta = now > last ? now - last : 0;
    last = now;
    return delta;
}

void AddErrors(std::uint16_t raw, std::uint16_t& last, std::uint16_t& total) {
    if (raw > last) {
        total = static_cast<std::uint16_t>(total + (raw - last));
    }
    last = raw;
}

void UpdatePort(const RawPortCounters& raw, PortStatistics& rec, std::uint32_t elapsed) {
    if ((raw.statusFlags & STATUS_CD) != 0) {
        if ((rec.lastStatusFlags & STATUS_CD) == 0) {
            ++rec.CDRuns;
            ++rec.CDDayRunsWrk;
        }
        rec.CDRunTime += elapsed;
        rec.CDHourRunTimeWrk += elapsed;
    }
    rec.lastStatusFlags = raw.statusFlags;

    rec.TxDelta = Delta(raw.txTotalRaw, rec.lastTxTotalRaw);
    rec.RxDelta = Delta(raw.rxTotalRaw, rec.lastRxTotalRaw);
    if (elapsed > 0) {
        rec.TxCPSInst = PerSecond(rec.TxDelta, elapsed);
        rec.RxCPSInst = PerSecond(rec.RxDelta, elapsed);
    }
    rec.TxMinuteCntWrk += rec.TxDelta;
    rec.TxTotal += rec.TxDelta;
    rec.RxMinuteCntWrk += rec.RxDelta;
    rec.RxTotal += rec.RxDelta;
    rec.TxCPSMinuteAvMaxWrk = std::max(rec.TxCPSMinuteAvMaxWrk, rec.TxCPSInst);
    rec.RxCPSMinuteAvMaxWrk = std::max(rec.RxCPSMinuteAvMaxWrk, rec.RxCPSInst);

    AddErrors(raw.overrunErrorsRaw, rec.lastOverrunRaw, rec.OverrunErrors);
    AddErrors(raw.framingErrorsRaw, rec.lastFramingRaw, rec.FramingErrors);
    AddErrors(raw.parityErrorsRaw, rec.lastParityRaw, rec.ParityErrors);
}

void MinuteStep(PortStatistics& rec, std::uint32_t minuteMs) {
    if (minuteMs != 0) {
        rec.TxCPSMinute = PerSecond(rec.TxMinuteCntWrk, minuteMs);
        rec.RxCPSMinute = PerSecond(rec.RxMinuteCntWrk, minuteMs);
    }
    rec.TxMinuteCnt = rec.TxMinuteCntWrk;
    rec.RxMinuteCnt = rec.RxMinuteCntWrk;
    if (rec.TxCPSMinute > rec.TxCPSHourAvMaxWrk) {
        rec.TxCPSHourAvMaxWrk = rec.TxCPSMinute;
        if (rec.TxCPSMinute > rec.TxCPSDayAvMaxWrk) {
            rec.TxCPSDayAvMaxWrk = rec.TxCPSMinute;
        }
    }
    if (rec.RxCPSMinute > rec.RxCPSHourAvMaxWrk) {
        rec.RxCPSHourAvMaxWrk = rec.RxCPSMinute;
        if (rec.RxCPSMinute > rec.RxCPSDayAvMaxWrk) {
            rec.RxCPSDayAvMaxWrk = rec.RxCPSMinute;
        }
    }
    rec.TxHourCntWrk += rec.TxMinuteCntWrk;
    rec.RxHourCntWrk += rec.RxMinuteCntWrk;
    rec.TxCPSMinuteAvMax = rec.TxCPSMinuteAvMaxWrk;
    rec.RxCPSMinuteAvMax = rec.RxCPSMinuteAvMaxWrk;
    rec.TxMinuteCntWrk = 0;
    rec.RxMinuteCntWrk = 0;
    rec.TxCPSMinuteAvMaxWrk = 0;
    rec.RxCPSMinuteAvMaxWrk = 0;
}

void HourStep(PortStatistics& rec) {
    const std::uint32_t seconds = rec.CDHourRunTimeWrk / 1000;
    rec.CDDayRunTimeWrk += seconds;
    rec.CDHourRunTime = seconds;
    rec.CDHourRunTimeWrk = 0;
    rec.TxDayCntWrk += rec.TxHourCntWrk;
    rec.TxDayCnt += rec.TxHourCntWrk;
    rec.RxDayCntWrk += rec.RxHourCntWrk;
    rec.RxDayCnt += rec.RxHourCntWrk;
    rec.TxHourCnt = rec.TxHourCntWrk;
    rec.RxHourCnt = rec.RxHourCntWrk;
    rec.TxCPSHourAvMax = rec.TxCPSHourAvMaxWrk;
    rec.RxCPSHourAvMax = rec.RxCPSHourAvMaxWrk;
    rec.TxHourCntWrk = 0;
    rec.RxHourCntWrk = 0;
    rec.TxCPSHourAvMaxWrk = 0;
    rec.RxCPSHourAvMaxWrk = 0;
}

void DayStep(PortStatistics& rec) {
    rec.CDDayRunTime = rec.CDDayRunTimeWrk;
    rec.CDDayRuns = rec.CDDayRunsWrk;
    rec.CDDayRunTimeWrk = 0;
    rec.CDDayRunsWrk = 0;
    rec.TxDayCnt = rec.TxDayCntWrk;
    rec.RxDayCnt = rec.RxDayCntWrk;
    rec.TxCPSDayAvMax = rec.TxCPSDayAvMaxWrk;
    rec.RxCPSDayAvMax = rec.RxCPSDayAvMaxWrk;
    rec.TxDayCntWrk = 0;
    rec.RxDayCntWrk = 0;
    rec.TxCPSDayAvMaxWrk = 0;
    rec.RxCPSDayAvMaxWrk = 0;
}

bool EnoughDiskForReports(StatisticsOwner& owner) {
    return owner.FreeDiskBytes() > kReportMinimumFreeBytes;
}

void CustomReportCheck(SourceTimeBase& time, StatisticsOwner& owner) {
    const ReportSettings settings = owner.Settings();
    if (!settings.customReport || !EnoughDiskForReports(owner)) {
        return;
    }
    const int n = settings.customReportInterval;
    if (n <= 0) {
        return;
    }
    if (n != time.customInterval) {
        time.customMinutes = 0;
        time.customInterval = n;
    }
    ++time.customMinutes;
    if (time.customMinutes % n == 0) {
        time.customMinutes = 0;
        owner.PostMonitorMessage(WM_CUSTOM_REPORT);
    }
}

}  // namespace

void UpdatePortStatistics(SourceTimeBase& time, std::span<const RawPortCounters> raw,
                          std::span<PortStatistics> stats, StatisticsOwner& owner) {
    const std::size_t ports = std::min(raw.size(), stats.size());
    SYSTEMTIME local;
    if (time.hourPending == SourceTimeBase::kNotStarted) {
        time.hourPending = 0;
        time.lastTick = platform::GetTickCount();
        platform::GetLocalTime(local);
        time.lastMinute = local.wMinute;
        time.lastHour = local.wHour;
        time.lastDay = local.wDay;
    }

    const std::uint32_t now = platform::GetTickCount();
    // A gap of more than two minutes, or a counter that stood still or wrapped, is no time.
    const std::uint32_t elapsed =
        now > time.lastTick && now - time.lastTick <= kMaxElapsedMs ? now - time.lastTick : 0;
    time.minuteMs += elapsed;
    for (std::size_t i = 0; i < ports; ++i) {
        UpdatePort(raw[i], stats[i], elapsed);
    }
    time.lastTick = now;

    platform::GetLocalTime(local);
    if (local.wMinute != time.lastMinute) {
        time.lastMinute = local.wMinute;
        for (std::size_t i = 0; i < ports; ++i) {
            MinuteStep(stats[i], time.minuteMs);
        }
        // The hour and the day are examined only when the minute changed.
        if (local.wHour != time.lastHour) {
            time.lastHour = local.wHour;
            time.hourPending = 1;
            if (local.wDay != time.lastDay) {
                time.dayPending = 1;
                time.lastDay = local.wDay;
            }
        }
        time.minuteMs = 0;
        CustomReportCheck(time, owner);
    }

    if (time.hourPending != 0) {
        time.hourPending = 0;
        for (std::size_t i = 0; i < ports; ++i) {
            HourStep(stats[i]);
        }
        if (EnoughDiskForReports(owner) && owner.Settings().hourlyReport) {
            owner.PostMonitorMessage(WM_HOURLY_REPORT);
        }
    }

    if (time.dayPending != 0) {
        time.dayPending = 0;
        for (std::size_t i = 0; i < ports; ++i) {
            DayStep(stats[i]);
        }
        if (EnoughDiskForReports(owner) && owner.Settings().dailyReport) {
            owner.PostMonitorMessage(WM_DAILY_REPORT);
        }
    }
}
