// A port session against simulated devices: open and close, the workers over a null-modem
// cable, typed characters, the line commands and the line settings.

#include "terminal/session/port_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <functional>

#include "terminal/session/test_pattern.h"
#include "tests/terminal/session/port_session_test_support.h"

using namespace port_test;

namespace {

using PortSessionTest = SessionTest;
using Posts = std::vector<Posted>;

TEST_F(PortSessionTest, OpenShowsLinesReadyAndThenReceiving) {
    PeerDevice peer("COM2");  // its DTR and RTS give this end CTS, DSR and CD
    auto session = Make("COM1", link_);
    const Posts expected = {
        Indicator(ID_INDICATOR_OPEN, 1), Indicator(ID_INDICATOR_RTS, 1),
        Indicator(ID_INDICATOR_DTR, 1),  Indicator(ID_INDICATOR_CTS, 1),
        Indicator(ID_INDICATOR_DSR, 1),  Indicator(ID_INDICATOR_CD, 1),
        Activity(ACTIVITY_READY),        Activity(ACTIVITY_RECEIVING),
    };
    EXPECT_EQ(link_->Since(), expected);
    const PortPublishedState state = session->PublishedState();
    EXPECT_TRUE(state.isOpen && state.receiving && state.dtrOn && state.rtsOn && !state.sending);
    const DWORD lines = MS_CTS_ON | MS_DSR_ON;
    EXPECT_TRUE(WaitUntil([&] { return (peer.ModemStatus() & lines) == lines; }));
}

TEST_F(PortSessionTest, CtsFlowControlMarksRtsWithoutRaisingIt) {
    DefaultPortConfig().fOutxCtsFlow = 1;
    DefaultPortConfig().fRtsControl = RTS_CONTROL_DISABLE;
    PeerDevice peer("COM2");
    auto session = Make("COM1", link_);
    EXPECT_TRUE(IsSubsequence({Indicator(ID_INDICATOR_RTS, 1), Indicator(ID_INDICATOR_DTR, 1)},
                              link_->Since()));
    EXPECT_TRUE(session->PublishedState().rtsOn);
    // DTR was raised, so the peer sees DSR; RTS was only marked, so its CTS stays off.
    ASSERT_TRUE(WaitUntil([&] { return (peer.ModemStatus() & MS_DSR_ON) != 0; }));
    EXPECT_EQ(peer.ModemStatus() & MS_CTS_ON, 0u);
}

TEST_F(PortSessionTest, MissingDeviceShowsTextAndNotReadyAndOpenRetries) {
    auto session = Make("COM4", link_);
    EXPECT_EQ(Text(*session), "Halvo2 Can't open the port!\r\n");
    // The creation's Receive found the port closed: nothing but "Not Ready".
    EXPECT_EQ(link_->Since(), Posts{Activity(ACTIVITY_NOT_READY)});
    EXPECT_FALSE(session->PublishedState().isOpen || session->PublishedState().receiving);

    config_.WritePortMap("COM4 = sim:loopback\n");  // the device turns up
    const std::size_t mark = link_->Size();
    session->OpenClosePort();
    EXPECT_TRUE(session->PublishedState().isOpen);
    EXPECT_TRUE(IsSubsequence({Indicator(ID_INDICATOR_OPEN, 1), Activity(ACTIVITY_READY)},
                              link_->Since(mark)));
}

TEST_F(PortSessionTest, CloseTurnsIndicatorsOffEndsEveryThreadAndReopenDoesNotReceive) {
    { PeerDevice warmUp("COM2"); }  // the simulation's own thread exists from here on
    const int threadsBefore = ThreadCount();
    auto session = Make("COM3", link_);
    session->StartSending();
    session->OnChar('x', 0x2D);

    std::size_t mark = link_->Size();
    session->OpenClosePort();
    // Every line pane goes off, the loopback, break, XOFF and toggle-low ones too.
    const Posts expected = {
        Indicator(ID_INDICATOR_OPEN, 0), Indicator(ID_INDICATOR_DTR, 0),
        Indicator(ID_INDICATOR_RTS, 0),  Indicator(ID_INDICATOR_DSR, 0),
        Indicator(ID_INDICATOR_CTS, 0),  Indicator(ID_INDICATOR_CD, 0),
        Indicator(ID_INDICATOR_RING, 0), Indicator(ID_INDICATOR_LPBK, 0),
        Indicator(ID_INDICATOR_BRK, 0),  Indicator(ID_INDICATOR_XOFF, 0),
        Indicator(ID_INDICATOR_TGL, 0),  Activity(ACTIVITY_NOT_READY),
    };
    // The watcher may still be reporting the lines the open raised when the close begins:
    // such reports come first, and the close's own posts end the list, nothing after them.
    const Posts closing = link_->Since(mark);
    ASSERT_GE(closing.size(), expected.size());
    const auto closeBegins = closing.end() - static_cast<long>(expected.size());
    EXPECT_EQ(Posts(closeBegins, closing.end()), expected);
    for (auto p = closing.begin(); p != closeBegins; ++p) {
        const bool lineOn = p->wParam == ID_INDICATOR_CTS || p->wParam == ID_INDICATOR_DSR ||
                            p->wParam == ID_INDICATOR_CD;
        EXPECT_TRUE(p->message == UWM_INDICATOR && lineOn && p->lParam == 1)
            << ::testing::PrintToString(*p);
    }
    // The watcher, both workers and the typed-character writer have ended and been joined.
    EXPECT_EQ(ThreadCount(), threadsBefore);
    const PortPublishedState closed = session->PublishedState();
    EXPECT_FALSE(closed.isOpen || closed.sending || closed.receiving || closed.dtrOn ||
                 closed.rtsOn);

    mark = link_->Size();
    session->OpenClosePort();
    EXPECT_TRUE(session->PublishedState().isOpen);
    EXPECT_FALSE(session->PublishedState().receiving);
    EXPECT_EQ(link_->LastActivity(mark), ACTIVITY_READY);
}

TEST_F(PortSessionTest, WatcherFollowsThePeersLinesAfterEveryReopen) {
    PeerDevice peer("COM2");
    auto session = Make("COM1", link_);
    for (int round = 1; round <= 3; ++round) {
        session->OpenClosePort();
        session->OpenClosePort();
        ASSERT_TRUE(session->PublishedState().isOpen);
        for (const bool on : {false, true}) {
            const std::size_t mark = link_->Size();
            peer.Escape(on ? SETDTR : CLRDTR);
            // The peer's DTR is this end's DSR and CD; only the watcher reports their changes.
            ASSERT_TRUE(WaitPosted(*link_, Indicator(ID_INDICATOR_DSR, on), mark))
                << "round " << round << " DTR " << on;
            ASSERT_TRUE(WaitPosted(*link_, Indicator(ID_INDICATOR_CD, on), mark))
                << "round " << round << " DTR " << on;
        }
    }
}

TEST_F(PortSessionTest, PatternReachesPeerDisplayAndBothEndsCountTheSameKilobytes) {
    auto receiver = Make("COM2");
    auto sender = Make("COM1");
    sender->StartSending();
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Text(*receiver).find("\r\nABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n") != std::string::npos;
        },
        10000ms));
    sender->StopSending();

    // The pattern written last reaches the peer; closing the sender then ends its send worker,
    // so nothing is written after it and the sender's count is final.
    ASSERT_TRUE(
        WaitUntil([&] { return sender->Counters().kbWritten == receiver->Counters().kbRead; }));
    sender->OpenClosePort();
    ASSERT_FALSE(sender->PublishedState().isOpen);
    const double agreed = sender->Counters().kbWritten;
    ASSERT_TRUE(WaitUntil([&] { return receiver->Counters().kbRead == agreed; }))
        << receiver->Counters().kbRead * 1024 << " of " << agreed * 1024 << " bytes arrived";
    const auto bytes = static_cast<long long>(agreed * 1024);
    EXPECT_GT(bytes, 0);
    EXPECT_EQ(bytes % static_cast<long long>(TestPattern::kAlphabetLength), 0);  // whole patterns
    EXPECT_EQ(receiver->Counters().kbWritten, 0.0);
}

