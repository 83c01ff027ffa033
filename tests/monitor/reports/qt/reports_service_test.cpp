// The reports in the monitor's window against the real driver service, on a clock the test
// moves: crossing an hour, midnight and a custom interval writes the due reports (with text
// copies when "Ascii Copy" is on), and a program directory that takes no files gives the
// writer's message at each due report and changes nothing else.

#include <gtest/gtest.h>

#ifdef PORTCOUNTD_PATH

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "monitor/app/qt/main_frame.h"
#include "monitor/app/qt/seltra_view.h"
#include "monitor/resources/seltra_resources.h"
#include "monitor/sessions/session_file.h"
#include "platform/time/manual_clock.h"
#include "platform/ui/prompts.h"
#include "tests/monitor/reports/report_fixtures.h"
#include "tests/support/qt/pump_until.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_config.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Two ports whose counters move only when the test sets them: COM2 open with every line up,
// COM7 closed.
constexpr const char* kQuietCard =
    "hubline COM2 sim rate=0 vary=0 errors=0\n"
    "hubline COM7 sim rate=0 vary=0 errors=0 open=no\n";

constexpr const char* kCannotCreate = "Seltra2 Cannot create the selected file!\t";

// A few turns of a nested event loop, as a box the user answers at once: the events already
// waiting are handled while it is open (with two families polled, each report is due twice at
// a boundary).
void RunModalLoop() {
    QEventLoop loop;
    QTimer turns;
    int left = 5;
    QObject::connect(&turns, &QTimer::timeout, [&] {
        if (--left == 0) {
            loop.quit();
        }
    });
    turns.start(0);
    loop.exec();
}

std::vector<std::string> Listing(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(dir, ec)) {
        names.push_back(fs::relative(entry.path(), dir).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class ReportsService : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetClockForTesting(&clock_);
        std::ofstream(config_.Dir() + "/portcountd.conf") << kQuietCard;
        ASSERT_TRUE(service_.Start()) << service_.Stderr();
    }
    void TearDown() override {
        frame_.reset();
        platform::SetClockForTesting(nullptr);
    }

    // The window with both ports; polling runs only when the test says (PollTick), at the
    // 2-second interval the throughput is computed with.
    CSeltraView& Start(const std::function<void(SeltraSettings&)>& configure) {
        prompts_.eachBox = RunModalLoop;
        frame_ = std::make_unique<CMainFrame>(prompts_);
        configure(frame_->Settings());
        frame_->View().InitialUpdate("/HUBLINE");
        frame_->View().StopTimer();
        return frame_->View();
    }
    void Set(const char* port, int tx, int rx) {
        EXPECT_EQ(service_.Control({"set", "hubline", port, "tx=" + std::to_string(tx),
                                    "rx=" + std::to_string(rx)}),
                  0)
            << service_.ControlErrors();
    }
    // One tick a minute later, and the events it posted.
    void NextMinute(CSeltraView& view) {
        clock_.Advance(60s);
        view.PollTick();
        QCoreApplication::processEvents();
    }
    std::string Reports(const std::string& name) const { return dir_.Path("Reports/" + name); }

    TempConfig config_;
    ServiceProcess service_;
    TempProgramDir dir_;
    platform::ManualClock clock_{1000, platform::MakeSystemTime(2024, 5, 16, 23, 58)};
    ModalPrompts prompts_;
    std::unique_ptr<CMainFrame> frame_;
};

