#pragma once
// What a counter source needs from the table view that owns it: what the statistics cycle
// needs (somewhere to post the report messages, the report settings of the moment and the free
// space on the drive the reports are written to) and somewhere to show its message boxes.

#include <string>

#include "monitor/drivers/driver_messages.h"
#include "monitor/stats/statistics_owner.h"
#include "platform/win/win_types.h"

enum class SourceFamily { Hubline, Talon, Zenith };

class CounterSourceOwner : public StatisticsOwner {
  public:
    // A modal message box without owner window.
    virtual void ShowMessageBox(const std::string& text, const std::string& caption, UINT icon) = 0;
    // A failed request of `family`'s driver, as its "Driver Communication Error!" text. The
    // default shows it at once; an owner that polls on a timer may keep one box per family.
    virtual void ReportDriverError(SourceFamily family, const std::string& text) {
        static_cast<void>(family);
        ShowMessageBox(text, kDriverWarningCaption, MB_ICONHAND);
    }
};
