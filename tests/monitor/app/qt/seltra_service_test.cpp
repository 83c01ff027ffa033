// The monitor's window against the real driver service: portcountd serves simulated ports that
// carry no traffic of their own, and the test sets their counters through the service's control
// socket, so every total, error count and throughput in the table has one exact expected value.
// Also the service failing a family's requests, counters that restart or wrap, and the print
// preview of a long table.

#include <gtest/gtest.h>

#ifdef PORTCOUNTD_PATH

#include <QApplication>
#include <QEventLoop>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "monitor/app/qt/main_frame.h"
#include "monitor/app/seltra_settings.h"
#include "monitor/app/qt/seltra_view.h"
#include "monitor/resources/seltra_resources.h"
#include "monitor/sessions/session.h"
#include "platform/ui/prompts.h"
#include "tests/support/qt/pump_until.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_config.h"

namespace {

using namespace std::chrono_literals;

// Five ports whose counters move only when the test sets them (rate 0, no variation, no
// errors), with different line states so that the status columns tell the rows apart.
constexpr const char* kQuietCard =
    "# family  port   backing\n"
    "hubline   COM12  sim rate=0 vary=0 errors=0\n"
    "hubline   COM2   sim rate=0 vary=0 errors=0 lines=dtr,rts cd=no\n"
    "hubline   COM7   sim rate=0 vary=0 errors=0 open=no\n"
    "talon     COM9   sim rate=0 vary=0 errors=0 lines=none\n"
    "talon     COM5   sim rate=0 vary=0 errors=0 lines=cts,dsr\n";

constexpr const char* kDriverError31 = "Driver Communication Error!\t\n( Error Code 31 )";

// Columns of the default set.
constexpr int kStatusColumn = 1;
constexpr int kThroughputColumn = 7;
constexpr int kTxTotalColumn = 8;
constexpr int kRxTotalColumn = 9;
constexpr int kTotalErrorsColumn = 10;
constexpr int kOverrunColumn = 11;
constexpr int kFramingColumn = 12;
constexpr int kParityColumn = 13;

std::string Throughput(std::uint32_t bitsPerSecond) {
    return std::to_string(bitsPerSecond) + "*$";
}

std::string RunCommand(const std::string& command) {
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return text;
    }
    char buffer[4096];
    while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) {
        text.append(buffer, n);
    }
    pclose(pipe);
    return text;
}

// Answers like the scripted service, but a "Driver Communication Error!" box stays open as an
// unattended modal box does: the first one runs the test's scenario inside its own event loop
// before it is dismissed. A box that opens while another is still open is only counted.
class UnattendedPrompts : public platform::ScriptedPrompts {
  public:
    int MessageBox(const std::string& text, const std::string& caption, UINT style) override {
        const int answer = ScriptedPrompts::MessageBox(text, caption, style);
        if (text.rfind("Driver Communication Error!", 0) != 0) {
            return answer;
        }
        ++open;
        maxOpen = std::max(maxOpen, open);
        if (whileOpen) {
            const auto scenario = std::move(whileOpen);
            whileOpen = nullptr;
            scenario();
        }
        --open;
        return answer;
    }

    std::function<void()> whileOpen;
    int open = 0;
    int maxOpen = 0;
};

class SeltraService : public ::testing::Test {
  protected:
    void SetUp() override {
        programDir_ = config_.Root() + "/program";
        std::filesystem::create_directories(programDir_);
        setenv("QUENBY_PROGRAM_DIR", programDir_.c_str(), 1);
    }
    void TearDown() override {
        frame_.reset();
        unsetenv("QUENBY_PROGRAM_DIR");
    }

    // The service reads its card from portcountd.conf in the test's configuration directory.
    void StartCard(const std::string& card) {
        std::ofstream(config_.Dir() + "/portcountd.conf") << card;
        ASSERT_TRUE(service_.Start()) << service_.Stderr();
    }
    void StartService(std::vector<std::string> args) {
        ASSERT_TRUE(service_.Start(std::move(args))) << service_.Stderr();
    }

