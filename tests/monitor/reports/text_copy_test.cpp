#include "monitor/reports/text_copy.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "monitor/table/columns.h"
#include "tests/monitor/reports/report_fixtures.h"

namespace {

namespace fs = std::filesystem;

TEST(TextCopyPath, ReplacesOnlyTheFileNamesOwnExtension) {
    struct Case {
        const char* session;
        const char* copy;
    };
    for (const Case& c : {
             Case{"/data/Monday.sls", "/data/Monday.txt"},
             Case{"Monday.sls", "Monday.txt"},
             Case{"/data/Reports/Seltra2_May16_1838.sls", "/data/Reports/Seltra2_May16_1838.txt"},
             // A dot in a folder name is not the file's extension.
             Case{"/data/v1.2/Monday", "/data/v1.2/Monday.txt"},
             Case{"/data/.hidden", "/data/.hidden.txt"},
             // The copy of a session called .txt must not be the session itself.
             Case{"/data/week.txt", "/data/week.txt.txt"},
         }) {
        EXPECT_EQ(TextCopyPath(c.session), c.copy) << c.session;
    }
}

TEST(TextCopyText, MatchesTheGoldenCopies) {
    ReportTable t;
    FillDefaultTable(t);
    const auto rows = TextCopyRowsOf(t.table);
    EXPECT_EQ(TextCopyText(rows, TextCopyColumns("Selected Version", t.table.ColumnKinds()), 2000),
              Golden("default_columns.txt"));
    // Anything but exactly "Full Version" is the selected version.
    EXPECT_EQ(TextCopyText(rows, TextCopyColumns("full version", t.table.ColumnKinds()), 2000),
              Golden("default_columns.txt"));

    // A value in every field: a closed port whose lines still show from their own bits, 16-bit
    // error counts at their limits, and the carrier times as hours, minutes and seconds.
    ReportTable full;
    PortRow& row = full.AddBound("COM17");
    RawPortCounters& raw = *row.Counters();
    raw = RawPortCounters{4000000000u, 17, 1500, 65535, 3, 4, 65534, 0x0029};
    PortStatistics& s = *row.Statistics();
    s.TxTotal = 4294967295u;
    s.OverrunErrors = 65535;
    s.FramingErrors = 1;
    s.ParityErrors = 2;
    s.TxDelta = 100;
    s.RxDelta = 300;
    for (int kind = 22; kind <= 52; ++kind) {
        s.*Column(kind).statistics32 = static_cast<std::uint32_t>(kind) * 1001;
    }
    s.CDRunTime = 3723000;  // ms
    s.CDHourRunTime = 59;
    s.CDDayRunTime = 90061;
    s.CDHourRunTimeWrk = 61000;  // ms
    s.CDDayRunTimeWrk = 3600;
    const auto all = TextCopyColumns("Full Version", {});
    ASSERT_EQ(all.size(), 58u);
    EXPECT_EQ(TextCopyText(TextCopyRowsOf(full.table), all, 2000), Golden("full_version.txt"));
}

TEST(WriteTextCopy, NeverReplacesTheSessionAndLeavesNothingHalfWritten) {
    TempProgramDir dir;
    ReportTable t;
    FillDefaultTable(t);
    const auto rows = TextCopyRowsOf(t.table);
    const auto columns = TextCopyColumns("", t.table.ColumnKinds());

    // Beside the session, with the golden text.
    const std::string session = dir.Path("Monday.sls");
    std::ofstream(session) << "session";
    ASSERT_EQ(WriteTextCopy(session, rows, columns, 2000), TextCopyResult::Ok);
    EXPECT_EQ(ReadText(dir.Path("Monday.txt")), Golden("default_columns.txt"));

    // A copy's name that is a link to the session itself is refused.
    const std::string linked = dir.Path("Linked.sls");
    std::ofstream(linked) << "linked session";
    fs::create_symlink(linked, dir.Path("Linked.txt"));
    EXPECT_EQ(WriteTextCopy(linked, rows, columns, 2000), TextCopyResult::SameFile);
    EXPECT_EQ(ReadText(linked), "linked session");

    // A copy that cannot take the copy's name fails, and no temporary file is left behind.
    fs::create_directory(dir.Path("Busy.txt"));
    EXPECT_EQ(WriteTextCopy(dir.Path("Busy.sls"), rows, columns, 2000),
              TextCopyResult::CannotWrite);
    EXPECT_EQ(WriteTextCopy(dir.Path("missing/x.sls"), rows, columns, 2000),
              TextCopyResult::CannotWrite);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Busy.txt", "Linked.sls", "Linked.txt", "Monday.sls",
                                               "Monday.txt"}));
}

}  // namespace
