#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "terminal/session/statistics_report.h"

namespace {

TEST(ReportTextTest, TimeSpans) {
    const std::vector<std::pair<std::int64_t, std::string>> cases = {
        {0, "0:00:00:00"},     {5 * 60 + 12, "0:00:05:12"},
        {59, "0:00:00:59"},    {60, "0:00:01:00"},
        {3599, "0:00:59:59"},  {3600, "0:01:00:00"},
        {86399, "0:23:59:59"}, {86400, "1:00:00:00"},
        {90061, "1:01:01:01"}, {100 * 86400 + 7, "100:00:00:07"},
        {-5, "0:00:00:00"},
    };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(FormatTimeSpan(seconds), text) << seconds;
}

constexpr char kEmptyReport[] =
    "Total time : 0:00:00:00\nTotal time sending  : 0:00:00:00\n"
    "Total time receiving: 0:00:00:00\n___________________________\n"
    "Total Bytes Transfered: 0K\nTotal Bytes Received  : 0K\n___________________________\n"
    "Total Errors     : 0\nParity Errors    : 0\nFraming Errors: 0\nOverrun Errors: 0\n";

TEST(ReportTextTest, NothingSentOrReceived) {
    ReportTimes times;
    UpdateReportTimes(times, {}, 1'700'000'000);
    EXPECT_EQ(times.paintTime, 1'700'000'000);
    EXPECT_EQ(FormatReport(times, {}), kEmptyReport);
}

TEST(ReportTextTest, KnownNumbers) {
    ReportActivity activity;
    activity.isOpen = true;
    activity.sending = true;
    activity.receiving = true;
    activity.openTime = 1000;
    activity.sendStartTime = 1000 + 60;
    activity.receiveStartTime = 1000 + 3600;
    ReportTimes times;
    UpdateReportTimes(times, activity, 1000 + 86400 + 3723);

    ReportCounters counters;
    counters.kbWritten = 1024.0 / 1024.0;
    counters.kbRead = 512.0 / 1024.0;
    counters.totalErrors = 7;
    counters.parityErrors = 1;
    counters.framingErrors = 2;
    counters.overrunErrors = 4;
    EXPECT_EQ(FormatReport(times, counters),
              "Total time : 1:01:02:03\nTotal time sending  : 1:01:01:03\n"
              "Total time receiving: 1:00:02:03\n___________________________\n"
              "Total Bytes Transfered: 1K\nTotal Bytes Received  : 0.5K\n"
              "___________________________\n"
              "Total Errors     : 7\nParity Errors    : 1\nFraming Errors: 2\n"
              "Overrun Errors: 4\n");
}

// "%g": six significant digits, then the exponent form; counts past 2^31 stay positive.
TEST(ReportTextTest, LargeCounts) {
    ReportCounters counters;
    counters.kbWritten = 123456.7;
    counters.kbRead = 1234567.0;
    counters.totalErrors = 3'000'000'000u;
    const std::string text = FormatReport({}, counters);
    EXPECT_NE(text.find("Transfered: 123457K\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Received  : 1.23457e+06K\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Total Errors     : 3000000000\n"), std::string::npos) << text;
    EXPECT_LT(text.size(), kReportTextSize);
}

// A stopped activity keeps its time; the next start counts again from its own start time.
TEST(ReportTextTest, StoppedTimesStandStill) {
    ReportActivity activity;
    activity.isOpen = true;
    activity.openTime = 100;
    ReportTimes times;
    UpdateReportTimes(times, activity, 130);
    EXPECT_EQ(times.openElapsed, 30);

    activity.isOpen = false;  // closed
    UpdateReportTimes(times, activity, 500);
    EXPECT_EQ(times.openElapsed, 30);
    EXPECT_EQ(times.paintTime, 500);

    // The open sets the times to 0 and a new open time.
    times = ReportTimes{};
    activity.isOpen = true;
    activity.openTime = 600;
    UpdateReportTimes(times, activity, 602);
    EXPECT_EQ(times.openElapsed, 2);
    EXPECT_EQ(times.sendElapsed, 0);
    EXPECT_EQ(times.receiveElapsed, 0);

    // A clock set back gives no negative span.
    UpdateReportTimes(times, activity, 590);
    EXPECT_EQ(times.openElapsed, 0);
}

TEST(ReportTextTest, LinesToDraw) {
    const std::vector<std::string> lines = ReportLines(kEmptyReport);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines.front(), "Total time : 0:00:00:00");
    EXPECT_EQ(lines[3], "___________________________");
    EXPECT_EQ(lines.back(), "Overrun Errors: 0");
    EXPECT_EQ(ReportLines("a\n\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(ReportLines("").empty());
}

}  // namespace