    // One control command through the service's own client, which returns once the service
    // has answered: the counters are set before the next poll asks for them.
    void Control(std::vector<std::string> words) {
        std::string line;
        for (const std::string& word : words) {
            line += " " + word;
        }
        EXPECT_EQ(service_.Control(std::move(words)), 0)
            << line << ": " << service_.ControlErrors();
    }

    // The frame on the real device seam: the sockets of QUENBY_DEVICE_DIR.
    CMainFrame& Start(const std::string& commandLine) {
        frame_ = std::make_unique<CMainFrame>(prompts_);
        frame_->View().InitialUpdate(commandLine);
        QCoreApplication::processEvents();  // the posted polling state reaches the frame
        return *frame_;
    }

    std::vector<std::string> Column(int column) const {
        std::vector<std::string> cells;
        PortTable& table = frame_->View().Table();
        for (int i = 0; i < table.ShownItemCount(); ++i) {
            cells.emplace_back(table.ShownText(i, column));
        }
        return cells;
    }
    // The shown text of the port's row; a port without a row fails the test.
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
    std::vector<platform::ScriptedPrompts::Record> Boxes() const { return prompts_.Records(); }

    TempConfig config_;
    ServiceProcess service_;
    std::string programDir_;
    platform::ScriptedPrompts prompts_;
    std::unique_ptr<CMainFrame> frame_;
};

TEST_F(SeltraService, BothFamiliesFillSortedRowsWhoseTotalsFollowTheService) {
    ASSERT_NO_FATAL_FAILURE(StartCard(kQuietCard));
    CMainFrame& frame = Start("/HUBLINE /TALON");
    CSeltraView& view = frame.View();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(Column(0), (std::vector<std::string>{"COM2", "COM5", "COM7", "COM9", "COM12"}));
    EXPECT_EQ(view.model()->rowCount(), 5);
    QStringList headers;
    for (int c = 0; c < view.model()->columnCount(); ++c) {
        headers << view.model()->headerData(c, Qt::Horizontal).toString();
    }
    EXPECT_EQ(
        headers,
        (QStringList{QStringLiteral("Port Name"), QStringLiteral("Status"), QStringLiteral("CTS"),
                     QStringLiteral("DSR"), QStringLiteral("CD"), QStringLiteral("RTS"),
                     QStringLiteral("DTR"), QStringLiteral("Actual Throughput"),
                     QStringLiteral("TxTotal"), QStringLiteral("RxTotal"),
                     QStringLiteral("Total Errors"), QStringLiteral("OverrunErrors"),
                     QStringLiteral("FramingErrors"), QStringLiteral("ParityErrors")}));
    EXPECT_EQ(frame.PaneText(ID_INDICATOR_POLLING), QStringLiteral("Polling timer is ON"));
    ASSERT_EQ(view.PollMs(), 2000);  // the throughputs below divide by 2 s per busy direction

    // What the driver has counted at each poll, and the throughput the poll shows:
    // (tx delta + rx delta) x 10 bits over 2 s for each direction that carried data.
    struct Poll {
        int poll;
        const char* family;
        const char* port;
        std::uint32_t tx;
        std::uint32_t rx;
        std::uint32_t throughput;
    } polls[] = {
        {1, "hubline", "COM2", 1000, 0, 5000},           // one busy direction: 10000 / 2
        {1, "talon", "COM5", 300, 500, 2000},            // both: 8000 / 4
        {1, "hubline", "COM7", 0, 0, 0},                 // nothing moved
        {1, "talon", "COM9", 0, 777, 3885},              // 7770 / 2
        {1, "hubline", "COM12", 115200, 11520, 316800},  // 1267200 / 4
        {2, "hubline", "COM2", 1000, 0, 0},              // unchanged since the last poll
        {2, "talon", "COM5", 400, 500, 500},             // only tx moved: 1000 / 2
        {2, "hubline", "COM7", 20, 20, 100},             // a closed port still counts: 400 / 4
        {2, "talon", "COM9", 1, 778, 5},                 // 20 / 4
        {2, "hubline", "COM12", 117504, 11520, 11520},   // 23040 / 2
        {3, "hubline", "COM2", 1010, 3, 32},             // 130 / 4, rounded down
        {3, "talon", "COM5", 400, 500, 0},               // unchanged
        {3, "hubline", "COM7", 20, 21, 5},               // 10 / 2
        {3, "talon", "COM9", 1, 778, 0},                 // unchanged
        {3, "hubline", "COM12", 117505, 11521, 5},       // 20 / 4
    };
    for (int poll = 1; poll <= 3; ++poll) {
        for (const Poll& p : polls) {
            if (p.poll == poll) {
                Control({"set", p.family, p.port, "tx=" + std::to_string(p.tx),
                         "rx=" + std::to_string(p.rx)});
            }
        }
        view.PollTick();
        for (const Poll& p : polls) {
            if (p.poll != poll) {
                continue;
            }
            SCOPED_TRACE(std::string(p.port) + " after poll " + std::to_string(poll));
            // The counts only grew, so each total is everything the service counted.
            EXPECT_EQ(Cell(p.port, kTxTotalColumn), std::to_string(p.tx));
            EXPECT_EQ(Cell(p.port, kRxTotalColumn), std::to_string(p.rx));
            EXPECT_EQ(Cell(p.port, kThroughputColumn), Throughput(p.throughput));
        }
    }
    EXPECT_TRUE(Boxes().empty());
    // The model shows the table's texts.
    EXPECT_EQ(view.model()->index(4, kTxTotalColumn).data().toString(), QStringLiteral("117505"));
}

