#pragma once
// What a counter source needs from the table view that owns it: somewhere to post the report
// messages, somewhere to show its message boxes, the report settings of the moment and the free
// space on the drive the reports are written to.

#include <string>

#include "monitor/drivers/driver_messages.h"
#include "monitor/stats/report_settings.h"
#include "platform/win/win_types.h"

enum class SourceFamily { Hubline, Talon, Zenith };

class CounterSourceOwner {
  public:
    virtual ~CounterSourceOwner() = default;

    // Posts msg with wParam 0 and lParam 0 (WM_HOURLY_REPORT, WM_DAILY_REPORT,
    // WM_CUSTOM_REPORT).
    virtual void PostMonitorMessage(UINT msg) = 0;
    // A modal message box without owner window.
    virtual void ShowMessageBox(const std::string& text, const std::string& caption, UINT icon) = 0;
    // A failed request of `family`'s driver, as its "Driver Communication Error!" text. The
    // default shows it at once; an owner that polls on a timer may keep one box per family.
    virtual void ReportDriverError(SourceFamily family, const std::string& text) {
        static_cast<void>(family);
        ShowMessageBox(text, kDriverWarningCaption, MB_ICONHAND);
    }
    virtual ReportSettings Settings() = 0;
    // Free bytes on the current drive, 0 when it cannot be read. The default asks the system.
    virtual double FreeDiskBytes();
};