TEST_F(ReportsService, TheClockWritesTheDueReportsWithTheirTextCopies) {
    CSeltraView& view = Start([](SeltraSettings& s) {
        s.asciiCopy = 1;
        s.customReport = 1;
        s.customReportInterval = "2";
    });
    ASSERT_EQ(view.Table().RowCount(), 2);
    Set("COM2", 1000, 500);
    view.PollTick();  // 23:58, the clock starts
    Set("COM2", 1600, 500);
    NextMinute(view);  // 23:59: one custom minute of two, no boundary
    EXPECT_FALSE(fs::exists(dir_.Path("Reports")));

    Set("COM2", 1600, 800);
    NextMinute(view);  // midnight: the custom interval, the hour and the day end together
    ASSERT_TRUE(PumpUntil([&] { return fs::exists(Reports("Seltra2_Daily_Report.txt")); }));
    EXPECT_EQ(Listing(dir_.Path("Reports")),
              (std::vector<std::string>{"Seltra2_Daily_Report.sls", "Seltra2_Daily_Report.txt",
                                        "Seltra2_Hourly_Report.sls", "Seltra2_Hourly_Report.txt",
                                        "Seltra2_May17_0000.sls", "Seltra2_May17_0000.txt"}));
    for (const char* name :
         {"Seltra2_Hourly_Report", "Seltra2_Daily_Report", "Seltra2_May17_0000"}) {
        SCOPED_TRACE(name);
        const std::string bytes = ReadText(Reports(std::string(name) + ".sls"));
        EXPECT_EQ(bytes.size(), 10u + 5 * 14 + 256 * 2);
        const DecodedSession report = DecodeSession(
            std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
        ASSERT_EQ(report.status, SessionDecodeStatus::Complete);
        EXPECT_EQ(report.columns, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
        ASSERT_EQ(report.rows.size(), 2u);
        for (int i = 0; i < 2; ++i) {
            const PortRow& row = view.Table().Row(i);
            EXPECT_EQ(report.rows[i].name, row.Name());
            EXPECT_EQ(report.rows[i].counters, *row.Counters());
            EXPECT_EQ(report.rows[i].statistics, *row.Statistics());
        }
        EXPECT_EQ(ReadText(Reports(std::string(name) + ".txt")), Golden("service_midnight.txt"));
    }
    // A report leaves the session as it was, and says nothing when it succeeds.
    EXPECT_EQ(view.CurrentSession().SessionPath(), "");
    EXPECT_EQ(view.Table().RowCount(), 2);
    EXPECT_EQ(prompts_.Count(), 0u);

    // Save As writes the session's copy too, and Convert turns any session into one.
    prompts_.AnswerFileWith(dir_.Path("Monday.sls"));
    frame_->OnCommand(ID_FILE_SAVE_AS);
    EXPECT_EQ(ReadText(dir_.Path("Monday.txt")), Golden("service_midnight.txt"));
    fs::remove(dir_.Path("Monday.txt"));
    ASSERT_TRUE(frame_->Action(ID_FILE_CONVERT)->isEnabled());
    prompts_.AnswerFileWith(dir_.Path("Monday.sls"));
    frame_->OnCommand(ID_FILE_CONVERT);
    EXPECT_EQ(ReadText(dir_.Path("Monday.txt")), Golden("service_midnight.txt"));
    ASSERT_FALSE(prompts_.Records().empty());
    EXPECT_EQ(prompts_.Records().back().caption, "SELTRA2 - File Conversion");
}

TEST_F(ReportsService, AProgramDirectoryThatTakesNoFilesSaysSoAtEachDueReport) {
    struct Case {
        const char* what;
        std::function<bool()> prepare;  // false: the case cannot be played here
    };
    const std::vector<Case> cases = {
        {"read-only program directory",
         [&] {
             // The superuser writes through permission bits.
             return geteuid() != 0 && ::chmod(dir_.Path().c_str(), 0555) == 0;
         }},
        {"a file where the Reports folder goes",
         [&] {
             std::ofstream(dir_.Path("Reports")) << "not a folder";
             return true;
         }},
    };
    clock_.SetLocalTime(platform::MakeSystemTime(2024, 5, 16, 18, 59));
    CSeltraView& view = Start([](SeltraSettings& s) { s.dailyReport = 0; });
    view.PollTick();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.prepare()) {
            continue;
        }
        const auto before = Listing(dir_.Path());
        const std::size_t boxes = prompts_.Count();
        for (int hour = 1; hour <= 2; ++hour) {
            clock_.Advance(61min);
            view.PollTick();
            ASSERT_TRUE(PumpUntil([&] { return prompts_.Count() == boxes + hour; }));
            const auto box = prompts_.Records().back();
            EXPECT_EQ(box.text, kCannotCreate);
            EXPECT_EQ(box.caption, "Seltra2 - Warning...");
            EXPECT_EQ(box.style, MB_OK | MB_ICONSTOP);
        }
        QCoreApplication::processEvents();
        EXPECT_EQ(prompts_.Count(), boxes + 2);
        EXPECT_EQ(Listing(dir_.Path()), before);
        EXPECT_EQ(view.Table().RowCount(), 2);
        EXPECT_EQ(view.CurrentSession().SessionPath(), "");
        ::chmod(dir_.Path().c_str(), 0700);
        fs::remove(dir_.Path("Reports"));
    }
}

TEST_F(ReportsService, ReportsDueWhileABoxIsOpenDoNotStackBoxes) {
    std::ofstream(dir_.Path("Reports")) << "not a folder";
    CSeltraView& view = Start([](SeltraSettings& s) {
        s.customReport = 1;
        s.customReportInterval = "1";
    });
    view.PollTick();  // 23:58
    // The first failure's box stays open, its event loop running, while the polling ticks
    // make an hour of custom reports, an hourly and a daily report due (until 00:58).
    prompts_.whileOpen = [&] {
        QEventLoop loop;
        QTimer ticker;
        int minutes = 0;
        int idle = 0;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            if (minutes < 59) {
                ++minutes;
                clock_.Advance(60s);
                view.PollTick();
            } else if (++idle == 5) {
                loop.quit();  // the last tick's reports had their turns
            }
        });
        ticker.start(0);
        loop.exec();
    };
    NextMinute(view);  // 23:59
    ASSERT_TRUE(PumpUntil([&] { return prompts_.Count() >= 1 && prompts_.open == 0; }));
    QCoreApplication::processEvents();
    // Those due meanwhile said what the open box said: no box of their own.
    EXPECT_EQ(prompts_.Count(), 1u);
    // Once it is closed, the next due report (00:59) shows its failure again.
    NextMinute(view);
    ASSERT_TRUE(PumpUntil([&] { return prompts_.Count() == 2u; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(prompts_.Count(), 2u);
    EXPECT_EQ(prompts_.maxOpen, 1);
}

TEST_F(ReportsService, NoRoomWhereTheReportsGoMeansNoReport) {
    // The working directory has room; the program directory does not exist at all.
    setenv("QUENBY_PROGRAM_DIR", dir_.Path("gone").c_str(), 1);
    CSeltraView& view = Start([](SeltraSettings& s) {
        s.customReport = 1;
        s.customReportInterval = "1";
    });
    view.PollTick();
    for (int minute = 0; minute < 61; ++minute) {
        NextMinute(view);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(prompts_.Count(), 0u);
    EXPECT_FALSE(fs::exists(dir_.Path("gone")));
}

}  // namespace

#endif  // PORTCOUNTD_PATH
