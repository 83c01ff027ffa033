// The monitor's windows on the offscreen platform, over an in-process driver behind the device
// seam: the frame's menus and panes, the table's first fill and its growth after polls, the
// commands' messages, the dialogs' checks and printing to a PDF read back as text.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPrinter>
#include <QRadioButton>
#include <QTimer>
#include <QToolTip>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "monitor/app/qt/main_frame.h"
#include "monitor/app/qt/seltra_view.h"
#include "monitor/app/qt/settings_dlg.h"
#include "monitor/drivers/driver_messages.h"
#include "monitor/resources/seltra_resources.h"
#include "monitor/sessions/session.h"
#include "monitor/table/qt/add_port_dlg.h"
#include "monitor/table/qt/port_cell_delegate.h"
#include "monitor/table/port_range.h"
#include "monitor/table/reset_statistics.h"
#include "monitor/table/qt/select_column_dlg.h"
#include "platform/ui/prompts.h"
#include "tests/monitor/drivers/test_driver.h"
#include "tests/support/temp_config.h"

namespace {

const char* const kHubline = "\\\\.\\hubsio";
const char* const kTalon = "\\\\.\\talon";

class SeltraGui : public ::testing::Test {
  protected:
    void SetUp() override {
        programDir_ = config_.Root() + "/program";
        std::filesystem::create_directories(programDir_);
        setenv("QUENBY_PROGRAM_DIR", programDir_.c_str(), 1);
        paths_ = DevicePaths{kHubline, kTalon, "\\\\.\\zenport"};
    }
    void TearDown() override {
        frame_.reset();
        unsetenv("QUENBY_PROGRAM_DIR");
    }
    CMainFrame& Start(const std::string& commandLine) {
        frame_ = std::make_unique<CMainFrame>(prompts_, driver_, &paths_);
        frame_->View().InitialUpdate(commandLine);
        QCoreApplication::processEvents();  // the posted polling state reaches the frame
        return *frame_;
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const auto& r : prompts_.Records()) {
            texts.push_back(r.text);
        }
        return texts;
    }
    std::vector<std::string> Column(int column) const {
        std::vector<std::string> cells;
        PortTable& table = frame_->View().Table();
        for (int i = 0; i < table.ShownItemCount(); ++i) {
            cells.emplace_back(table.ShownText(i, column));
        }
        return cells;
    }

    TempConfig config_;
    std::string programDir_;
    DevicePaths paths_;
    TestDriver driver_;
    platform::ScriptedPrompts prompts_;
    std::unique_ptr<CMainFrame> frame_;
};

