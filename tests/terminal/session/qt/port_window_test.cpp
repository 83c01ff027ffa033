// The port windows as the main frame shows them: closing one from the Window menu or its context
// menu, the toolbar's line buttons against the line, the Port menu's display-flag check marks
// and the main frame's caption.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QMdiArea>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include "terminal/resources/halvo_resources.h"
#include "terminal/session/port_tests.h"
#include "terminal/session/qt/port_edit.h"
#include "terminal/session/qt/port_event.h"
#include "terminal/session/qt/port_wnd.h"
#include "tests/terminal/app/qt/halvo_gui_support.h"

namespace {

// Picks `text` in the popup menu open now.
void ChooseInPopup(const QString& text) {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* action : menu->actions()) {
        if (action->text() == text) {
            ASSERT_TRUE(action->isEnabled());
            menu->close();
            action->trigger();
            return;
        }
    }
    menu->close();
    FAIL() << "no item " << text.toStdString();
}

void OpenContextMenu(CPortMDIChildWnd* port) {
    QWidget* viewport = port->Edit()->viewport();
    const QPoint at(5, 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QCoreApplication::sendEvent(viewport, &event);
}

// Both of the port window's Close commands close the port, end its thread and take the window
// away; the peer of the null-modem pair sees the lines drop.
TEST_F(HalvoGui, WindowCloseAndContextMenuCloseEndTheWindowAndItsThread) {
    struct Way {
        const char* name;
        std::function<void(CMainFrame&, CPortMDIChildWnd*)> close;
    };
    const Way ways[] = {
        {"Window > Close",
         [](CMainFrame& frame, CPortMDIChildWnd* port) {
             frame.MdiArea()->setActiveSubWindow(port);
             ASSERT_EQ(frame.ActivePortFrame(), port);
             QAction* close = frame.Action(ID_CLOSE_PORT_WINDOW);
             ASSERT_NE(close, nullptr);
             close->trigger();
         }},
        {"context menu Cl&ose",
         [](CMainFrame&, CPortMDIChildWnd* port) {
             QTimer::singleShot(0, [] { ChooseInPopup(QStringLiteral("Cl&ose")); });
             OpenContextMenu(port);
         }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        CMainFrame& frame = Start("COM1,COM2");
        CPortMDIChildWnd* com1 = frame.PortFrames()[0];
        CPortMDIChildWnd* com2 = frame.PortFrames()[1];
        ASSERT_TRUE(PumpUntil([&] {
            return PaneShows(com1, "Receiving...") && PaneShows(com2, "DSR") &&
                   PaneShows(com2, "CTS");
        }));
        const QPointer<CPortMDIChildWnd> closing(com1);
        way.close(frame, com1);
        EXPECT_TRUE(PumpUntil([&] { return closing.isNull(); }))
            << "still open: " << closing->VisiblePanes().join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(frame.PortFrames(), std::vector<CPortMDIChildWnd*>{com2});
        // The closed port dropped its lines.
        EXPECT_TRUE(PumpUntil([&] { return !PaneShows(com2, "DSR") && !PaneShows(com2, "CTS"); }));
        EXPECT_TRUE(com2->HasView());
        frame_.reset();
    }
}

// DTR toggled a hundred times in a row: after every toggle the toolbar button's check is the
// line's state as the port shows it and as the peer sees it.
TEST_F(HalvoGui, DtrButtonCheckFollowsTheLineAtEveryToggle) {
    Start("COM1,COM2");
    CPortMDIChildWnd* com1 = frame_->PortFrames()[0];
    CPortMDIChildWnd* com2 = frame_->PortFrames()[1];
    ASSERT_TRUE(PumpUntil([&] { return PaneShows(com1, "DTR") && PaneShows(com2, "DSR"); }));
    QAction* dtr = com1->ToolbarAction(ID_DTR);
    ASSERT_NE(dtr, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return dtr->isChecked(); }));

    bool line = true;
    int mismatches = 0;
    for (int toggle = 1; toggle <= 100; ++toggle) {
        SCOPED_TRACE(toggle);
        dtr->trigger();
        line = !line;
        ASSERT_TRUE(PumpUntil([&] { return PaneShows(com1, "DTR") == line; }));
        if (dtr->isChecked() != line) {
            ++mismatches;
        }
        ASSERT_TRUE(PumpUntil([&] { return PaneShows(com2, "DSR") == line; }));
        EXPECT_EQ(dtr->isChecked(), line);
        EXPECT_EQ(com1->State().dtrOn.load(), line);
    }
    EXPECT_EQ(mismatches, 0);
}