TEST_F(SeltraService, LineStatesAndErrorCountsComeFromTheService) {
    ASSERT_NO_FATAL_FAILURE(StartCard(kQuietCard));
    Start("/HUBLINE /TALON");
    Control({"set", "talon", "COM5", "overrun=1", "framing=2", "parity=3"});
    Control({"set", "hubline", "COM12", "overrun=7"});
    frame_->View().PollTick();

    struct Row {
        const char* port;
        std::vector<std::string> lines;   // Status, CTS, DSR, CD, RTS, DTR
        std::vector<std::string> errors;  // Total, Overrun, Framing, Parity
    } rows[] = {
        {"COM2", {"OPEN", "OFF", "OFF", "OFF", "ON", "ON"}, {"0", "0", "0", "0"}},
        {"COM5", {"OPEN", "ON", "ON", "ON", "OFF", "OFF"}, {"6", "1", "2", "3"}},
        {"COM7", {"CLOSED", "OFF", "OFF", "OFF", "OFF", "OFF"}, {"0", "0", "0", "0"}},
        {"COM9", {"OPEN", "OFF", "OFF", "ON", "OFF", "OFF"}, {"0", "0", "0", "0"}},
        {"COM12", {"OPEN", "ON", "ON", "ON", "ON", "ON"}, {"7", "7", "0", "0"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.port);
        std::vector<std::string> lines;
        for (int c = kStatusColumn; c < kThroughputColumn; ++c) {
            lines.push_back(Cell(row.port, c));
        }
        EXPECT_EQ(lines, row.lines);
        std::vector<std::string> errors;
        for (const int c : {kTotalErrorsColumn, kOverrunColumn, kFramingColumn, kParityColumn}) {
            errors.push_back(Cell(row.port, c));
        }
        EXPECT_EQ(errors, row.errors);
    }

    // More errors add only what is new since the previous read.
    Control({"set", "talon", "COM5", "overrun=1", "framing=2", "parity=10"});
    frame_->View().PollTick();
    EXPECT_EQ(Cell("COM5", kParityColumn), "10");
    EXPECT_EQ(Cell("COM5", kTotalErrorsColumn), "13");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(SeltraService, AFailingFamilyIsReportedOnEveryTickAndLosesNoCounts) {
    ASSERT_NO_FATAL_FAILURE(StartCard(kQuietCard));
    CMainFrame& frame = Start("/HUBLINE /TALON");
    CSeltraView& view = frame.View();
    Control({"set", "talon", "COM5", "tx=100", "rx=100"});
    Control({"set", "hubline", "COM2", "tx=50"});
    view.PollTick();
    ASSERT_TRUE(Boxes().empty());
    ASSERT_EQ(Cell("COM5", kTxTotalColumn), "100");

    Control({"fail", "talon", "31"});
    Control({"set", "talon", "COM5", "tx=250", "rx=180"});
    Control({"set", "hubline", "COM2", "tx=80"});
    view.PollTick();
    QCoreApplication::processEvents();  // the box opens once the tick is over
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);  // one failing family, one tick
    EXPECT_EQ(boxes[0].text, kDriverError31);
    EXPECT_EQ(boxes[0].caption, "Seltra2 - Warning...");
    EXPECT_EQ(boxes[0].style & MB_ICONMASK, MB_ICONSTOP);
    EXPECT_EQ(Cell("COM2", kTxTotalColumn), "80");   // the other family is still polled
    EXPECT_EQ(Cell("COM5", kTxTotalColumn), "100");  // the failed read changed nothing
    EXPECT_EQ(Cell("COM5", kThroughputColumn), Throughput(0));

    // That box was answered, so the next failing tick shows the error again.
    view.PollTick();
    QCoreApplication::processEvents();
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[1].text, kDriverError31);

    // Once the service answers again, what it counted meanwhile arrives in one poll.
    Control({"fail", "talon", "0"});
    view.PollTick();
    QCoreApplication::processEvents();
    EXPECT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Cell("COM5", kTxTotalColumn), "250");
    EXPECT_EQ(Cell("COM5", kRxTotalColumn), "180");
    EXPECT_EQ(Cell("COM5", kThroughputColumn), Throughput(575));  // (150 + 80) x 10 / 4
    EXPECT_EQ(frame.PaneText(ID_INDICATOR_POLLING), QStringLiteral("Polling timer is ON"));
}

