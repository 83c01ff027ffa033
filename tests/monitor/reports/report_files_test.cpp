#include "monitor/reports/report_files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "monitor/stats/monitor_messages.h"
#include "platform/time/manual_clock.h"
#include "tests/monitor/reports/report_fixtures.h"

namespace {

TEST(ReportFiles, NamesEachReportAndEveryCustomReportAfterItsLocalTime) {
    const SYSTEMTIME may = platform::MakeSystemTime(2024, 5, 16, 18, 38);
    EXPECT_EQ(ReportFileName(ReportKind::Hourly, may), "Seltra2_Hourly_Report.sls");
    EXPECT_EQ(ReportFileName(ReportKind::Daily, may), "Seltra2_Daily_Report.sls");
    struct Case {
        SYSTEMTIME time;
        const char* name;
    };
    for (const Case& c : {
             Case{may, "Seltra2_May16_1838.sls"},
             Case{platform::MakeSystemTime(2025, 1, 1, 0, 5), "Seltra2_January01_0005.sls"},
             Case{platform::MakeSystemTime(2025, 9, 30, 9, 0), "Seltra2_September30_0900.sls"},
             Case{platform::MakeSystemTime(2025, 12, 31, 23, 59), "Seltra2_December31_2359.sls"},
         }) {
        EXPECT_EQ(ReportFileName(ReportKind::Custom, c.time), c.name);
    }
    EXPECT_EQ(ReportKindOf(WM_HOURLY_REPORT), ReportKind::Hourly);
    EXPECT_EQ(ReportKindOf(WM_DAILY_REPORT), ReportKind::Daily);
    EXPECT_EQ(ReportKindOf(WM_CUSTOM_REPORT), ReportKind::Custom);
    EXPECT_FALSE(ReportKindOf(WM_POLLING_STATE));
}

TEST(ReportFiles, TheTimeNamesOnlyTheFileNotAFolderCalledCustom) {
    TempProgramDir base;
    const std::string programDir = base.Path("Custom_Tools");
    std::filesystem::create_directory(programDir);
    setenv("QUENBY_PROGRAM_DIR", programDir.c_str(), 1);
    EXPECT_EQ(ReportPath(ReportKind::Custom, platform::MakeSystemTime(2024, 5, 16, 18, 38)),
              programDir + "/Reports/Seltra2_May16_1838.sls");
}

TEST(ReportFiles, FreeSpaceIsMeasuredWhereTheReportsGo) {
    TempProgramDir dir;
    // The working directory has room, but the program directory cannot be examined: there is
    // nowhere to write a report, so no space counts as free.
    setenv("QUENBY_PROGRAM_DIR", dir.Path("gone").c_str(), 1);
    EXPECT_EQ(ReportsFreeBytes(), 0.0);
    // Once it exists, and again once it has its Reports folder, there is room.
    setenv("QUENBY_PROGRAM_DIR", dir.Path().c_str(), 1);
    EXPECT_GT(ReportsFreeBytes(), 0.0);
    std::filesystem::create_directory(dir.Path("Reports"));
    EXPECT_GT(ReportsFreeBytes(), 0.0);
}

}  // namespace
