#pragma once
// The statistics report a port window shows instead of its display: how long the port has been
// open, sending and receiving, the kilobytes moved and the line errors counted. Pure functions
// over small records, so the window only supplies the clock and the counters and draws lines.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/win_types.h"
#include "terminal/transport/port_transport.h"

// The report's text is kept in a buffer of this size, terminator included.
constexpr std::size_t kReportTextSize = 512;

// The three activities and when each last started (seconds since 1970).
struct ReportActivity {
    bool isOpen = false;
    bool sending = false;
    bool receiving = false;
    std::int64_t openTime = 0;
    std::int64_t sendStartTime = 0;
    std::int64_t receiveStartTime = 0;
};

// The times the report shows. An activity that is off keeps the value it was last given, so it
// stands still after a stop; the open sets all three to 0.
struct ReportTimes {
    std::int64_t paintTime = 0;
    std::int64_t openElapsed = 0;
    std::int64_t sendElapsed = 0;
    std::int64_t receiveElapsed = 0;
};

// The transport's counts as the report reads them.
using ReportCounters = TransportCounts;

// Brings the times up to `now`. A start time after `now` (the clock was set back) counts as 0
// seconds rather than a negative span.
void UpdateReportTimes(ReportTimes& times, const ReportActivity& activity, std::int64_t now);

// "%D:%H:%M:%S": whole days, then hours, minutes and seconds with two digits each (0:00:05:12).
// Negative spans show as 0:00:00:00.
std::string FormatTimeSpan(std::int64_t seconds);

// The report's text, at most kReportTextSize - 1 characters, lines ended by "\n".
std::string FormatReport(const ReportTimes& times, const ReportCounters& counters);

// The lines to draw from the top left, one per "\n"; no line after the final "\n".
std::vector<std::string> ReportLines(std::string_view text);