TEST_F(PortSessionTest, ActivityFollowsEachStartAndStop) {
    auto session = Make("COM3", link_);
    using Op = std::function<void(PortSession&)>;
    const Op startReceiving = [](PortSession& s) { s.StartReceiving(); };
    const Op stopReceiving = [](PortSession& s) { s.StopReceiving(); };
    const Op startSending = [](PortSession& s) { s.StartSending(); };
    const Op stopSending = [](PortSession& s) { s.StopSending(); };
    const Op send = [](PortSession& s) { s.OnSendCommand(); };
    const Op receive = [](PortSession& s) { s.OnReceiveCommand(); };
    const std::vector<std::pair<Op, LPARAM>> steps = {
        // -1: nothing is posted
        {startReceiving, -1},
        {startSending, ACTIVITY_SENDING_RECEIVING},
        {startSending, -1},
        {stopReceiving, ACTIVITY_SENDING},
        {stopSending, ACTIVITY_READY},
        {stopSending, ACTIVITY_READY},
        {send, ACTIVITY_SENDING},
        {receive, ACTIVITY_SENDING_RECEIVING},
        {send, ACTIVITY_RECEIVING},
        {receive, ACTIVITY_READY},
    };
    // Only the activity pane is looked at: the watcher may still be reporting the lines that
    // the open raised on the plug while the steps run.
    const auto activities = [&](std::size_t from) {
        Posts found;
        for (const Posted& p : link_->Since(from)) {
            if (p.message == UWM_INDICATOR && p.wParam == ID_INDICATOR_ACTIVITY) {
                found.push_back(p);
            }
        }
        return found;
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const std::size_t mark = link_->Size();
        steps[i].first(*session);
        const LPARAM code = steps[i].second;
        EXPECT_EQ(activities(mark),
                  code < 0 ? Posts{} : Posts{Activity(static_cast<ActivityCode>(code))})
            << "step " << i;
    }
}

