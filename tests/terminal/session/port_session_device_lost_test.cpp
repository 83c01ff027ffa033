// A port whose device goes away while it is open: a simulated device pulled out, and a
// pseudo-terminal whose far side is closed mid-transfer. The port closes itself once, says why
// in one error box, and opens again with Open / Close once the device is back.

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/comm/sim_device.h"
#include "platform/system/last_error.h"
#include "tests/platform/comm/tty_test_support.h"
#include "tests/terminal/session/port_session_test_support.h"

using namespace port_test;

namespace {

class PortDeviceLostTest : public SessionTest {
  protected:
    static std::size_t CountLost(const RecordingLink& link, std::size_t from) {
        const std::vector<Posted> posted = link.Since(from);
        return static_cast<std::size_t>(
            std::count_if(posted.begin(), posted.end(), [](const Posted& p) {
                return p.target == Target::Frame && p.message == UWM_DEVICE_LOST;
            }));
    }
    bool WaitLost(std::size_t from) {
        return WaitUntil([&] { return CountLost(*link_, from) > 0; }, 20000ms);
    }

    // What the user sees once the port thread has handled the loss: the port closed with
    // every indicator off and "Not Ready", one report of the loss and one box with the
    // system's text for `error`.
    void ExpectClosedWithOneBox(PortSession& session, std::size_t mark, std::size_t boxesBefore,
                                DWORD error) {
        const PortPublishedState state = session.PublishedState();
        EXPECT_FALSE(state.isOpen || state.sending || state.receiving || state.dtrOn ||
                     state.rtsOn);
        EXPECT_TRUE(IsSubsequence({Indicator(ID_INDICATOR_OPEN, 0), Indicator(ID_INDICATOR_DTR, 0),
                                   Indicator(ID_INDICATOR_RTS, 0), Indicator(ID_INDICATOR_DSR, 0),
                                   Indicator(ID_INDICATOR_CTS, 0), Indicator(ID_INDICATOR_CD, 0),
                                   Indicator(ID_INDICATOR_RING, 0), Activity(ACTIVITY_NOT_READY)},
                                  link_->Since(mark)));
        EXPECT_EQ(link_->LastActivity(mark), ACTIVITY_NOT_READY);
        // The workers and the watcher have ended with the close: no later report can come.
        EXPECT_EQ(CountLost(*link_, mark), 1u);
        ASSERT_TRUE(WaitForPortErrorBoxes(10000));
        const auto boxes = prompts_.Records();
        ASSERT_EQ(boxes.size(), boxesBefore + 1);
        EXPECT_EQ(boxes.back().text, "Halvo2 lost the port's device!\t\n" +
                                         platform::FormatErrorMessage(error) +
                                         "\n\n(error code: " + std::to_string(error) + ")");
        EXPECT_EQ(boxes.back().style, MB_ICONHAND);
    }
};

TEST_F(PortDeviceLostTest, PulledOutDeviceClosesThePortOnceAndOpensAgainWhenBack) {
    const std::string deviceA = std::string("sim:null-modem/") +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                                "/A";
    PeerDevice peer("COM2");
    auto session = Make("COM1", link_);
    struct Row {
        const char* what;
        bool receiving;
        bool sending;
    };
    const Row rows[] = {
        {"idle: only the watcher can notice", false, false},
        {"receiving", true, false},
        {"sending", false, true},
        {"sending and receiving", true, true},
    };
    int round = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(session->PublishedState().isOpen);
        if (session->PublishedState().receiving != row.receiving) {
            session->OnReceiveCommand();
        }
        if (session->PublishedState().sending != row.sending) {
            session->OnSendCommand();
        }
        if (row.sending) {
            EXPECT_FALSE(peer.Read(10).empty());  // the pattern is on its way
        }
        const std::size_t boxesBefore = prompts_.Count();
        const std::size_t mark = link_->Size();
        ASSERT_TRUE(platform::UnplugSimulatedDevice(deviceA));
        ASSERT_TRUE(WaitLost(mark));
        session->OnDeviceLost();  // as the view does when the frame passes the report on
        ExpectClosedWithOneBox(*session, mark, boxesBefore, ENODEV);
        EXPECT_EQ(prompts_.Records().back().caption, "\\\\.\\COM1");

        // While it is out the device cannot be opened; once back, Open / Close opens it.
        session->OpenClosePort();
        EXPECT_FALSE(session->PublishedState().isOpen);
        platform::ReplugSimulatedDevice(deviceA);
        session->OpenClosePort();
        ASSERT_TRUE(session->PublishedState().isOpen);
        session->StartReceiving();
        const std::string token = "back" + std::to_string(++round);
        peer.Write(token);
        EXPECT_TRUE(WaitUntil([&] { return Text(*session).find(token) != std::string::npos; }))
            << Text(*session);
    }
}

TEST_F(PortDeviceLostTest, PseudoTerminalClosedMidTransferClosesThePortAndANewLineOpens) {
    auto line = std::make_unique<platform::ttytest::Pty>();
    config_.WritePortMap("COM5 = " + line->Path() + "\n");
    auto session = Make("COM5", link_);
    ASSERT_TRUE(session->PublishedState().isOpen);
    session->StartSending();
    line->Send("from the far end");
    ASSERT_TRUE(
        WaitUntil([&] { return Text(*session).find("from the far end") != std::string::npos; }));
    ASSERT_EQ(line->Receive(100).size(), 100u);  // the pattern is on its way

    const std::size_t mark = link_->Size();
    line->HangUp();
    ASSERT_TRUE(WaitLost(mark));
    session->OnDeviceLost();
    ExpectClosedWithOneBox(*session, mark, 0, EIO);

    // A second handling of the same loss, or one after the port was opened again, changes
    // nothing.
    const std::size_t afterClose = link_->Size();
    session->OnDeviceLost();
    EXPECT_EQ(link_->Size(), afterClose);

    platform::ttytest::Pty next;
    config_.WritePortMap("COM5 = " + next.Path() + "\n");
    session->OpenClosePort();
    ASSERT_TRUE(session->PublishedState().isOpen);
    session->OnDeviceLost();
    EXPECT_TRUE(session->PublishedState().isOpen);
    session->StartReceiving();
    next.Send("again");
    EXPECT_TRUE(WaitUntil([&] { return Text(*session).find("again") != std::string::npos; }))
        << Text(*session);
}

TEST_F(PortDeviceLostTest, IdlePseudoTerminalHungUpIsNoticedByTheWatcher) {
    platform::ttytest::Pty line;
    config_.WritePortMap("COM5 = " + line.Path() + "\n");
    auto session = Make("COM5", link_);
    session->StopReceiving();  // no worker looks at the device now
    const std::size_t mark = link_->Size();
    line.HangUp();
    ASSERT_TRUE(WaitLost(mark));
    session->OnDeviceLost();
    ExpectClosedWithOneBox(*session, mark, 0, EIO);
}

}  // namespace