// The toolbar's line and transfer buttons of a port that cannot be opened: a click is refused
// by the port, so the button must not show the line or transfer as on.
TEST_F(HalvoGui, ButtonsOfAClosedPortStayUnchecked) {
    Start("COM9");
    CPortMDIChildWnd* com9 = Port("COM9");
    ASSERT_TRUE(PumpUntil([&] { return PaneShows(com9, "Not Ready"); }));
    const std::size_t promptsBefore = prompts_.Count();
    for (const int id : {ID_SEND, ID_RECEIVE, ID_RTS, ID_DTR}) {
        SCOPED_TRACE(id);
        QAction* button = com9->ToolbarAction(id);
        ASSERT_NE(button, nullptr);
        button->trigger();
        EXPECT_FALSE(button->isChecked());
    }
    // RTS and DTR each answer "Port is not open!": then every click has been handled.
    ASSERT_TRUE(PumpUntil([&] { return prompts_.Count() == promptsBefore + 2; }));
    EXPECT_EQ(prompts_.Records().back().text, "Port is not open!\t");
    for (const int id : {ID_SEND, ID_RECEIVE, ID_RTS, ID_DTR}) {
        EXPECT_FALSE(com9->ToolbarAction(id)->isChecked()) << id;
    }
}

// Stands in for a port frame: as each DTR indicator is handled it compares the board with the
// line the indicator announces.
class FrameProbe : public QObject {
  public:
    explicit FrameProbe(const PortStateBoard& board) : board_(board) {}
    int dtrIndicators = 0;
    int stale = 0;

  protected:
    bool event(QEvent* event) override {
        if (!PortMessageEvent::IsPortMessage(event)) {
            return QObject::event(event);
        }
        const auto* message = static_cast<const PortMessageEvent*>(event);
        if (message->Message() == UWM_INDICATOR && message->WParam() == ID_INDICATOR_DTR) {
            ++dtrIndicators;
            if (board_.dtrOn.load() != (message->LParam() != 0)) {
                ++stale;
            }
        }
        return true;
    }

  private:
    const PortStateBoard& board_;
};

// Whoever changes the line and announces it (here the session called directly, as a worker
// or the watcher would, with no event of the view after it), the frame can read the new state
// by the time it handles the announcement.
TEST_F(HalvoGui, IndicatorNeverArrivesBeforeTheStateItAnnounces) {
    auto board = std::make_shared<PortStateBoard>();
    FrameProbe probe(*board);
    auto link = std::make_shared<QtPortLink>(&probe, &probe);
    CPortWnd view("COM1", link, prompts_, PortViewPreferences{}, board);
    PortSession& session = view.Session();
    session.Create();
    ASSERT_TRUE(session.PublishedState().dtrOn);
    QCoreApplication::sendPostedEvents(&probe);
    for (int toggle = 0; toggle < 100; ++toggle) {
        session.OnDtrCommand();
        QCoreApplication::sendPostedEvents(&probe);
    }
    EXPECT_EQ(probe.dtrIndicators, 101);
    EXPECT_EQ(probe.stale, 0);
    EXPECT_EQ(board->dtrOn.load(), session.PublishedState().dtrOn);
    link->Detach();
}

bool Checked(CMainFrame& frame, int id) {
    QAction* action = frame.Action(id);
    return action != nullptr && action->isChecked();
}

// Runs the Preferences dialog and sets Log To File and Show CR/LF to `on` before OK.
void SetDisplayPreferences(CMainFrame& frame, bool on) {
    QTimer::singleShot(0, [on] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        for (const int id : {1016, 1017}) {
            auto* box = dialog->findChild<QCheckBox*>(QStringLiteral("control_%1").arg(id));
            ASSERT_NE(box, nullptr);
            box->setChecked(on);
        }
        dialog->findChild<QAbstractButton*>(QStringLiteral("control_1"))->click();
    });
    frame.OnCommand(ID_PREFERENCES);
}

// The check marks of Log To File and Show CR/LF/BS always show the live flags: after the
// Preferences dialog changed them and when a port window is created, so that the next click
// does what the user sees.
TEST_F(HalvoGui, DisplayFlagChecksFollowPreferencesAndNewPortWindows) {
    CMainFrame& frame = Start("COM3");
    ASSERT_TRUE(frame.ShowsPortMenu());
    const DisplayFlags& flags = ProcessDisplayFlags();
    ASSERT_FALSE(Checked(frame, ID_LOG_TO_FILE));

    SetDisplayPreferences(frame, true);
    ASSERT_TRUE(flags.logToFile.load());
    ASSERT_TRUE(flags.showCrLfBs.load());
    EXPECT_TRUE(Checked(frame, ID_LOG_TO_FILE));
    EXPECT_TRUE(Checked(frame, ID_SHOW_CR_LF_BS));

    // The user clicks the checked item: it goes off, as the check promised.
    frame.Action(ID_LOG_TO_FILE)->trigger();
    EXPECT_FALSE(flags.logToFile.load());
    EXPECT_FALSE(Checked(frame, ID_LOG_TO_FILE));

    SetDisplayPreferences(frame, false);
    EXPECT_FALSE(Checked(frame, ID_LOG_TO_FILE));
    EXPECT_FALSE(Checked(frame, ID_SHOW_CR_LF_BS));

    // Flags turned on behind the menu's back are shown once the next port window exists.
    ProcessDisplayFlags().logToFile = true;
    ProcessDisplayFlags().showCrLfBs = true;
    ASSERT_TRUE(frame.CreatePortWindow("COM5"));
    EXPECT_TRUE(Checked(frame, ID_LOG_TO_FILE));
    EXPECT_TRUE(Checked(frame, ID_SHOW_CR_LF_BS));
    ProcessDisplayFlags().logToFile = false;
    ProcessDisplayFlags().showCrLfBs = false;
    ASSERT_TRUE(frame.CreatePortWindow("COM7"));
    EXPECT_FALSE(Checked(frame, ID_LOG_TO_FILE));
    EXPECT_FALSE(Checked(frame, ID_SHOW_CR_LF_BS));
}