TEST_F(PortSessionTest, ClosedPortChangesNothingAndLineCommandsSaySo) {
    auto session = Make("COM4", link_);
    const std::size_t mark = link_->Size();
    for (auto op :
         {&PortSession::StartReceiving, &PortSession::StartSending, &PortSession::StopReceiving,
          &PortSession::StopSending, &PortSession::OnReceiveCommand, &PortSession::OnSendCommand,
          &PortSession::OnDtrCommand, &PortSession::OnRtsCommand}) {
        (session.get()->*op)();
    }
    session->OnChar('a', 0x1E);
    session->ApplyPortConfig(DefaultPortConfig());
    EXPECT_EQ(link_->Since(mark), Posts{});
    const PortPublishedState state = session->PublishedState();
    EXPECT_FALSE(state.isOpen || state.receiving || state.sending || state.dtrOn || state.rtsOn);
    // The creation's Receive, both starts and both commands that start.
    EXPECT_EQ(Traced("Port is closed!\n"), 5);
    EXPECT_EQ(Traced("Can't Set DTR, because the port is closed"), 1);
    EXPECT_EQ(Traced("Can't Set RTS, because the port is closed"), 1);
    ASSERT_TRUE(WaitForPortErrorBoxes(5000));
    const auto boxes = prompts_.Records();
    ASSERT_EQ(boxes.size(), 2u);
    for (const auto& box : boxes) {
        EXPECT_EQ(box.text, "Port is not open!\t");
        EXPECT_EQ(box.caption, "\\\\.\\COM4");
        EXPECT_EQ(box.style, MB_ICONHAND);
    }
}

