#pragma once
// Where the reports go: the "Reports" folder in the program directory, one file each for the
// hourly and the daily report (rewritten in place) and a file of its own for every custom
// report, named after the local time it was written.

#include <optional>
#include <string>

#include "platform/time/clock.h"
#include "platform/win/win_types.h"

enum class ReportKind { Hourly, Daily, Custom };

// The report a private message asks for; nothing for another message.
std::optional<ReportKind> ReportKindOf(UINT message);

// The program directory's "Reports" folder, without a trailing slash.
std::string ReportsFolder();

// The report's file name. A custom report's is "Seltra2_" followed by the local time as
// "%B%d_%H%M" with the English month names, whatever the user's locale ("Seltra2_May16_1838.sls").
std::string ReportFileName(ReportKind kind, const SYSTEMTIME& localTime);

// The report's path: the Reports folder and the file name. The time only names the file: a
// folder whose name happens to contain "Custom" is left as it is.
std::string ReportPath(ReportKind kind, const SYSTEMTIME& localTime);

// Free bytes on the file system the reports are written to: the Reports folder's, or the
// program directory's while the folder does not exist yet; 0 when neither can be examined.
double ReportsFreeBytes();
