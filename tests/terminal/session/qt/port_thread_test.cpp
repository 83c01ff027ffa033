// A port window closing while the GUI thread keeps posting to its view: every post either
// reaches the view while it exists or is dropped, however the close and the posts interleave.
// The sanitizer builds turn a post to a view being destroyed into a reported fault.

#include <gtest/gtest.h>

#include <QAction>
#include <QPointer>
#include <functional>

#include "platform/sync/event.h"
#include "terminal/resources/halvo_resources.h"
#include "terminal/session/qt/port_event.h"
#include "tests/terminal/app/qt/halvo_gui_support.h"

namespace {

// Presses the toolbar buttons that mean something to an open port and nothing harmful to a
// closed one, and posts an all-port message the way the main frame forwards it.
void PostCommands(CPortMDIChildWnd* port) {
    for (const int id : {ID_SEND, ID_CLEAR_SCREEN}) {
        if (QAction* action = port->ToolbarAction(id)) {
            action->trigger();
        }
    }
    port->PostToView(UWM_STOP_SEND);
}

TEST_F(HalvoGui, ClosingAPortWindowWithPostsInFlightNeverReachesAGoneView) {
    struct Way {
        const char* name;
        std::function<void(CPortMDIChildWnd*)> close;
    };
    const Way ways[] = {
        // The begun close of Close All: the port thread ends and destroys its view while the
        // GUI thread goes on posting, until the thread says it has ended.
        {"begun close",
         [](CPortMDIChildWnd* port) {
             port->BeginClosePort();
             platform::EventHandle ended = PortThreadEndedEvent();
             ASSERT_TRUE(ended);
             int rounds = 0;
             while (platform::WaitForSingleObject(*ended, 0) != WAIT_OBJECT_0) {
                 PostCommands(port);
                 ASSERT_LT(++rounds, 10'000'000) << "the port thread never ended";
             }
             // Posts after the end are dropped.
             PostCommands(port);
             port->ClosePort();
             EXPECT_FALSE(port->HasView());
             port->close();
         }},
        // The window's own close with a queue of commands still waiting for the view.
        {"window close",
         [](CPortMDIChildWnd* port) {
             for (int round = 0; round < 100; ++round) {
                 PostCommands(port);
             }
             port->close();
         }},
    };
    CMainFrame& frame = Start("");
    for (const Way& way : ways) {
        for (int round = 0; round < 25; ++round) {
            SCOPED_TRACE(::testing::Message() << way.name << ", round " << round);
            ASSERT_TRUE(frame.CreatePortWindow("COM3"));
            QPointer<CPortMDIChildWnd> port = Port("COM3");
            ASSERT_FALSE(port.isNull());
            // Half the rounds close while the port is still opening.
            if (round % 2 == 0) {
                ASSERT_TRUE(PumpUntil([&] { return PaneShows(port, "Receiving..."); }));
            }
            way.close(port);
            ASSERT_TRUE(PumpUntil([&] { return frame.PortFrames().empty(); }));
            // The closed window goes at the next turn of a loop; a test has none of its own.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            ASSERT_TRUE(port.isNull());
        }
    }
}

}  // namespace