TEST_F(PortSessionTest, ReportViewCountsWithoutShowingAndTheReportKeepsEachDirection) {
    PeerDevice peer("COM2");
    auto session = Make("COM1");
    session->SetReportView(true);
    peer.Write("hidden");
    ASSERT_TRUE(WaitUntil([&] { return session->Counters().kbRead * 1024 == 6; }));
    // Starting to send clears the sent count only; what was received stays in the report.
    session->StartSending();
    session->StopSending();
    const std::int64_t hourLater = std::time(nullptr) + 3600;
    const std::string report = session->ReportText(hourLater);
    for (const char* line : {"Total time : 0:01:00:0", "Total time receiving: 0:01:00:0",
                             "Total Bytes Received  : 0.00585938K\n"}) {
        EXPECT_NE(report.find(line), std::string::npos) << line << " in\n" << report;
    }
    EXPECT_EQ(session->LastReportText(), report);

    session->SetReportView(false);
    EXPECT_EQ(Text(*session), "");
    peer.Write("shown");
    EXPECT_TRUE(WaitUntil([&] { return Text(*session) == "shown"; })) << Text(*session);

    // A new open starts the times and counts again.
    session->OpenClosePort();
    session->OpenClosePort();
    const std::string reopened = session->ReportText(std::time(nullptr));
    for (const char* line : {"Total time : 0:00:00:0", "Total time receiving: 0:00:00:00",
                             "Total Bytes Received  : 0K\n"}) {
        EXPECT_NE(reopened.find(line), std::string::npos) << line << " in\n" << reopened;
    }
}

TEST_F(PortSessionTest, TypedCharactersGoOutInOrderUncountedUnshownControlsPostRequests) {
    PeerDevice peer("COM2");
    auto session = Make("COM1", link_);
    struct Row {
        unsigned code;
        unsigned scanCode;
        Posts posted;
    };
    const std::vector<Row> rows = {
        {'H', 0x23, {}},
        {3, 0x2E, {{Target::MdiClient, WM_MDICASCADE, 0, 0}}},
        {8, 0x23, {{Target::MdiClient, WM_MDITILE, MDITILE_HORIZONTAL, 0}}},
        {15, 0x18, {{Target::MainFrame, WM_COMMAND, 32784, 0}}},
        {22, 0x2F, {{Target::MdiClient, WM_MDITILE, MDITILE_VERTICAL, 0}}},
        {8, 0x0E, {}},      // the Backspace key sends its code
        {0, 0x03, {}},      // an empty text: nothing
        {0x141, 0x1E, {}},  // beyond the display's codes: nothing
        {'\r', 0x1C, {}},
        {0xFF, 0, {}},
        {'i', 0x17, {}},
    };
    for (const Row& row : rows) {
        const std::size_t mark = link_->Size();
        session->OnChar(row.code, row.scanCode);
        EXPECT_EQ(link_->Since(mark), row.posted) << "code " << row.code;
    }
    EXPECT_TRUE(session->WaitTypedCharactersWritten(5000));
    const std::string sent = "H\x08\r\xffi";
    // In order, and 'i' came last: anything else sent would stand in between.
    EXPECT_EQ(peer.Read(sent.size()), sent);
    EXPECT_EQ(session->Transport()->Counts().kbWritten, 0.0);
    EXPECT_EQ(Text(*session), "");
}

TEST_F(PortSessionTest, DtrAndRtsCommandsToggleThePeersInputs) {
    PeerDevice peer("COM2");
    auto session = Make("COM1", link_);
    struct Row {
        void (PortSession::*command)();
        int indicator;
        DWORD peerInput;
        bool PortPublishedState::*flag;
    };
    const Row rows[] = {
        {&PortSession::OnDtrCommand, ID_INDICATOR_DTR, MS_DSR_ON, &PortPublishedState::dtrOn},
        {&PortSession::OnRtsCommand, ID_INDICATOR_RTS, MS_CTS_ON, &PortPublishedState::rtsOn},
    };
    for (const Row& row : rows) {
        for (const bool on : {false, true}) {
            const std::size_t mark = link_->Size();
            (session.get()->*row.command)();
            EXPECT_EQ(link_->Since(mark), Posts{Indicator(row.indicator, on)});
            EXPECT_EQ(session->PublishedState().*row.flag, on);
            EXPECT_TRUE(WaitUntil([&] {
                return ((peer.ModemStatus() & row.peerInput) != 0) == on;
            })) << row.indicator
                << " " << on;
        }
    }
}

