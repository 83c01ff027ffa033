// The secure channel's set-up against openssl s_server: both protocol versions, the server
// checks, the accept mode, the set-up turn and the handshake's deadline.
#include <sys/eventfd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "tests/support/scoped_env.h"
#include "tests/terminal/net/secure_channel_test_support.h"

namespace {

class SecureChannelVersions : public SecureChannelTest,
                              public ::testing::WithParamInterface<const char*> {};

INSTANTIATE_TEST_SUITE_P(Versions, SecureChannelVersions, ::testing::Values("1_2", "1_3"));

TEST_P(SecureChannelVersions, OpensMovesDataBothWaysAndClosesWithCloseNotify) {
    TlsServer server;
    ASSERT_TRUE(StartServer(server, "server", {std::string("-tls") + GetParam()}));
    SecureChannel channel(turn_);
    ASSERT_EQ(channel.Establish(Connect(server.Port()), "", "localhost"), 0)
        << std::hex << channel.LastStatus();
    EXPECT_EQ(channel.Protocol(), std::string("TLSv") + (GetParam()[2] == '2' ? "1.2" : "1.3"));
    EXPECT_TRUE(channel.ServerVerified());
    EXPECT_TRUE(turn_->IsSet());

    const std::string out = "from the port\n";
    EXPECT_EQ(channel.SendRecord(out.data(), static_cast<DWORD>(out.size())), SEC_E_OK);
    EXPECT_TRUE(server.WaitForOutput("from the port"));
    server.Type("from the server");
    EXPECT_EQ(ReadAtLeast(channel, 16), "from the server\n");

    EXPECT_EQ(channel.Shutdown(), SEC_E_OK);
    EXPECT_TRUE(server.WaitForOutput("DONE")) << "s_server saw no close-notify:\n"
                                              << server.Output();
    EXPECT_EQ(channel.SendRecord(out.data(), 1), SEC_E_INVALID_HANDLE);
}

TEST_F(SecureChannelTest, EveryBadServerFailsItsSetUpAndTheNextGoodOneStillOpens) {
    ASSERT_TRUE(pki_.MakeCa("otherca", "/CN=Not Trusted CA"));
    const std::string localhost = "DNS:localhost,IP:127.0.0.1";
    struct Row {
        const char* what;
        CertificateRequest request;
        SECURITY_STATUS status;
    };
    const Row rows[] = {
        {"wrong name", CertificateRequest("/CN=other.example").WithAltNames("DNS:other.example"),
         SEC_E_WRONG_PRINCIPAL},
        {"expired", CertificateRequest("/CN=localhost").WithAltNames(localhost).WithDays(-1),
         SEC_E_CERT_EXPIRED},
        {"untrusted CA",
         CertificateRequest("/CN=localhost").WithAltNames(localhost).WithIssuer("otherca"),
         SEC_E_UNTRUSTED_ROOT},
        {"client-only usage",
         CertificateRequest("/CN=localhost").WithAltNames(localhost).WithUsage("clientAuth"),
         SEC_E_CERT_UNKNOWN},
        {"self-signed", CertificateRequest("/CN=localhost").WithAltNames(localhost).WithIssuer(""),
         SEC_E_UNTRUSTED_ROOT},
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

        SecureChannel refused(turn_);
        EXPECT_EQ(refused.Establish(Connect(bad.Port()), "", "localhost"), 1);
        EXPECT_EQ(refused.LastStatus(), row.status);
        EXPECT_FALSE(refused.IsEstablished());
        EXPECT_TRUE(turn_->IsSet()) << "a failed set-up must give the turn back";

        // With no server name nothing is examined, and the caller can tell.
        SecureChannel unchecked(turn_);
        EXPECT_EQ(unchecked.Establish(Connect(bad.Port()), "", ""), 0);
        EXPECT_FALSE(unchecked.ServerVerified());

        SecureChannel next(turn_);
        EXPECT_EQ(next.Establish(Connect(good.Port()), "", "localhost"), 0);
        EXPECT_TRUE(next.ServerVerified());
        CloseSockets();
    }
}

TEST_F(SecureChannelTest, ACertificateInMyIsNoTrustAnchor) {
    ASSERT_TRUE(pki_.Make(
        "selfsigned",
        CertificateRequest("/CN=localhost").WithAltNames("DNS:localhost").WithIssuer("")));
    ASSERT_TRUE(TestPki::Install(pki_.Bundle("selfsigned"),
                                 platform::tls::CertStore::StoreDirectory("MY"), "own.pem"));
    TlsServer server;
    ASSERT_TRUE(StartServer(server, "selfsigned"));
    SecureChannel channel(turn_);
    EXPECT_EQ(channel.Establish(Connect(server.Port()), "localhost", "localhost"), 1);
    EXPECT_EQ(channel.LastStatus(), SEC_E_UNTRUSTED_ROOT);
}

TEST_F(SecureChannelTest, TheServerNameIsCheckedAsANameOrAsAnAddress) {
    TlsServer server;
    ASSERT_TRUE(StartServer(server, "server"));
    struct Row {
        const char* name;
        int result;
    };
    for (const Row& row :
         {Row{"localhost", 0}, Row{"LocalHost", 0}, Row{"127.0.0.1", 0}, Row{"127.0.0.2", 1},
          Row{"local", 1}, Row{"host", 1}, Row{"localhost.example", 1}}) {
        SCOPED_TRACE(row.name);
        SecureChannel channel(turn_);
        EXPECT_EQ(channel.Establish(Connect(server.Port()), "", row.name), row.result);
        if (row.result != 0) {
            EXPECT_EQ(channel.LastStatus(), SEC_E_WRONG_PRINCIPAL);
        }
        CloseSockets();
    }
}

TEST_F(SecureChannelTest, AServerNameLongerThanItsBufferIsRefusedBeforeAnyByteIsSent) {
    PlainListener listener;
    const int fd = Connect(listener.Port());
    SecureChannel channel(turn_);
    EXPECT_EQ(channel.Establish(fd, "", std::string(SecureChannel::kMaxServerName + 1, 'a')), 1);
    EXPECT_EQ(channel.LastStatus(), SEC_E_WRONG_PRINCIPAL);
    EXPECT_TRUE(turn_->IsSet());
    shutdown(fd, SHUT_WR);
    EXPECT_EQ(listener.ReceivedUntilClosed(), "");
}

TEST_F(SecureChannelTest, AServerThatTricklesCannotHoldTheSetUpTurnForEver) {
    PlainListener trickler;
    trickler.StartTrickling();
    SecureChannel stalled(turn_);
    EXPECT_EQ(stalled.Establish(Connect(trickler.Port()), "", "localhost", 500), 1);
    EXPECT_TRUE(turn_->IsSet());

    TlsServer good;
    ASSERT_TRUE(StartServer(good, "server"));
    SecureChannel next(turn_);
    EXPECT_EQ(next.Establish(Connect(good.Port()), "", "localhost"), 0);
}

TEST_F(SecureChannelTest, ASetUpHoldsTheTurnUntilItEnds) {
    PlainListener trickler;
    trickler.StartTrickling();
    std::atomic<int> result{-1};
    const int fd = Connect(trickler.Port());
    std::thread setUp([&] {
        SecureChannel channel(turn_);
        result = channel.Establish(fd, "", "localhost", 60000);
    });
    EXPECT_TRUE(WaitUntil([&] { return !turn_->IsSet(); })) << "the set-up never took the turn";
    EXPECT_EQ(result.load(), -1);
    trickler.Hangup();
    setUp.join();
    EXPECT_EQ(result.load(), 1);
    EXPECT_TRUE(turn_->IsSet());
}

// The wake descriptor (a window's close) ends a handshake that a trickling server would keep
// going for the whole deadline, and the turn is given back.
TEST_F(SecureChannelTest, TheWakeDescriptorEndsAHandshakeInProgress) {
    PlainListener trickler;
    trickler.StartTrickling();
    const int wake = eventfd(0, EFD_CLOEXEC);
    ASSERT_GE(wake, 0);
    std::atomic<int> result{-1};
    const int fd = Connect(trickler.Port());
    std::thread setUp([&] {
        SecureChannel channel(turn_);
        result = channel.Establish(fd, "", "localhost", 600000, wake);
    });
    EXPECT_TRUE(WaitUntil([&] { return !turn_->IsSet(); })) << "the set-up never took the turn";
    const std::uint64_t one = 1;
    EXPECT_EQ(write(wake, &one, sizeof one), static_cast<ssize_t>(sizeof one));
    EXPECT_TRUE(WaitUntil([&] { return result.load() != -1; })) << "the wake was not seen";
    trickler.Hangup();  // ends the handshake also when the wake was not seen
    setUp.join();
    EXPECT_EQ(result.load(), 1);
    EXPECT_TRUE(turn_->IsSet());
    close(wake);
}

// Trust also comes from the system's anchors: a CA in the system's hashed certificate directory
// (named by its environment variable here) vouches for a server as one in ROOT does.
TEST_F(SecureChannelTest, TheSystemCertificateDirectoryVouchesForAServer) {
    ASSERT_TRUE(pki_.MakeCa("sysca", "/CN=Quenby System CA"));
    ASSERT_TRUE(pki_.Make("sysserver", CertificateRequest("/CN=localhost")
                                           .WithAltNames("DNS:localhost,IP:127.0.0.1")
                                           .WithIssuer("sysca")));
    TlsServer server;
    ASSERT_TRUE(StartServer(server, "sysserver"));
    {
        SecureChannel untrusted(turn_);
        EXPECT_EQ(untrusted.Establish(Connect(server.Port()), "", "localhost"), 1);
        EXPECT_EQ(untrusted.LastStatus(), SEC_E_UNTRUSTED_ROOT);
        CloseSockets();
    }
    // The directory holds the CA under the name the lookup computes: its subject hash.
    FILE* hash = popen(("openssl x509 -hash -noout -in " + pki_.Cert("sysca")).c_str(), "r");
    ASSERT_NE(hash, nullptr);
    char text[32] = {};
    const bool read = std::fgets(text, sizeof text, hash) != nullptr;
    pclose(hash);
    ASSERT_TRUE(read);
    const std::string directory = pki_.Dir() + "/system";
    ASSERT_TRUE(TestPki::Install(pki_.Cert("sysca"), directory,
                                 std::string(text, std::strcspn(text, "\n")) + ".0"));
    ScopedEnv systemDirectory("SSL_CERT_DIR", directory.c_str());
    SecureChannel trusted(turn_);
    EXPECT_EQ(trusted.Establish(Connect(server.Port()), "", "localhost"), 0)
        << std::hex << trusted.LastStatus();
    EXPECT_TRUE(trusted.ServerVerified());
}

}  // namespace
