#pragma once
// What the statistics cycle needs from the owner of the counters it updates: somewhere to post
// the report messages, the report settings of the moment and the free space on the drive the
// reports are written to. The owner of the counter sources is one.

#include "monitor/records/report_settings.h"
#include "platform/win/win_types.h"

class StatisticsOwner {
  public:
    virtual ~StatisticsOwner() = default;

    // Posts msg with wParam 0 and lParam 0 (WM_HOURLY_REPORT, WM_DAILY_REPORT,
    // WM_CUSTOM_REPORT).
    virtual void PostMonitorMessage(UINT msg) = 0;
    virtual ReportSettings Settings() = 0;
    // Free bytes on the current drive, 0 when it cannot be read. The default asks the system.
    virtual double FreeDiskBytes();
};