TEST_F(PortSessionTest, RefusedLineChangeFlipsBackAndShowsTheErrorCode) {
    DefaultPortConfig().fDtrControl = DTR_CONTROL_HANDSHAKE;  // the driver owns DTR
    auto session = Make("COM1", link_);
    const Posts posted = link_->Since();
    EXPECT_TRUE(IsSubsequence({Indicator(ID_INDICATOR_DTR, 0), Activity(ACTIVITY_READY)}, posted));
    EXPECT_EQ(std::count(posted.begin(), posted.end(), Indicator(ID_INDICATOR_DTR, 1)), 0);
    EXPECT_FALSE(session->PublishedState().dtrOn);
    EXPECT_EQ(Traced("Halvo2 can't change the DTR!\n"), 1);
    ASSERT_TRUE(WaitForPortErrorBoxes(5000));
    ASSERT_EQ(prompts_.Count(), 1u);
    EXPECT_EQ(prompts_.Records()[0].text, "Port can't override the DTR!\t\n\n(error code: " +
                                              std::to_string(ERROR_INVALID_PARAMETER) + ")");
}

TEST_F(PortSessionTest, ApplyPortConfigTakesTheLinesFromTheRecord) {
    PeerDevice peer("COM2");
    auto session = Make("COM1", link_);
    struct Row {
        DWORD dtrControl;
        DWORD rtsControl;
        bool outX;
        BYTE byteSize;
        Posts posted;
    };
    const std::vector<Row> rows = {
        {DTR_CONTROL_DISABLE,
         RTS_CONTROL_ENABLE,
         false,
         8,
         {Indicator(ID_INDICATOR_DTR, 0), Indicator(ID_INDICATOR_RTS, 1),
          Indicator(ID_INDICATOR_XOFF, 0)}},
        {DTR_CONTROL_ENABLE,
         RTS_CONTROL_DISABLE,
         true,
         8,
         {Indicator(ID_INDICATOR_DTR, 1), Indicator(ID_INDICATOR_RTS, 0)}},
        {DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE, false, 4, {}},  // refused, silently
    };
    for (const Row& row : rows) {
        PortConfig config = DefaultPortConfig();
        config.fDtrControl = row.dtrControl;
        config.fRtsControl = row.rtsControl;
        config.fOutX = row.outX;
        config.ByteSize = row.byteSize;
        const std::size_t mark = link_->Size();
        session->ApplyPortConfig(config);
        EXPECT_EQ(link_->Since(mark), row.posted) << row.dtrControl << row.rtsControl;
    }
    EXPECT_TRUE(session->PublishedState().dtrOn && !session->PublishedState().rtsOn);
    EXPECT_TRUE(
        WaitUntil([&] { return (peer.ModemStatus() & (MS_DSR_ON | MS_CTS_ON)) == MS_DSR_ON; }));
    EXPECT_EQ(prompts_.Count(), 0u);
}

TEST_F(PortSessionTest, SessionDestroyedWhileOpenStopsEverything) {
    { PeerDevice warmUp("COM3"); }
    const int threadsBefore = ThreadCount();
    {
        auto a = Make("COM1");
        auto b = Make("COM2");
        a->StartSending();
        b->StartSending();
        a->OnChar('x', 0x2D);
        ASSERT_TRUE(WaitUntil([&] { return !Text(*b).empty(); }, 10000ms));
    }
    EXPECT_EQ(ThreadCount(), threadsBefore);
}

TEST_F(PortSessionTest, CaptureTakesNineCharactersInsteadOfTheDisplay) {
    auto session = Make("COM3");
    session->BeginCapture();
    ASSERT_TRUE(session->Transport()->WriteAll("TESTING", 8));  // the word and its zero
    ASSERT_TRUE(WaitUntil([&] { return session->CapturedText() == "TESTING"; }));
    ASSERT_TRUE(session->Transport()->WriteAll("ABCD", 4));
    ASSERT_TRUE(WaitUntil([&] { return session->CapturedText() == "TESTINGAB"; }));
    EXPECT_EQ(session->EndCapture(), "TESTINGAB");
    ASSERT_TRUE(session->Transport()->WriteAll("after", 5));
    EXPECT_TRUE(WaitUntil([&] { return Text(*session) == "after"; })) << Text(*session);
    EXPECT_EQ(session->CapturedText(), "");
}

}  // namespace
