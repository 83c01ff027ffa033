// Secure socket ports end to end: a port window's session on "address:port:SSL:client:server"
// against real TLS servers on 127.0.0.1 (socat echoing over TLS, openssl s_server), with a test
// CA in ROOT: open to "Ready", plaintext both ways, the close-notify, the failed set-ups, the
// unchecked server, one set-up at a time, and a server that goes away mid-transfer.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/tls/cert_store.h"
#include "terminal/session/process_events.h"
#include "tests/support/test_pki.h"
#include "tests/terminal/net/socket_port_test_support.h"

using namespace port_test;

namespace {

constexpr const char* kCantEstablishSslText = "Halvo2 Can't establish SSL connection!\r\n";
constexpr const char* kNotVerifiedText = "Server certificate not verified!\r\n";

class SecurePortTest : public SocketPortTest {
  protected:
    void SetUp() override {
        SocketPortTest::SetUp();
        ASSERT_TRUE(pki_.MakeCa("ca", "/CN=Quenby Test CA"));
        ASSERT_TRUE(pki_.Make(
            "server",
            CertificateRequest("/CN=localhost").WithAltNames("DNS:localhost,IP:127.0.0.1")));
        ASSERT_TRUE(TestPki::Install(pki_.Cert("ca"),
                                     platform::tls::CertStore::StoreDirectory("ROOT"), "ca.pem"));
        // The product's "ssl" event, so that set-ups take turns as in the program.
        CreateProcessEvents();
    }
    void TearDown() override {
        CloseProcessEvents();
        SocketPortTest::TearDown();
    }

    static std::string SecureName(int port, const std::string& client, const std::string& server) {
        return TcpName(static_cast<std::uint16_t>(port)) + ":SSL:" + client + ":" + server;
    }
    bool StartServer(TlsServer& server, const std::string& name,
                     const std::vector<std::string>& extra = {}) {
        return server.Start(pki_.Cert(name), pki_.Key(name), extra);
    }
    // socat echoing over TLS with the certificate `name`, speaking only `version` ("TLS1.2").
    std::unique_ptr<SocatEcho> StartEcho(const std::string& name, const std::string& version) {
        return std::make_unique<SocatEcho>(
            "OPENSSL-LISTEN", ",cert=" + pki_.Cert(name) + ",key=" + pki_.Key(name) +
                                  ",verify=0,min-version=" + version + ",max-version=" + version);
    }