TEST_F(SeltraGui, MenusCarryTheTableIdsTextsAndShortcuts) {
    CMainFrame& frame = Start("/nothing");
    QStringList titles;
    for (QAction* menu : frame.menuBar()->actions()) {
        titles << menu->text();
    }
    EXPECT_EQ(titles, (QStringList{QStringLiteral("&File"), QStringLiteral("&Tools"),
                                   QStringLiteral("&View"), QStringLiteral("&Help")}));
    for (const MenuInfo& menu : MainMenu()) {
        for (const int id : menu.items) {
            if (id == kSeparator) {
                continue;
            }
            QAction* action = frame.Action(id);
            ASSERT_NE(action, nullptr) << id;
            EXPECT_EQ(action->data().toInt(), id);
        }
    }
    EXPECT_EQ(frame.Action(ID_FILE_NEW)->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
    EXPECT_EQ(frame.Action(ID_FILE_PRINT)->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    EXPECT_EQ(frame.Action(ID_HELP_CONTENTS)->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(frame.Action(ID_TOOLS_SETTINGS)->text(), QStringLiteral("&Settings"));
    EXPECT_TRUE(frame.Action(ID_FILE_CONVERT)->isEnabled());
    EXPECT_TRUE(frame.Action(ID_TOOLS_ADD_PORTS)->isEnabled());
    EXPECT_EQ(frame.PaneText(ID_INDICATOR_CAPS), QStringLiteral("CAP"));
}

TEST_F(SeltraGui, AFamilySwitchFillsSortedRowsThatGrowWithPolls) {
    TestDriver::Family& hubline = driver_[kHubline];
    hubline.names = {"COM10", "COM2", "COM9"};
    hubline.counters = {{100, 5}, {200, 7}, {300, 9}};
    CMainFrame& frame = Start("/hubline");
    CSeltraView& view = frame.View();

    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Column(0), (std::vector<std::string>{"COM2", "COM9", "COM10"}));
    std::vector<int> kinds(view.Table().ColumnKinds().begin(), view.Table().ColumnKinds().end());
    EXPECT_EQ(kinds, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
    EXPECT_EQ(view.model()->rowCount(), 3);
    EXPECT_EQ(view.model()->headerData(7, Qt::Horizontal).toString(),
              QStringLiteral("Actual Throughput"));
    EXPECT_TRUE(view.TimerActive());
    EXPECT_EQ(frame.PaneText(ID_INDICATOR_POLLING), QStringLiteral("Polling timer is ON"));

    view.PollTick();
    const std::vector<std::string> first = Column(8);  // TxTotal
    hubline.counters = {{1100, 5}, {1200, 7}, {1300, 9}};
    view.PollTick();
    const std::vector<std::string> second = Column(8);
    ASSERT_EQ(second.size(), 3u);
    for (std::size_t i = 0; i < second.size(); ++i) {
        EXPECT_GT(std::stoul(second[i]), std::stoul(first[i])) << i;
        EXPECT_EQ(view.model()->index(static_cast<int>(i), 8).data().toString().toStdString(),
                  second[i]);
    }
}

TEST_F(SeltraGui, CommandLineMessagesAndAPortList) {
    driver_[kHubline].names = {"COM3", "COM7"};
    Start("/TALON");
    EXPECT_EQ(Messages(), (std::vector<std::string>{kUnableTalonText}));
    frame_.reset();

    Start("COM7, com3,COM99");
    EXPECT_EQ(Column(0), (std::vector<std::string>{"COM3", "COM7"}));
    frame_.reset();

    Start("session.sls");
    EXPECT_EQ(Messages().back(), kInvalidParameterText);
    EXPECT_EQ(frame_->View().Table().RowCount(), 0);
}

TEST_F(SeltraGui, PollingOffLeavesRemovalsStoppedAndTheSelectionIsChecked) {
    driver_[kHubline].names = {"COM1", "COM2"};
    SeltraSettings off;
    off.pollingInterval = "abc";
    ASSERT_TRUE(WriteSettings(off));
    CMainFrame& frame = Start("COM1,COM2");
    CSeltraView& view = frame.View();
    EXPECT_FALSE(view.TimerActive());
    EXPECT_EQ(frame.PaneText(ID_INDICATOR_POLLING), QStringLiteral("Polling timer is OFF"));

    view.OnCommand(ID_TOOLS_REMOVE_PORTS);
    EXPECT_EQ(Messages().back(), kNoPortSelectedRemoveText);
    view.OnCommand(ID_ROW_RESET);
    EXPECT_EQ(Messages().back(), kNoPortSelectedResetText);

    view.selectRow(0);
    view.OnCommand(ID_ROW_REMOVE);
    QCoreApplication::processEvents();
    EXPECT_EQ(Column(0), (std::vector<std::string>{"COM2"}));
    EXPECT_EQ(view.model()->rowCount(), 1);
    EXPECT_FALSE(view.TimerActive());
    EXPECT_EQ(frame.PaneText(ID_INDICATOR_POLLING), QStringLiteral("Polling timer is OFF"));

    view.SetContextColumn(1);  // Status
    view.OnCommand(ID_COLUMN_RESET);
    EXPECT_EQ(Messages().back(), kAccessDeniedText);
    view.SetContextColumn(8);
    const std::size_t before = prompts_.Count();
    view.OnCommand(ID_COLUMN_RESET);
    EXPECT_EQ(prompts_.Count(), before);
    view.OnCommand(ID_COLUMN_REMOVE);
    EXPECT_EQ(view.Table().FindColumn(8), -1);
    EXPECT_EQ(view.model()->columnCount(), 13);
}

TEST_F(SeltraGui, AddPortsByDriverCodesAndColumnsWithoutDuplicates) {
    driver_[kHubline].names = {"COM5", "COM1"};
    driver_[kTalon].names = {"COM3"};
    CMainFrame& frame = Start("/nothing");
    CSeltraView& view = frame.View();
    view.AddPortsByCodes({kZenithDriverCode, kHublineDriverCode, kTalonDriverCode, 1003});
    EXPECT_EQ(Messages(), (std::vector<std::string>{kUnableZenithText}));
    EXPECT_EQ(Column(0), (std::vector<std::string>{"COM1", "COM3", "COM5"}));
    view.AddPortsByCodes({5, 6, 1});
    EXPECT_EQ(view.Table().RowCount(), 3);

    view.AddColumns({8, 20, 20, 0});
    EXPECT_EQ(view.Table().ColumnCount(), 15);
    EXPECT_EQ(view.model()->columnCount(), 15);
    view.RemoveColumns({0, 20, 33});
    EXPECT_EQ(view.Table().ColumnCount(), 14);
    EXPECT_EQ(view.Table().ColumnKinds()[0], 0);
}

TEST_F(SeltraGui, APortBothFamiliesListIsBoundToHublineByEveryPath) {
    // COM5 is listed by both families with different counts: the row must show Hubline's,
    // whichever way it entered the table, so that a saved and reopened table keeps its rows
    // on the same driver's counters.
    driver_[kHubline].names = {"COM5"};
    driver_[kHubline].counters = {{111, 11}};
    driver_[kTalon].names = {"COM8", "COM5"};
    driver_[kTalon].counters = {{800, 8}, {999, 99}};
    const std::string saved = programDir_ + "/both.sls";
    struct Path {
        const char* name;
        const char* commandLine;
        std::function<void(CSeltraView&)> add;
    } paths[] = {
        {"/TALON", "/TALON", [](CSeltraView&) {}},
        {"Add Ports, Driver", "/nothing",
         [](CSeltraView& view) { view.AddPortsByCodes({kTalonDriverCode}); }},
        {"Add Ports, Ports", "/nothing",
         [](CSeltraView& view) {
             view.AddPortsByCodes({5, 8});
         }},
        {"port list", "COM5,COM8", [](CSeltraView&) {}},
        {"session reload", "/nothing",
         [&](CSeltraView& view) {
             prompts_.AnswerFileWith(saved);
             view.OnCommand(ID_FILE_OPEN);
         }},
    };
    {
        // The session the reload path opens: both rows, written by a table that had them.
        CMainFrame& frame = Start("/HUBLINE /TALON");
        ASSERT_EQ(frame.View().Table().RowCount(), 2);
        ASSERT_EQ(frame.View().CurrentSession().WriteSession(saved), SessionIoResult::Ok);
        frame_.reset();
    }
    for (const Path& path : paths) {
        SCOPED_TRACE(path.name);
        CMainFrame& frame = Start(path.commandLine);
        CSeltraView& view = frame.View();
        path.add(view);
        ASSERT_EQ(Column(0), (std::vector<std::string>{"COM5", "COM8"}));
        const int row = view.Table().FindRow("COM5");
        EXPECT_EQ(view.Table().Row(row).Counters(),
                  view.Sources().Source(SourceFamily::Hubline).FindCounters("COM5"));
        EXPECT_EQ(view.Table().Row(view.Table().FindRow("COM8")).Counters(),
                  view.Sources().Source(SourceFamily::Talon).FindCounters("COM8"));
        view.PollTick();
        EXPECT_EQ(Column(8), (std::vector<std::string>{"111", "800"}));  // TxTotal
        EXPECT_EQ(Column(9), (std::vector<std::string>{"11", "8"}));     // RxTotal
        frame_.reset();
    }
    for (const auto& record : prompts_.Records()) {
        EXPECT_NE(record.kind, platform::ScriptedPrompts::Record::Kind::MessageBox) << record.text;
    }
}

TEST_F(SeltraGui, RightClickAndToolTipNameTheRowUnderTheMouse) {
    driver_[kHubline].names = {"COM1", "COM2", "COM3"};
    CMainFrame& frame = Start("/HUBLINE");
    frame.resize(900, 400);
    frame.show();
    QCoreApplication::processEvents();  // lays the header and the rows out
    CSeltraView& view = frame.View();
    QWidget* viewport = view.viewport();
    ASSERT_GT(view.horizontalHeader()->height(), 0);

    // The row popup is modal: it is read and closed from a timer inside its own loop.
    std::vector<QStringList> popups;
    auto rightClick = [&](const QPoint& at) {
        QObject timers;  // a closer still pending when no popup opened is dropped with it
        QTimer::singleShot(0, &timers, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                QStringList texts;
                for (QAction* action : menu->actions()) {
                    texts << action->text();
                }
                popups.push_back(texts);
                menu->close();
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &event);
    };
    auto leftClick = [&](const QPoint& at) {
        const QPointF global = viewport->mapToGlobal(QPointF(at));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), global, Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &release);
    };
    auto toolTipAt = [&](const QPoint& at) {
        QToolTip::hideText();
        QHelpEvent event(QEvent::ToolTip, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &event);
        return QToolTip::text();
    };

    const QStringList rowPopup{QStringLiteral("Re&move Row"), QStringLiteral("&Reset Row")};
    for (int row = 0; row < 3; ++row) {
        const QRect rect = view.visualRect(view.model()->index(row, 2));
        const QString name = QStringLiteral("COM%1").arg(row + 1);
        // The first and the last pixel line of the row, and its middle.
        for (const int y : {rect.top(), rect.center().y(), rect.bottom()}) {
            SCOPED_TRACE("row " + std::to_string(row) + " at y " + std::to_string(y));
            const QPoint at(rect.center().x(), y);
            popups.clear();
            rightClick(at);
            EXPECT_EQ(view.ContextRow(), row);
            ASSERT_EQ(popups.size(), 1u) << "no row popup";
            EXPECT_EQ(popups[0], rowPopup);

            view.clearSelection();
            leftClick(at);
            ASSERT_EQ(view.ContextRow(), row);
            EXPECT_EQ(toolTipAt(at), name);
        }
    }
    // Below the last row there is no row, and no popup.
    const QRect last = view.visualRect(view.model()->index(2, 2));
    const QPoint below(last.center().x(), last.bottom() + 3 * last.height());
    popups.clear();
    rightClick(below);
    EXPECT_EQ(view.ContextRow(), -1);
    EXPECT_TRUE(popups.empty());
    QToolTip::hideText();
}

TEST_F(SeltraGui, AddPortDialogChecksItsInput) {
    std::vector<int> result;
    CAddPortDlg dialog(result, prompts_);
    EXPECT_FALSE(dialog.RangeText()->isEnabled());
    dialog.accept();
    EXPECT_EQ(Messages().back(), kNoPortSelectedText);
    dialog.PortList()->item(2)->setSelected(true);
    dialog.PortList()->item(998)->setSelected(true);
    dialog.accept();
    EXPECT_EQ(result, (std::vector<int>{3, 999}));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    dialog.RangeButton()->click();
    EXPECT_TRUE(dialog.RangeText()->isEnabled());
    EXPECT_FALSE(dialog.PortList()->isEnabled());
    dialog.RangeText()->setText(QStringLiteral("3 - 5,8,--"));
    const std::size_t before = prompts_.Count();
    dialog.accept();
    EXPECT_EQ(prompts_.Count(), before + 1);
    EXPECT_EQ(Messages().back(), kInvalidRangeText);
    dialog.RangeText()->setText(QStringLiteral("3-5-9,7-3,12"));
    dialog.accept();
    EXPECT_EQ(result, (std::vector<int>{3, 4, 5, 12}));

    dialog.DriverButton()->click();
    EXPECT_TRUE(dialog.Hubline()->isEnabled());
    dialog.accept();
    EXPECT_EQ(Messages().back(), kNoDriverSelectedText);
    dialog.Talon()->setChecked(true);
    dialog.Hubline()->setChecked(true);
    dialog.Zenith()->setChecked(true);
    dialog.accept();
    EXPECT_EQ(result, (std::vector<int>{kZenithDriverCode, kHublineDriverCode, kTalonDriverCode}));
}

TEST_F(SeltraGui, ColumnDialogOffersEveryKindButThePortName) {
    std::vector<int> kinds;
    CSelectColumnDlg dialog(kinds, prompts_);
    ASSERT_EQ(dialog.ColumnList()->count(), 57);
    EXPECT_EQ(dialog.ColumnList()->item(0)->text(), QStringLiteral("Status"));
    dialog.accept();
    EXPECT_EQ(Messages().back(), kNoColumnSelectedText);
    dialog.ColumnList()->item(0)->setSelected(true);
    dialog.ColumnList()->item(56)->setSelected(true);
    dialog.accept();
    EXPECT_EQ(kinds, (std::vector<int>{1, 57}));
}

TEST_F(SeltraGui, SettingsDialogRefusesAZeroIntervalAndFillsDefaults) {
    SeltraSettings settings;
    settings.pollingInterval = "1";  // "1" is the first entry beginning with it
    settings.maximumBaudrate = "300000";
    CSettingsDlg dialog(settings, prompts_);
    EXPECT_EQ(dialog.PollInterval()->currentText(), QStringLiteral("1"));
    EXPECT_EQ(dialog.MaxBaudrate()->currentText(), QStringLiteral("300000"));
    EXPECT_FALSE(dialog.CustomInterval()->isEnabled());
    dialog.Custom()->click();
    EXPECT_TRUE(dialog.CustomInterval()->isEnabled());
    dialog.CustomInterval()->setText(QStringLiteral("05"));
    dialog.accept();
    EXPECT_EQ(Messages().back(), kInvalidReportIntervalText);
    EXPECT_EQ(settings.customReport, 0);  // nothing kept

    dialog.FillDefaults();
    EXPECT_FALSE(dialog.CustomInterval()->isEnabled());
    EXPECT_FALSE(dialog.AsciiCopy()->isChecked());
    dialog.AsciiCopy()->click();
    dialog.PollInterval()->setEditText(QStringLiteral("12"));
    dialog.CustomInterval()->setText(QString());
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(settings.pollingInterval, "12");
    EXPECT_EQ(settings.maximumBaudrate, "115200");
    EXPECT_EQ(settings.customReportInterval, "");
    EXPECT_EQ(settings.asciiCopy, 1);
}

TEST_F(SeltraGui, ClosingWritesSettingsAndAskedExitCanBeRefused) {
    driver_[kHubline].names = {"COM4"};
    CMainFrame& frame = Start("COM4");
    frame.Settings().pollingInterval = "9";
    prompts_.AnswerWith(IDNO);
    EXPECT_FALSE(frame.close());
    EXPECT_EQ(Messages().back(), kExitText);
    SeltraSettings stored;
    ReadSettings(stored);
    EXPECT_EQ(stored.pollingInterval, "9");  // written before the question
    EXPECT_FALSE(std::filesystem::exists(DefaultSessionPath()));

    prompts_.AnswerWith(IDYES);
    frame.OnCommand(ID_APP_EXIT_SELTRA);
    EXPECT_TRUE(std::filesystem::exists(DefaultSessionPath()));
}

TEST_F(SeltraGui, HelpWithoutItsFileSaysSo) {
    CMainFrame& frame = Start("/?");
    EXPECT_EQ(Messages(), (std::vector<std::string>{"Unable to launch the Help File!\t\n"}));
    frame.OnCommand(ID_HELP_CONTENTS);
    EXPECT_EQ(Messages().size(), 2u);
}

TEST(PortCells, BarWidthsAndStatusColours) {
    EXPECT_EQ(ThroughputBarWidth(57600, 100, 115200), 50);
    EXPECT_EQ(ThroughputBarWidth(230400, 100, 115200), 200);  // wider than the cell
    EXPECT_EQ(ThroughputBarWidth(1000, 100, 0), 0);
    EXPECT_EQ(StatusWordColour(QStringLiteral("OPEN")), QColor(0, 128, 0));
    EXPECT_EQ(StatusWordColour(QStringLiteral("CLOSED")), QColor(147, 0, 0));
    EXPECT_FALSE(StatusWordColour(QStringLiteral("OPENED")).isValid());
}

TEST_F(SeltraGui, PrintsTitleLinesAndFooterToPdf) {
    driver_[kHubline].names = {"COM2", "COM11"};
    CMainFrame& frame = Start("/HUBLINE");
    const std::string pdf = config_.Root() + "/table.pdf";
    {
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf));
        frame.View().Print(printer);
    }
    const std::string command = "pdftotext -layout '" + pdf + "' -";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string text;
    char buffer[4096];
    while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) {
        text.append(buffer, n);
    }
    ASSERT_EQ(pclose(pipe), 0) << text;
    EXPECT_NE(text.find("SeltraMonitor Report"), std::string::npos) << text;
    EXPECT_NE(text.find("Port Name"), std::string::npos) << text;
    EXPECT_NE(text.find("COM11"), std::string::npos) << text;
    EXPECT_NE(text.find("CLOSED"), std::string::npos) << text;
    // The proportional font loses the footer's padding in the text read back.
    std::string compact;
    for (const char c : text) {
        if (c != ' ' && c != '\n' && c != '\f') {
            compact.push_back(c);
        }
    }
    EXPECT_EQ(compact.substr(compact.size() - 3), "1/1") << text;
    EXPECT_EQ(text.find("*$"), std::string::npos) << text;
}

}  // namespace
