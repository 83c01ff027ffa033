// seltra2's window with the Zenith family against the real driver service: /ZENITH and Add
// Ports, counts set through the control socket exact at the next tick, the name without its
// "\DosDevices\" prefix, binding to the earlier family, polling only while a Zenith row is
// there, a failing query lost after three ticks with one box, and instances that change order.

#include <gtest/gtest.h>

#ifdef PORTCOUNTD_PATH

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "monitor/app/qt/main_frame.h"
#include "monitor/app/qt/seltra_view.h"
#include "monitor/drivers/driver_messages.h"
#include "monitor/resources/seltra_resources.h"
#include "monitor/table/qt/add_port_dlg.h"
#include "platform/ui/prompts.h"
#include "tests/monitor/drivers/wmi_service.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_config.h"

namespace {

// COM3 is listed by Hubline and Zenith alike.
constexpr const char* kCard =
    "hubline COM3  sim rate=0 vary=0 errors=0\n"
    "zenith  COM12 sim rate=0 vary=0 errors=0\n"
    "zenith  COM3  sim rate=0 vary=0 errors=0\n"
    "zenith  COM7  sim rate=0 vary=0 errors=0 lines=dtr,rts\n";

// Columns of the default set.
constexpr int kStatusColumn = 1;
constexpr int kTxTotalColumn = 8;
constexpr int kRxTotalColumn = 9;
constexpr int kTotalErrorsColumn = 10;
constexpr int kOverrunColumn = 11;
constexpr int kFramingColumn = 12;
constexpr int kParityColumn = 13;

class ZenithGui : public ::testing::Test {
  protected:
    void SetUp() override {
        FreshManagementCalls();
        const std::string programDir = config_.Root() + "/program";
        std::filesystem::create_directories(programDir);
        setenv("QUENBY_PROGRAM_DIR", programDir.c_str(), 1);
    }
    void TearDown() override {
        frame_.reset();
        unsetenv("QUENBY_PROGRAM_DIR");
    }

    void StartCard(const std::string& card) {
        std::ofstream(config_.Dir() + "/portcountd.conf") << card;
        ASSERT_TRUE(service_.Start()) << service_.Stderr();
    }
    void Control(const std::string& line) {
        const std::string answer = ControlAnswer(service_.Dir(), line);
        EXPECT_EQ(answer.rfind("ok", 0), 0u) << line << ": " << answer;
    }
    int Queries() const { return ServiceQueries(service_.Dir()); }

    CSeltraView& Start(const std::string& commandLine) {
        frame_ = std::make_unique<CMainFrame>(prompts_);
        frame_->View().InitialUpdate(commandLine);
        QCoreApplication::processEvents();
        return frame_->View();
    }
    // The tick, and the boxes it leaves for after it.
    void Tick() {
        frame_->View().PollTick();
        QCoreApplication::processEvents();
    }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        PortTable& table = frame_->View().Table();
        for (int i = 0; i < table.ShownItemCount(); ++i) {
            names.emplace_back(table.ShownText(i, 0));
        }
        return names;
    }
    std::string Cell(const std::string& port, int column) const {
        PortTable& table = frame_->View().Table();
        for (int i = 0; i < table.ShownItemCount(); ++i) {
            if (table.ShownText(i, 0) == port) {
                return std::string(table.ShownText(i, column));
            }
        }
        ADD_FAILURE() << "no row " << port;
        return {};
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const auto& record : prompts_.Records()) {
            texts.push_back(record.text);
        }
        return texts;
    }
    // Tools > Add Ports with "Driver" and only the Zenith family checked.
    void AddZenithPortsThroughTheDialog() {
        bool shown = false;
        QObject timers;
        std::function<void()> answer = [&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* dialog = dynamic_cast<CAddPortDlg*>(widget);
                if (dialog != nullptr && dialog->isVisible()) {
                    shown = true;
                    dialog->DriverButton()->click();
                    dialog->Zenith()->setChecked(true);
                    dialog->accept();
                    return;
                }
            }
            QTimer::singleShot(10, &timers, answer);
        };
        QTimer::singleShot(0, &timers, answer);
        frame_->View().OnCommand(ID_TOOLS_ADD_PORTS);
        QCoreApplication::processEvents();
        EXPECT_TRUE(shown);
    }

    TempConfig config_;
    ServiceProcess service_;
    platform::ScriptedPrompts prompts_;
    std::unique_ptr<CMainFrame> frame_;
};

TEST_F(ZenithGui, TheSwitchShowsEveryPortWithExactCountsAtTheNextTick) {
    ASSERT_NO_FATAL_FAILURE(StartCard(kCard));
    CSeltraView& view = Start("/ZENITH");
    EXPECT_TRUE(Messages().empty());
    // The instances name "\DosDevices\COM12" and so on; COM3 belongs to Hubline.
    EXPECT_EQ(Names(), (std::vector<std::string>{"COM3", "COM7", "COM12"}));
    EXPECT_EQ(view.Table().ZenithRowCount(), 2);

    Control("set zenith COM7 tx=4000000000 rx=1234 overrun=65534 buffer=3 framing=70000 parity=2");
    Control("set zenith COM12 tx=10 rx=20");
    Control("set hubline COM3 tx=5 rx=6");
    Control("set zenith COM3 tx=99 rx=99");
    Tick();
    struct Row {
        const char* port;
        std::vector<std::string> cells;  // TxTotal, RxTotal, Total, Overrun, Framing, Parity
    } rows[] = {
        {"COM7", {"4000000000", "1234", "4467", "1", "4464", "2"}},
        {"COM12", {"10", "20", "0", "0", "0", "0"}},
        {"COM3", {"5", "6", "0", "0", "0", "0"}},  // Hubline's counts, not Zenith's
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.port);
        std::vector<std::string> cells;
        for (const int c : {kTxTotalColumn, kRxTotalColumn, kTotalErrorsColumn, kOverrunColumn,
                            kFramingColumn, kParityColumn}) {
            cells.push_back(Cell(row.port, c));
        }
        EXPECT_EQ(cells, row.cells);
    }
    EXPECT_EQ(Cell("COM7", kStatusColumn), "OPEN");
    EXPECT_TRUE(Messages().empty());
}