TEST_F(SeltraService, AFamilyThatKeepsFailingHasOneBoxOpenWhileTheOtherKeepsPolling) {
    // The service's own boxes stay open here; the frame is driven by the view's real timer.
    UnattendedPrompts prompts;
    struct DropFrame {
        std::unique_ptr<CMainFrame>& frame;
        ~DropFrame() { frame.reset(); }  // before the prompt service it uses
    } dropFrame{frame_};
    ASSERT_NO_FATAL_FAILURE(StartCard(kQuietCard));
    frame_ = std::make_unique<CMainFrame>(prompts);
    CSeltraView& view = frame_->View();
    view.InitialUpdate("/HUBLINE /TALON");
    ASSERT_EQ(view.Table().RowCount(), 5);
    Control({"fail", "talon", "31"});

    constexpr int kFailingTicks = 30;
    bool ranInsideTheBox = false;
    bool exited = false;
    prompts.whileOpen = [&] {
        ranInsideTheBox = true;
        // While the Talon box is open nobody answers it, and each step below needs at least
        // one more tick: Talon fails at every one of them, Hubline's rows follow the service.
        for (int tick = 1; tick <= kFailingTicks; ++tick) {
            const std::string tx = std::to_string(1000 + tick);
            Control({"set", "hubline", "COM2", "tx=" + tx});
            if (!PumpUntil([&] { return Cell("COM2", kTxTotalColumn) == tx; }, 30s)) {
                ADD_FAILURE() << "Hubline's row stopped at " << Cell("COM2", kTxTotalColumn)
                              << " while the box was open";
                break;
            }
        }
        EXPECT_EQ(prompts.open, 1);
        // The window closes while the box is still open (the session ends, or the window
        // manager closes it): the exit still saves the default session with the last counts.
        exited = frame_->close();
    };
    view.StartTimer(10);  // a short interval so that 30 ticks pass quickly
    ASSERT_TRUE(PumpUntil([&] { return ranInsideTheBox && prompts.open == 0; }, 30s))
        << "no driver error box was shown";
    EXPECT_EQ(prompts.maxOpen, 1);
    EXPECT_TRUE(exited);
    EXPECT_FALSE(view.TimerActive());

    std::vector<std::string> texts;
    for (const auto& record : prompts.Records()) {
        texts.push_back(record.text);
    }
    // The driver error, then the exit question (answered yes).
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts.front(), kDriverError31);
    EXPECT_EQ(texts.back(), "Are you sure you want to exit?\t\t");

    const auto bytes = ReadFileBytes(DefaultSessionPath(), kMaxSessionFileSize);
    ASSERT_TRUE(bytes.has_value()) << "no default session at exit";
    const DecodedSession saved = DecodeSession(*bytes);
    ASSERT_EQ(saved.status, SessionDecodeStatus::Complete);
    std::vector<std::string> names;
    for (const DecodedRow& row : saved.rows) {
        names.push_back(row.name);
        if (row.name == "COM2") {
            EXPECT_EQ(row.counters.txTotalRaw, 1000u + kFailingTicks);
            EXPECT_EQ(row.statistics.TxTotal, 1000u + kFailingTicks);
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"COM2", "COM5", "COM7", "COM9", "COM12"}));
}

