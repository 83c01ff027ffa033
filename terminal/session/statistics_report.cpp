#include "terminal/session/statistics_report.h"

#include <cinttypes>
#include <cstdio>

namespace {

std::int64_t Elapsed(std::int64_t now, std::int64_t since) {
    return now > since ? now - since : 0;
}

}  // namespace

void UpdateReportTimes(ReportTimes& times, const ReportActivity& activity, std::int64_t now) {
    times.paintTime = now;
    if (activity.isOpen)
        times.openElapsed = Elapsed(now, activity.openTime);
    if (activity.sending)
        times.sendElapsed = Elapsed(now, activity.sendStartTime);
    if (activity.receiving)
        times.receiveElapsed = Elapsed(now, activity.receiveStartTime);
}

std::string FormatTimeSpan(std::int64_t seconds) {
    if (seconds < 0)
        seconds = 0;
    char text[48];
    std::snprintf(text, sizeof text, "%" PRId64 ":%02d:%02d:%02d", seconds / 86400,
                  static_cast<int>(seconds % 86400 / 3600), static_cast<int>(seconds % 3600 / 60),
                  static_cast<int>(seconds % 60));
    return text;
}

std::string FormatReport(const ReportTimes& times, const ReportCounters& counters) {
    const std::string open = FormatTimeSpan(times.openElapsed);
    const std::string sending = FormatTimeSpan(times.sendElapsed);
    const std::string receiving = FormatTimeSpan(times.receiveElapsed);
    char text[kReportTextSize];
    // The counts are unsigned: a count past 2^31 must not show as negative.
    std::snprintf(text, sizeof text,
                  "Total time : %s\nTotal time sending  : %s\nTotal time receiving: %s\n"
                  "___________________________\nTotal Bytes Transfered: %gK\n"
                  "Total Bytes Received  : %gK\n___________________________\n"
                  "Total Errors     : %u\nParity Errors    : %u\nFraming Errors: %u\n"
                  "Overrun Errors: %u\n",
                  open.c_str(), sending.c_str(), receiving.c_str(), counters.kbWritten,
                  counters.kbRead, static_cast<unsigned>(counters.totalErrors),
                  static_cast<unsigned>(counters.parityErrors),
                  static_cast<unsigned>(counters.framingErrors),
                  static_cast<unsigned>(counters.overrunErrors));
    return text;
}

std::vector<std::string> ReportLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = text.find('\n', begin);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(begin));
            break;
        }
        lines.emplace_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return lines;
}
