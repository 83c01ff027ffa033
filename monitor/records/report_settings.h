#pragma once
// The settings the statistics cycle reads at every tick: which reports are wanted and how many
// minutes lie between custom reports. The owner of the sources fills it from the stored
// settings, whose text values are read as numbers by their leading decimal digits.

#include <string_view>

struct ReportSettings {
    bool hourlyReport = true;
    bool dailyReport = true;
    bool customReport = false;
    int customReportInterval = 30;  // minutes; 0 or less never reports
};

// The number a stored text setting stands for: its leading decimal digits, 0 when there are
// none. Digits beyond what an int holds saturate instead of wrapping, so a mistyped
// "99999999999" never turns into a negative or small interval.
int LeadingNumber(std::string_view text);