    TestPki pki_;
};

struct Version {
    const char* name;
    const char* serverOption;  // s_server's
    const char* echoVersion;   // socat's
};

void PrintTo(const Version& version, std::ostream* os) {
    *os << version.name;
}

class SecurePortVersions : public SecurePortTest, public ::testing::WithParamInterface<Version> {};

INSTANTIATE_TEST_SUITE_P(Versions, SecurePortVersions,
                         ::testing::Values(Version{"Tls12", "-tls1_2", "TLS1.2"},
                                           Version{"Tls13", "-tls1_3", "TLS1.3"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(SecurePortVersions, EchoedPatternAndTypedCharactersComeBackAsPlaintext) {
    const std::unique_ptr<SocatEcho> echo = StartEcho("server", GetParam().echoVersion);
    ASSERT_TRUE(echo->Started());
    auto session = Make(SecureName(echo->Port(), "", "localhost"), link_);
    ASSERT_TRUE(session->PublishedState().isOpen) << Text(*session);
    EXPECT_TRUE(IsSubsequence(
        {Indicator(ID_INDICATOR_OPEN, 1), Activity(ACTIVITY_READY), Activity(ACTIVITY_RECEIVING)},
        link_->Since()));
    EXPECT_EQ(Text(*session), "") << "a verified server gets no warning";

    session->StartSending();
    EXPECT_TRUE(WaitShown(*session, Pattern() + Pattern() + Pattern())) << Text(*session);
    session->StopSending();
    const ReportCounters counters = session->Counters();
    EXPECT_GT(counters.kbRead, 0);
    // What went out are records: more than the plaintext that came back.
    EXPECT_GT(counters.kbWritten, counters.kbRead);

    session->ClearScreen();
    for (const char c : std::string("typed!")) {
        session->OnChar(static_cast<unsigned char>(c), 0);
    }
    EXPECT_TRUE(WaitShown(*session, "typed!")) << Text(*session);

    const std::size_t mark = link_->Size();
    session->OpenClosePort();
    ExpectClosed(*session, mark);
}

// Against s_server, which shows what it received: the pattern and typed characters arrive as
// plaintext, a server's line is counted by its plaintext alone, and the close says goodbye
// with a close-notify (s_server prints DONE for it; a bare TCP end is an error to it).
TEST_P(SecurePortVersions, ServerSeesPlaintextAndTheCloseNotify) {
    TlsServer server;
    ASSERT_TRUE(StartServer(server, "server", {GetParam().serverOption, "-naccept", "1"}));
    auto session = Make(SecureName(server.Port(), "", "localhost"), link_);
    ASSERT_TRUE(session->PublishedState().isOpen) << Text(*session);

    session->StartSending();
    EXPECT_TRUE(server.WaitForOutput(Pattern())) << server.Output();
    session->StopSending();
    for (const char c : std::string("typed!")) {
        session->OnChar(static_cast<unsigned char>(c), 0);
    }
    EXPECT_TRUE(server.WaitForOutput("typed!")) << server.Output();

    // Larger than one read block and than a TLS 1.2 record's overhead could hide.
    const std::string line(5000, 'L');
    server.Type(line);
    ASSERT_TRUE(WaitShown(*session, line + "\r\n")) << Text(*session).size();
    EXPECT_DOUBLE_EQ(session->Counters().kbRead, (line.size() + 1) / 1024.0)
        << "the received kilobytes count the plaintext";

    const std::size_t mark = link_->Size();
    session->OpenClosePort();
    EXPECT_TRUE(server.WaitForOutput("DONE")) << "no close-notify reached s_server:\n"
                                              << server.Output();
    ExpectClosed(*session, mark);
}

// A server the name or the trust refuses fails with the set-up's text and leaves the port
// closed; the next port to a good server still opens (the set-up turn was given back).
TEST_F(SecurePortTest, RefusedServerFailsTheOpenAndAGoodPortOpensNext) {
    ASSERT_TRUE(pki_.MakeCa("otherca", "/CN=Not Trusted CA"));
    struct Row {
        const char* what;
        CertificateRequest request;
    };
    const Row rows[] = {
        {"wrong name", CertificateRequest("/CN=other.example").WithAltNames("DNS:other.example")},
        {"untrusted CA", CertificateRequest("/CN=localhost")
                             .WithAltNames("DNS:localhost,IP:127.0.0.1")
                             .WithIssuer("otherca")},
    };
    TlsServer good;
    ASSERT_TRUE(StartServer(good, "server"));
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string name = "bad" + std::to_string(n++);
        ASSERT_TRUE(pki_.Make(name, row.request));
        TlsServer bad;
        ASSERT_TRUE(StartServer(bad, name));

        auto refused = Make(SecureName(bad.Port(), "", "localhost"), link_);
        EXPECT_EQ(Text(*refused), kCantEstablishSslText);
        EXPECT_FALSE(refused->PublishedState().isOpen);
        EXPECT_EQ(link_->LastActivity(), ACTIVITY_NOT_READY);
        EXPECT_EQ(platform::WinsockStartCount(), 0);
        ASSERT_TRUE(SslSetupEvent()->IsSet()) << "a failed set-up gives its turn back";

        auto next = Make(SecureName(good.Port(), "", "localhost"));
        EXPECT_TRUE(next->PublishedState().isOpen) << Text(*next);
        next->OpenClosePort();
    }
}

// The name's client field picks the certificate from MY that a server insisting on one gets;
// without one, or with a text no certificate matches, the set-up fails with its text.
TEST_F(SecurePortTest, ClientFieldPicksTheCertificateAServerInsistsOn) {
    ASSERT_TRUE(pki_.Make("client",
                          CertificateRequest("/O=Quenby/CN=Port Client").WithUsage("clientAuth")));
    ASSERT_TRUE(TestPki::Install(pki_.Bundle("client"),
                                 platform::tls::CertStore::StoreDirectory("MY"), "client.pem"));
    struct Row {
        const char* client;
        bool opens;
    };
    const Row rows[] = {{"port client", true}, {"", false}, {"Nobody Known", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string("client field \"") + row.client + "\"");
        // Up to TLS 1.2 the server's refusal ends the handshake itself.
        TlsServer server;
        ASSERT_TRUE(
            StartServer(server, "server", {"-Verify", "1", "-CAfile", pki_.Cert("ca"), "-tls1_2"}));
        auto session = Make(SecureName(server.Port(), row.client, "localhost"));
        EXPECT_EQ(session->PublishedState().isOpen, row.opens) << Text(*session);
        if (row.opens) {
            EXPECT_EQ(Text(*session), "");
            session->OnChar('!', 0);
            EXPECT_TRUE(server.WaitForOutput("!")) << server.Output();
            EXPECT_NE(server.Output().find("Port Client"), std::string::npos) << server.Output();
        } else {
            EXPECT_EQ(Text(*session), kCantEstablishSslText);
        }
    }
}

// With an empty server field nothing is examined: a server no CA vouches for is accepted, and
// the display says the certificate was not verified.
TEST_F(SecurePortTest, EmptyServerFieldOpensUncheckedAndSaysSo) {
    ASSERT_TRUE(pki_.Make("selfsigned", CertificateRequest("/CN=nobody").WithIssuer("")));
    const std::unique_ptr<SocatEcho> echo = StartEcho("selfsigned", "TLS1.3");
    ASSERT_TRUE(echo->Started());
    auto session = Make(SecureName(echo->Port(), "", ""), link_);
    ASSERT_TRUE(session->PublishedState().isOpen) << Text(*session);
    EXPECT_EQ(Text(*session), kNotVerifiedText);
    EXPECT_EQ(link_->LastActivity(), ACTIVITY_RECEIVING);
    session->StartSending();
    EXPECT_TRUE(WaitShown(*session, kNotVerifiedText + Pattern())) << Text(*session);
}

// The server goes away while the port receives (and, in one case, sends): the port closes itself
// and says so in its display, without a box.
TEST_F(SecurePortTest, ServerThatEndsTheConnectionClosesThePort) {
    struct Row {
        const char* what;
        bool sending;
        const char* line;
    };
    const Row rows[] = {
        {"stopped mid-transfer", true, "Halvo2 lost the connection: the other side "},
        {"stopped while the port only receives", false,
         "Halvo2 lost the connection: the other side "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TlsServer server;
        ASSERT_TRUE(StartServer(server, "server", {"-naccept", "1"}));
        auto session = Make(SecureName(server.Port(), "", "localhost"), link_);
        ASSERT_TRUE(session->PublishedState().isOpen) << Text(*session);
        server.Type("last words");
        ASSERT_TRUE(WaitShown(*session, "last words\r\n"));
        if (row.sending) {
            session->StartSending();
            ASSERT_TRUE(server.WaitForOutput(Pattern()));
        }

        const std::size_t mark = link_->Size();
        server.Stop();
        ASSERT_TRUE(HandleLoss(*session, mark)) << server.Output();
        EXPECT_TRUE(WaitShown(*session, std::string("last words\r\n") + row.line))
            << Text(*session);
        EXPECT_TRUE(IsSubsequence({Indicator(ID_INDICATOR_OPEN, 0)}, link_->Since(mark)));
        ExpectClosed(*session, mark);
        EXPECT_EQ(prompts_.Count(), 0u);
    }
}

// Two secure ports open at once while one server accepts and never answers: that set-up holds
// the turn until its deadline and fails, and only then does the other port set up and open.
TEST_F(SecurePortTest, SilentServerHoldsTheTurnUntilItsDeadlineThenTheOtherPortOpens) {
    TcpTestListener silent;
    TlsServer good;
    ASSERT_TRUE(StartServer(good, "server", {"-state"}));

    std::unique_ptr<PortSession> stalled;
    std::thread stalledThread([&] {
        stalled =
            Make(SecureName(silent.Port(), "", "localhost"), std::make_shared<RecordingLink>());
    });
    TcpTestConnection peer = silent.Accept();
    EXPECT_TRUE(peer.Valid());
    // Its client hello has come: it holds the turn now.
    EXPECT_EQ(peer.Read(1).substr(0, 1), "\x16");

    std::unique_ptr<PortSession> waiting;
    std::thread waitingThread(
        [&] { waiting = Make(SecureName(good.Port(), "", "localhost"), link_); });
    // The other port has connected and waits for its turn: s_server has begun its accept.
    EXPECT_TRUE(good.WaitForOutput("before SSL initialization")) << good.Output();
    // Until the silent one's set-up ends (its socket closes), no client hello reaches s_server.
    bool helloBeforeTurn = false;
    EXPECT_TRUE(WaitUntil([&] {
        if (good.Output().find("read client hello") != std::string::npos) {
            helloBeforeTurn = !peer.Ended();
            return true;
        }
        return peer.Ended();
    }));
    EXPECT_FALSE(helloBeforeTurn) << "the other port's set-up did not wait for its turn";

    stalledThread.join();
    waitingThread.join();
    EXPECT_EQ(Text(*stalled), kCantEstablishSslText);
    EXPECT_FALSE(stalled->PublishedState().isOpen);
    EXPECT_TRUE(waiting->PublishedState().isOpen) << Text(*waiting);
    EXPECT_EQ(link_->LastActivity(), ACTIVITY_RECEIVING);
}

// The window's close while the port waits for the set-up turn that another set-up holds (here
// the test): the wait ends at once with the set-up's text, and the turn stays with its holder.
TEST_F(SecurePortTest, WindowCloseEndsAWaitForTheSetUpTurn) {
    TcpTestListener listener;
    ASSERT_EQ(platform::WaitForSingleObject(*SslSetupEvent(), 0), WAIT_OBJECT_0);
    PortSession session(SecureName(listener.Port(), "", "localhost"), link_, prompts_);
    const std::function<void()> interrupt = session.OpenInterrupter();
    std::atomic<bool> done{false};
    std::thread portThread([&] {
        session.Create();
        done = true;
    });
    // Connected: the port now waits for its turn.
    TcpTestConnection peer = listener.Accept();
    EXPECT_TRUE(peer.Valid());
    interrupt();
    EXPECT_TRUE(WaitUntil([&] { return done.load(); })) << "the close waited for the turn";
    EXPECT_FALSE(SslSetupEvent()->IsSet()) << "the turn is still the holder's";
    SslSetupEvent()->Set();
    portThread.join();
    EXPECT_EQ(Text(session), kCantEstablishSslText);
    EXPECT_FALSE(session.PublishedState().isOpen);
    EXPECT_EQ(peer.Read(1), "") << "no handshake byte went out";
}

}  // namespace