TEST_F(ZenithGui, AddPortsFindsTheFamilyAndZenithIsPolledOnlyWhileItHasRows) {
    ASSERT_NO_FATAL_FAILURE(StartCard(kCard));
    CSeltraView& view = Start("/HUBLINE");
    ASSERT_EQ(Names(), (std::vector<std::string>{"COM3"}));
    const int atStart = Queries();
    Tick();
    Tick();
    EXPECT_EQ(Queries(), atStart);  // no Zenith row: the family is not asked

    AddZenithPortsThroughTheDialog();
    EXPECT_EQ(Names(), (std::vector<std::string>{"COM3", "COM7", "COM12"}));
    Control("set zenith COM12 tx=77");
    Tick();
    EXPECT_EQ(Queries(), atStart + 1);
    EXPECT_EQ(Cell("COM12", kTxTotalColumn), "77");

    // The rows go again: so does the polling.
    for (const char* port : {"COM12", "COM7"}) {
        const auto names = Names();
        view.selectRow(
            static_cast<int>(std::find(names.begin(), names.end(), port) - names.begin()));
        view.OnCommand(ID_ROW_REMOVE);
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(Names(), (std::vector<std::string>{"COM3"}));
    Tick();
    EXPECT_EQ(Queries(), atStart + 1);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(ZenithGui, AFailingQueryIsTriedAtThreeTicksThenOneBoxAndTheRowsKeepTheirCounts) {
    ASSERT_NO_FATAL_FAILURE(StartCard(kCard));
    Start("/ZENITH");
    Control("set zenith COM7 tx=300 rx=400");
    Tick();
    ASSERT_EQ(Cell("COM7", kTxTotalColumn), "300");

    Control("wmi fail query 0x80041001");
    Control("set zenith COM7 tx=500 rx=600");
    const int before = Queries();
    for (int tick = 1; tick <= 3; ++tick) {
        Tick();
        EXPECT_EQ(Queries(), before + tick);
    }
    ASSERT_EQ(prompts_.Records().size(), 1u);
    EXPECT_EQ(prompts_.Records()[0].text, kZenithLostText);
    EXPECT_EQ(prompts_.Records()[0].caption, "Seltra2 - Warning...");
    EXPECT_EQ(prompts_.Records()[0].style & MB_ICONMASK, MB_ICONSTOP);

    Control("wmi reset");
    for (int tick = 0; tick < 3; ++tick) {
        Tick();
    }
    EXPECT_EQ(Queries(), before + 3);
    EXPECT_EQ(prompts_.Records().size(), 1u);
    EXPECT_EQ(Names(), (std::vector<std::string>{"COM3", "COM7", "COM12"}));
    EXPECT_EQ(Cell("COM7", kTxTotalColumn), "300");
    EXPECT_EQ(Cell("COM7", kRxTotalColumn), "400");
}

TEST_F(ZenithGui, InstancesInAnotherOrderStillGiveEveryPortItsOwnCounts) {
    ASSERT_NO_FATAL_FAILURE(StartCard(kCard + std::string("zenith COM9 sim rate=0 vary=0\n")));
    Start("/ZENITH");
    ASSERT_EQ(Names(), (std::vector<std::string>{"COM3", "COM7", "COM9", "COM12"}));
    Control("wmi order COM9 COM7 COM12");
    Control("wmi hide COM3");  // the Zenith COM3 is not this table's anyway
    Control("set zenith COM12 tx=12");
    Control("set zenith COM7 tx=7");
    Control("set zenith COM9 tx=9");
    Tick();
    EXPECT_EQ(Cell("COM12", kTxTotalColumn), "12");
    EXPECT_EQ(Cell("COM7", kTxTotalColumn), "7");
    EXPECT_EQ(Cell("COM9", kTxTotalColumn), "9");
    // The listing's first port goes missing: the others go on.
    Control("wmi hide COM12");
    Control("set zenith COM7 tx=70");
    Control("set zenith COM9 tx=90");
    Tick();
    EXPECT_EQ(Cell("COM12", kTxTotalColumn), "12");
    EXPECT_EQ(Cell("COM7", kTxTotalColumn), "70");
    EXPECT_EQ(Cell("COM9", kTxTotalColumn), "90");
    EXPECT_TRUE(Messages().empty());
}

TEST_F(ZenithGui, AnAbsentFamilyIsReportedForTheSwitchAndForAddPorts) {
    ASSERT_NO_FATAL_FAILURE(StartCard("hubline COM3 sim rate=0\n"));
    Start("/ZENITH /HUBLINE");
    EXPECT_EQ(Names(), (std::vector<std::string>{"COM3"}));
    EXPECT_EQ(Messages(), (std::vector<std::string>{kUnableZenithText}));
    EXPECT_EQ(prompts_.Records()[0].caption, "Seltra2 - Warning...");
    AddZenithPortsThroughTheDialog();
    EXPECT_EQ(Messages(), (std::vector<std::string>{kUnableZenithText, kUnableZenithText}));
    EXPECT_EQ(Names(), (std::vector<std::string>{"COM3"}));
}

}  // namespace

#else

TEST(ZenithGui, NeedsTheDriverService) {
    GTEST_SKIP() << "the driver service is not part of this build";
}

#endif
