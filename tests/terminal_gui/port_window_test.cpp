// The port windows as the main frame shows them: closing one from the Window menu or its context
// menu, and the toolbar's line buttons against the line.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDeadlineTimer>
#include <QMdiArea>
#include <QMenu>
#include <QPointer>
#include <QTimer>

#include "terminal/resources/halvo_resources.h"
#include "terminal/session/port_edit.h"
#include "terminal/session/port_event.h"
#include "terminal/session/port_wnd.h"
#include "tests/terminal_gui/halvo_gui_support.h"

namespace {

// Handles each event as it arrives, without sleeping between them, until `done` holds: a check
// made right after an event is then made before the posting thread has moved on much.
bool WaitEachEvent(const std::function<bool()>& done, int milliseconds = 8000) {
    const QDeadlineTimer deadline(milliseconds);
    // Wakes the wait when no event comes, so the deadline is seen.
    QTimer heartbeat;
    heartbeat.start(20);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

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
        ASSERT_TRUE(WaitFor([&] {
            return PaneShows(com1, "Receiving...") && PaneShows(com2, "DSR") &&
                   PaneShows(com2, "CTS");
        }));
        const QPointer<CPortMDIChildWnd> closing(com1);
        way.close(frame, com1);
        EXPECT_TRUE(WaitFor([&] { return closing.isNull(); }))
            << "still open: " << closing->VisiblePanes().join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(frame.PortFrames(), std::vector<CPortMDIChildWnd*>{com2});
        // The closed port dropped its lines.
        EXPECT_TRUE(WaitFor([&] { return !PaneShows(com2, "DSR") && !PaneShows(com2, "CTS"); }));
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
    ASSERT_TRUE(WaitFor([&] { return PaneShows(com1, "DTR") && PaneShows(com2, "DSR"); }));
    QAction* dtr = com1->ToolbarAction(ID_DTR);
    ASSERT_NE(dtr, nullptr);
    ASSERT_TRUE(WaitFor([&] { return dtr->isChecked(); }));

    bool line = true;
    int mismatches = 0;
    for (int toggle = 1; toggle <= 100; ++toggle) {
        SCOPED_TRACE(toggle);
        dtr->trigger();
        line = !line;
        ASSERT_TRUE(WaitEachEvent([&] { return PaneShows(com1, "DTR") == line; }));
        if (dtr->isChecked() != line) {
            ++mismatches;
        }
        ASSERT_TRUE(WaitFor([&] { return PaneShows(com2, "DSR") == line; }));
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
    ASSERT_TRUE(WaitFor([&] { return PaneShows(com9, "Not Ready"); }));
    const std::size_t promptsBefore = prompts_.Count();
    for (const int id : {ID_SEND, ID_RECEIVE, ID_RTS, ID_DTR}) {
        SCOPED_TRACE(id);
        QAction* button = com9->ToolbarAction(id);
        ASSERT_NE(button, nullptr);
        button->trigger();
        EXPECT_FALSE(button->isChecked());
    }
    // RTS and DTR each answer "Port is not open!": then every click has been handled.
    ASSERT_TRUE(WaitFor([&] { return prompts_.Count() == promptsBefore + 2; }));
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

}  // namespace