TEST_F(SeltraService, RestartedAndWrappedCountersKeepTheTotals) {
    ASSERT_NO_FATAL_FAILURE(StartCard(kQuietCard));
    Start("/HUBLINE /TALON");
    CSeltraView& view = frame_->View();
    Control({"set", "talon", "COM9", "tx=500", "rx=600", "overrun=4"});
    Control({"set", "hubline", "COM12", "tx=4294967290", "rx=10"});
    view.PollTick();
    ASSERT_EQ(Cell("COM9", kTxTotalColumn), "500");
    ASSERT_EQ(Cell("COM12", kTxTotalColumn), "4294967290");

    // A count that goes down (the driver restarted) adds nothing and is the new reference.
    Control({"restart", "talon", "COM9"});
    view.PollTick();
    EXPECT_EQ(Cell("COM9", kTxTotalColumn), "500");
    EXPECT_EQ(Cell("COM9", kRxTotalColumn), "600");
    EXPECT_EQ(Cell("COM9", kOverrunColumn), "4");
    EXPECT_EQ(Cell("COM9", kThroughputColumn), Throughput(0));
    EXPECT_EQ(Cell("COM12", kTxTotalColumn), "4294967290");

    // After the restart only the new counts are added. The transmit count of COM12 wraps past
    // 2^32 in the driver, which reads as a restart as well.
    Control({"set", "talon", "COM9", "tx=40", "rx=10", "overrun=1"});
    Control({"set", "hubline", "COM12", "tx=5", "rx=10"});
    view.PollTick();
    EXPECT_EQ(Cell("COM9", kTxTotalColumn), "540");
    EXPECT_EQ(Cell("COM9", kRxTotalColumn), "610");
    EXPECT_EQ(Cell("COM9", kOverrunColumn), "5");
    EXPECT_EQ(Cell("COM9", kThroughputColumn), Throughput(125));  // 500 / 4
    EXPECT_EQ(Cell("COM12", kTxTotalColumn), "4294967290");
    EXPECT_EQ(Cell("COM12", kThroughputColumn), Throughput(0));

    // The total itself wraps modulo 2^32.
    Control({"set", "hubline", "COM12", "tx=15", "rx=10"});
    view.PollTick();
    EXPECT_EQ(Cell("COM12", kTxTotalColumn), "4");
    EXPECT_EQ(Cell("COM12", kThroughputColumn), Throughput(50));

    // Every port restarted at once: totals stay, rates drop to zero, counting resumes.
    const std::vector<std::string> txBefore = Column(kTxTotalColumn);
    const std::vector<std::string> rxBefore = Column(kRxTotalColumn);
    Control({"restart"});
    view.PollTick();
    EXPECT_EQ(Column(kTxTotalColumn), txBefore);
    EXPECT_EQ(Column(kRxTotalColumn), rxBefore);
    EXPECT_EQ(Column(kThroughputColumn), std::vector<std::string>(5, Throughput(0)));
    Control({"set", "hubline", "COM2", "tx=7"});
    view.PollTick();
    EXPECT_EQ(Cell("COM2", kTxTotalColumn), "7");
    EXPECT_EQ(Cell("COM9", kTxTotalColumn), "540");
    EXPECT_EQ(view.Table().RowCount(), 5);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(SeltraService, ThePollingTimerBringsTheCountsIn) {
    SeltraSettings settings;
    settings.pollingInterval = "1";
    ASSERT_TRUE(WriteSettings(settings));
    ASSERT_NO_FATAL_FAILURE(StartCard(kQuietCard));
    CMainFrame& frame = Start("/HUBLINE /TALON");
    CSeltraView& view = frame.View();
    ASSERT_TRUE(view.TimerActive());
    ASSERT_EQ(view.PollMs(), 1000);
    Control({"set", "hubline", "COM12", "tx=3000", "rx=1000"});

    // No tick is called here: the view's own timer polls. The throughput is taken from the
    // same refresh that shows the new total (the next poll sees no change and shows 0).
    QEventLoop loop;
    std::string throughput;
    QObject::connect(view.model(), &QAbstractItemModel::dataChanged, &loop, [&] {
        if (throughput.empty() && Cell("COM12", kTxTotalColumn) == "3000") {
            throughput = Cell("COM12", kThroughputColumn);
            loop.quit();
        }
    });
    QTimer::singleShot(std::chrono::seconds(30), &loop, &QEventLoop::quit);  // a deadline only
    loop.exec();
    ASSERT_EQ(Cell("COM12", kTxTotalColumn), "3000") << "no poll within the deadline";
    EXPECT_EQ(Cell("COM12", kRxTotalColumn), "1000");
    EXPECT_EQ(throughput, Throughput(20000));  // 40000 bits over 1 s per busy direction
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(SeltraService, PrintPreviewShowsEveryPageOfALongTable) {
    ASSERT_NO_FATAL_FAILURE(StartService({"--ports-per-family", "200"}));
    CMainFrame& frame = Start("/HUBLINE");
    CSeltraView& view = frame.View();
    ASSERT_EQ(view.Table().RowCount(), 200);
    view.PollTick();
    view.StopTimer();  // the preview and the print below show the same values

    // The preview is modal: the dialog is looked for from a timer inside its event loop,
    // measured and closed, with a deadline after which any modal window is closed.
    int previewPages = -1;
    QPageLayout layout;
    int resolution = 0;
    bool found = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    QObject timers;  // a timer still pending when the test ends is dropped with it
    std::function<void()> closer = [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QPrintPreviewDialog*>(widget);
            if (dialog != nullptr && dialog->isVisible()) {
                found = true;
                if (auto* preview = dialog->findChild<QPrintPreviewWidget*>()) {
                    previewPages = preview->pageCount();
                }
                layout = dialog->printer()->pageLayout();
                resolution = dialog->printer()->resolution();
                dialog->reject();
                return;
            }
        }
        if (std::chrono::steady_clock::now() > deadline) {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close();
            }
            return;
        }
        QTimer::singleShot(10, &timers, closer);
    };
    QTimer::singleShot(0, &timers, closer);
    frame.OnCommand(ID_FILE_PRINT_PREVIEW);
    ASSERT_TRUE(found) << "no print preview was shown";
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(qobject_cast<QPrintPreviewDialog*>(widget) != nullptr && widget->isVisible());
    }
    EXPECT_TRUE(Boxes().empty());

    // The same table printed on the same page gives as many pages, and its last footer
    // counts them.
    const std::string pdf = config_.Root() + "/preview.pdf";
    {
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf));
        printer.setPageLayout(layout);
        printer.setResolution(resolution);
        view.Print(printer);
    }
    const std::string info = RunCommand("pdfinfo '" + pdf + "'");
    const std::size_t at = info.find("Pages:");
    ASSERT_NE(at, std::string::npos) << info;
    const int printedPages = std::stoi(info.substr(at + 6));
    EXPECT_GE(previewPages, 2);  // 200 rows do not fit on one page
    EXPECT_EQ(previewPages, printedPages);
    std::string compact;
    for (const char c : RunCommand("pdftotext -layout '" + pdf + "' -")) {
        if (c != ' ' && c != '\n' && c != '\f') {
            compact.push_back(c);
        }
    }
    const std::string footer = std::to_string(printedPages) + "/" + std::to_string(printedPages);
    ASSERT_GE(compact.size(), footer.size());
    EXPECT_EQ(compact.substr(compact.size() - footer.size()), footer);
}

}  // namespace

#else

TEST(SeltraService, NeedsTheDriverService) {
    GTEST_SKIP() << "the driver service is not part of this build";
}

#endif
