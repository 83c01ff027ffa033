// Socket ports end to end: a port window's session on "address:port" against real peers on
// 127.0.0.1 (socat echoing, or a listener of the test's own), through open, data both ways,
// close, the failures of the open, and a peer that closes or resets the connection.

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <thread>

#include "platform/net/winsock.h"
#include "terminal/net/socket_transport.h"
#include "terminal/session/test_pattern.h"
#include "tests/support/tcp_test_peer.h"
#include "tests/terminal/net/socket_port_test_support.h"

using namespace port_test;

namespace {

TEST_F(SocketPortTest, EchoedPatternAndTypedCharactersComeBackWhole) {
    SocatEcho echo;
    ASSERT_TRUE(echo.Started());
    auto session = Make(TcpName(echo.Port()), link_);
    ASSERT_TRUE(session->PublishedState().isOpen) << Text(*session);
    EXPECT_TRUE(IsSubsequence(
        {Indicator(ID_INDICATOR_OPEN, 1), Activity(ACTIVITY_READY), Activity(ACTIVITY_RECEIVING)},
        link_->Since()));
    EXPECT_EQ(platform::WinsockStartCount(), 1);

    session->StartSending();
    EXPECT_TRUE(WaitShown(*session, Pattern() + Pattern())) << Text(*session);
    session->StopSending();
    const ReportCounters counters = session->Counters();
    EXPECT_GT(counters.kbWritten, 0);
    EXPECT_GT(counters.kbRead, 0);
    // The report shows what moved, and no line errors.
    const std::string report = session->ReportText(std::time(nullptr));
    EXPECT_EQ(report.find("Total Bytes Transfered: 0K"), std::string::npos) << report;
    EXPECT_EQ(report.find("Total Bytes Received  : 0K"), std::string::npos) << report;
    EXPECT_NE(report.find("Total Errors     : 0\n"), std::string::npos) << report;

    // Typed characters go out uncounted and are shown only as the peer echoes them.
    session->ClearScreen();
    for (const char c : std::string("typed!")) {
        session->OnChar(static_cast<unsigned char>(c), 0);
    }
    EXPECT_TRUE(WaitShown(*session, "typed!")) << Text(*session);

    const std::size_t mark = link_->Size();
    session->OpenClosePort();
    ExpectClosed(*session, mark);
}

TEST_F(SocketPortTest, CloseEndsTheConnectionAndOpenMakesANewOne) {
    TcpTestListener listener;
    auto session = Make(TcpName(listener.Port()), link_);
    TcpTestConnection peer = listener.Accept();
    ASSERT_TRUE(peer.Valid());
    ASSERT_TRUE(peer.Write("from the peer\r\n"));
    EXPECT_TRUE(WaitShown(*session, "from the peer\r\n"));

    std::size_t mark = link_->Size();
    session->OpenClosePort();
    EXPECT_TRUE(peer.WaitEndOfFile()) << "the peer sees the end of the connection";
    ExpectClosed(*session, mark);

    // A later open connects again; receiving stays off until switched on.
    mark = link_->Size();
    session->OpenClosePort();
    TcpTestConnection again = listener.Accept();
    ASSERT_TRUE(again.Valid());
    EXPECT_TRUE(session->PublishedState().isOpen);
    EXPECT_EQ(link_->LastActivity(mark), ACTIVITY_READY);
    session->StartSending();
    EXPECT_EQ(again.Read(Pattern().size()), Pattern());
}

TEST_F(SocketPortTest, NoListenerLeavesThePortClosedWithItsText) {
    auto session = Make(TcpName(UnusedTcpPort()), link_);
    EXPECT_EQ(Text(*session), kCantOpenText);
    ExpectClosed(*session, 0);
    EXPECT_EQ(prompts_.Count(), 0u);
    auto* transport = dynamic_cast<SocketTransport*>(session->Transport());
    ASSERT_NE(transport, nullptr);
    EXPECT_EQ(transport->LastConnectError(), platform::WSAECONNREFUSED);
}

// A port text that is no TCP port raises the box and makes no connection: the listener whose
// port the text starts with is never reached.
TEST_F(SocketPortTest, PortTextThatIsNoTcpPortShowsTheBoxAndConnectsNowhere) {
    TcpTestListener listener;
    const std::string port = std::to_string(listener.Port());
    const std::string texts[] = {port + "x", "x" + port, port + " ", "0",
                                 "70000",    "65536",    "-" + port, ""};
    for (const std::string& text : texts) {
        SCOPED_TRACE("port text \"" + text + "\"");
        const std::size_t boxes = prompts_.Count();
        auto session = Make("127.0.0.1:" + text, link_);
        EXPECT_EQ(Text(*session), kCantOpenText);
        EXPECT_FALSE(session->PublishedState().isOpen);
        ASSERT_TRUE(WaitUntil([&] { return prompts_.Count() > boxes; }));
        const auto box = prompts_.Records().back();
        EXPECT_EQ(box.text, "Invalid Socket Port!");
        EXPECT_EQ(box.caption, "Data Error...");
        EXPECT_EQ(box.style, static_cast<UINT>(MB_ICONHAND));
        EXPECT_FALSE(listener.Pending());
        EXPECT_EQ(platform::WinsockStartCount(), 0);
    }
}

TEST_F(SocketPortTest, AddressThatIsNotDottedFailsWithoutAConnect) {
    auto session = Make("localhost:" + std::to_string(UnusedTcpPort()), link_);
    EXPECT_EQ(Text(*session), kCantOpenText);
    ExpectClosed(*session, 0);
}

// A secure port connects first and then sets up its channel: a peer that speaks no TLS and
// hangs up after the client's first message fails the set-up, and the port closes again.
TEST_F(SocketPortTest, SecureNameConnectsThenFailsItsSetUpWithAPlainPeer) {
    TcpTestListener listener;
    std::thread portThread;
    std::unique_ptr<PortSession> session;
    portThread = std::thread([&] { session = Make(TcpName(listener.Port()) + ":SSL::server"); });
    TcpTestConnection peer = listener.Accept();
    EXPECT_TRUE(peer.Valid()) << "the TCP connect comes first";
    EXPECT_EQ(peer.Read(1).substr(0, 1), "\x16") << "then the client's first handshake record";
    peer = TcpTestConnection();
    portThread.join();
    EXPECT_EQ(Text(*session), "Halvo2 Can't establish SSL connection!\r\n");
    EXPECT_FALSE(session->PublishedState().isOpen);
    EXPECT_EQ(platform::WinsockStartCount(), 0);
}

// The peer ends the connection while the port receives: the port closes itself, says so in
// its display (no box), and opens again.
TEST_F(SocketPortTest, PeerThatClosesOrResetsClosesThePort) {
    struct Case {
        const char* name;
        bool reset;
        const char* line;
    };
    const Case cases[] = {
        {"orderly close", false,
         "Halvo2 lost the connection: the other side closed the connection!\r\n"},
        {"reset mid-transfer", true,
         "Halvo2 lost the connection: the other side reset the connection!\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TcpTestListener listener;
        auto session = Make(TcpName(listener.Port()), link_);
        TcpTestConnection peer = listener.Accept();
        ASSERT_TRUE(peer.Valid());
        // Only the reset comes mid-transfer: bytes sent after an orderly end would make the
        // peer's system answer with a reset of its own.
        if (c.reset) {
            session->StartSending();
            ASSERT_FALSE(peer.Read(4 * Pattern().size()).empty());
        }
        ASSERT_TRUE(peer.Write("last words"));
        ASSERT_TRUE(WaitShown(*session, "last words"));

        const std::size_t mark = link_->Size();
        if (c.reset) {
            peer.Reset();
        } else {
            peer = TcpTestConnection();
        }
        ASSERT_TRUE(HandleLoss(*session, mark));
        EXPECT_TRUE(WaitShown(*session, std::string("last words") + c.line)) << Text(*session);
        EXPECT_TRUE(IsSubsequence({Indicator(ID_INDICATOR_OPEN, 0)}, link_->Since(mark)));
        ExpectClosed(*session, mark);
        EXPECT_EQ(prompts_.Count(), 0u);

        session->OpenClosePort();
        EXPECT_TRUE(listener.Accept().Valid());
        EXPECT_TRUE(session->PublishedState().isOpen);
        session->OpenClosePort();
    }
}

// A connect the peer never answers (its listener's queue is full) ends as soon as the window's
// close asks, not after the connect's own time-out.
TEST_F(SocketPortTest, WindowCloseEndsAConnectInProgress) {
    TcpTestListener listener(0);
    ASSERT_TRUE(listener.FillQueue());
    PortSession session(TcpName(listener.Port()), link_, prompts_);
    const std::function<void()> interrupt = session.OpenInterrupter();
    std::thread portThread([&] { session.Create(); });
    interrupt();
    portThread.join();
    EXPECT_EQ(Text(session), kCantOpenText);
    ExpectClosed(session, 0);
    auto* transport = dynamic_cast<SocketTransport*>(session.Transport());
    ASSERT_NE(transport, nullptr);
    EXPECT_EQ(transport->LastConnectError(), platform::WSAEINTR);
}

}  // namespace