// A press in a port's display brings the main frame's Port menu up to date for that port: the
// serial-only items a stale state left grey are enabled again.
TEST_F(HalvoGui, PressInTheDisplayAppliesThePortMenuState) {
    CMainFrame& frame = Start("COM3");
    CPortMDIChildWnd* com3 = Port("COM3");
    ASSERT_NE(com3, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return PaneShows(com3, "OPEN"); }));
    frame.MdiArea()->setActiveSubWindow(com3);
    std::vector<QAction*> serialOnly;
    for (const int id : {ID_LOG_TO_FILE, ID_SHOW_CR_LF_BS, ID_PNP_TEST, ID_LOOPBACK_TEST,
                         ID_SEND_IMMEDIATE_CHAR, ID_SEND_STRING}) {
        QAction* action = frame.Action(id);
        if (action != nullptr && action->isEnabled()) {
            serialOnly.push_back(action);
        }
    }
    ASSERT_FALSE(serialOnly.empty());
    for (QAction* action : serialOnly) {
        action->setEnabled(false);
    }
    QTest::mouseClick(com3->Edit()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    for (QAction* action : serialOnly) {
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
    }
}

// The Port menu's two tests reach the port window and run there: each asks its first question
// and ends with its result, the window's device path as the caption.
TEST_F(HalvoGui, PortMenuRunsTheLoopbackAndPnpTests) {
    CMainFrame& frame = Start("COM3");
    CPortMDIChildWnd* com3 = Port("COM3");
    ASSERT_NE(com3, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return PaneShows(com3, "OPEN"); }));
    frame.MdiArea()->setActiveSubWindow(com3);
    struct Row {
        int id;
        std::size_t boxes;
        const char* result;
    };
    for (const Row& row : {Row{ID_LOOPBACK_TEST, 2, "Port passed the loopback test."},
                           Row{ID_PNP_TEST, 3, "No PnP data received!"}}) {
        SCOPED_TRACE(row.id);
        QAction* action = frame.Action(row.id);
        ASSERT_NE(action, nullptr);
        ASSERT_TRUE(action->isEnabled());
        const std::size_t before = prompts_.Count();
        action->trigger();
        ASSERT_TRUE(PumpUntil([&] { return prompts_.Count() == before + row.boxes; }));
        EXPECT_EQ(prompts_.Records().back().text, row.result);
        EXPECT_EQ(prompts_.Records().back().caption, "\\\\.\\COM3");
        EXPECT_TRUE(WaitForPortTests(20000));
    }
}

// The caption is the program's title followed by the active port's name, in brackets while
// that window is maximised, and the title alone while no port window exists.
TEST_F(HalvoGui, CaptionNamesTheActivePort) {
    CMainFrame& frame = Start("COM1,COM2");
    CPortMDIChildWnd* com1 = Port("COM1");
    CPortMDIChildWnd* com2 = Port("COM2");
    ASSERT_TRUE(PumpUntil([&] { return PaneShows(com1, "OPEN") && PaneShows(com2, "OPEN"); }));
    const struct {
        const char* step;
        std::function<void()> act;
        const char* caption;
    } steps[] = {
        {"activate COM1", [&] { frame.MdiArea()->setActiveSubWindow(com1); },
         "Halvo2 - Test Terminal - COM1"},
        {"activate COM2", [&] { frame.MdiArea()->setActiveSubWindow(com2); },
         "Halvo2 - Test Terminal - COM2"},
        {"maximise COM2", [&] { com2->showMaximized(); }, "Halvo2 - Test Terminal - [COM2]"},
        {"activate COM1 maximised", [&] { frame.MdiArea()->setActiveSubWindow(com1); },
         "Halvo2 - Test Terminal - [COM1]"},
        {"restore COM1", [&] { com1->showNormal(); }, "Halvo2 - Test Terminal - COM1"},
        {"close COM1", [&] { com1->close(); }, "Halvo2 - Test Terminal - COM2"},
        {"close COM2", [&] { com2->close(); }, "Halvo2 - Test Terminal"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        step.act();
        const QString expected = QString::fromLatin1(step.caption);
        EXPECT_TRUE(PumpUntil([&] { return frame.windowTitle() == expected; }))
            << frame.windowTitle().toStdString();
    }
}

TEST_F(HalvoGui, CaptionIsTheTitleWithoutPorts) {
    CMainFrame& frame = Start("");
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Halvo2 - Test Terminal"));
}

}  // namespace
