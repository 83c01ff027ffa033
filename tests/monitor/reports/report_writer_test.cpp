#include "monitor/reports/report_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "monitor/sessions/session_file.h"
#include "monitor/sessions/session_messages.h"
#include "platform/time/manual_clock.h"
#include "tests/monitor/reports/report_fixtures.h"

namespace {

namespace fs = std::filesystem;

class ReportWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetClockForTesting(&clock_);
        FillDefaultTable(t_);
    }
    void TearDown() override { platform::SetClockForTesting(nullptr); }

    std::vector<std::string> ReportFiles() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(dir_.Path("Reports"), ec)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempProgramDir dir_;
    platform::ManualClock clock_{0, platform::MakeSystemTime(2024, 5, 16, 18, 38)};
    ReportTable t_;
    ModalPrompts prompts_;
    ReportBoxes boxes_{prompts_};
    ReportWriter writer_{t_.table, boxes_};
};

TEST_F(ReportWriterTest, WritesTheTableAsASessionWithItsTextCopy) {
    const ReportOptions copy{true, "Selected Version", 2000};
    EXPECT_EQ(writer_.Write(ReportKind::Hourly, copy), ReportResult::Written);
    EXPECT_EQ(writer_.Write(ReportKind::Daily, ReportOptions{false, "", 2000}),
              ReportResult::Written);
    EXPECT_EQ(writer_.Write(ReportKind::Custom, copy), ReportResult::Written);
    EXPECT_EQ(ReportFiles(),
              (std::vector<std::string>{"Seltra2_Daily_Report.sls", "Seltra2_Hourly_Report.sls",
                                        "Seltra2_Hourly_Report.txt", "Seltra2_May16_1838.sls",
                                        "Seltra2_May16_1838.txt"}));
    const auto session = EncodeSession(t_.table);
    ASSERT_EQ(session.size(), 10u + 5 * 14 + 256 * 2);
    EXPECT_EQ(ReadText(dir_.Path("Reports/Seltra2_Hourly_Report.sls")),
              std::string(session.begin(), session.end()));
    EXPECT_EQ(ReadText(dir_.Path("Reports/Seltra2_Hourly_Report.txt")),
              Golden("default_columns.txt"));
    EXPECT_TRUE(prompts_.Texts().empty());

    // An empty table reports nothing.
    t_.table.ClearRows();
    fs::remove_all(dir_.Path("Reports"));
    EXPECT_EQ(writer_.Write(ReportKind::Hourly, copy), ReportResult::EmptyTable);
    EXPECT_FALSE(fs::exists(dir_.Path("Reports")));
}

TEST_F(ReportWriterTest, FailuresAreShownOneBoxAtATime) {
    // The Reports folder cannot be made: a file has its name.
    std::ofstream(dir_.Path("Reports")) << "in the way";
    const ReportOptions options{true, "Selected Version", 2000};
    prompts_.whileOpen = [&] {
        // Due while the first box is open: the same failure adds no box, another failure
        // waits for the open box to close.
        EXPECT_EQ(writer_.Write(ReportKind::Daily, options), ReportResult::CannotCreate);
        EXPECT_EQ(writer_.Write(ReportKind::Custom, options), ReportResult::CannotCreate);
        boxes_.Show("Another failure", kSessionWarningCaption, MB_OK | MB_ICONSTOP);
        EXPECT_EQ(prompts_.Count(), 1u);
    };
    EXPECT_EQ(writer_.Write(ReportKind::Hourly, options), ReportResult::CannotCreate);
    EXPECT_EQ(prompts_.maxOpen, 1);
    EXPECT_EQ(prompts_.Texts(),
              (std::vector<std::string>{kCannotCreateSessionText, "Another failure"}));
    // Once the boxes are closed, the next due report shows its failure again.
    EXPECT_EQ(writer_.Write(ReportKind::Hourly, options), ReportResult::CannotCreate);
    EXPECT_EQ(prompts_.Count(), 3u);
    EXPECT_EQ(ReadText(dir_.Path("Reports")), "in the way");
}

TEST_F(ReportWriterTest, AFailedTextCopyIsShownAndKeepsTheReport) {
    fs::create_directories(dir_.Path("Reports/Seltra2_Hourly_Report.txt"));
    EXPECT_EQ(writer_.Write(ReportKind::Hourly, ReportOptions{true, "Full Version", 2000}),
              ReportResult::TextCopyFailed);
    EXPECT_TRUE(fs::is_regular_file(dir_.Path("Reports/Seltra2_Hourly_Report.sls")));
    ASSERT_EQ(prompts_.Count(), 1u);
    EXPECT_EQ(prompts_.Records()[0].text, "Seltra2 Can't creat an Ascii file!\t");
    EXPECT_EQ(prompts_.Records()[0].caption, "Seltra2 - Warning...");
}

}  // namespace
