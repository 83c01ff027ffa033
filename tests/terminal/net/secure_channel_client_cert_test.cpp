// Client certificates from the MY store against an openssl s_server that asks for one or
// requires one.
#include <string>

#include "tests/terminal/net/secure_channel_test_support.h"

namespace {

class SecureChannelClientCertificate : public SecureChannelTest {
  protected:
    void SetUp() override {
        SecureChannelTest::SetUp();
        ASSERT_TRUE(pki_.Make(
            "client", CertificateRequest("/O=Quenby/CN=Port Client").WithUsage("clientAuth")));
        ASSERT_TRUE(pki_.Make("locked", CertificateRequest("/CN=Locked Client")
                                            .WithUsage("clientAuth")
                                            .WithPassphrase("secret")));
        const std::string my = platform::tls::CertStore::StoreDirectory("MY");
        ASSERT_TRUE(TestPki::Install(pki_.Bundle("client"), my, "client.pem"));
        ASSERT_TRUE(TestPki::Install(pki_.Bundle("locked"), my, "locked.pem"));
    }
    // A server that asks ("-verify") or insists ("-Verify") on a certificate from the CA.
    bool StartAsking(TlsServer& server, const char* how, const char* version = "-tls1_3") {
        return StartServer(server, "server", {how, "1", "-CAfile", pki_.Cert("ca"), version});
    }
};

TEST_F(SecureChannelClientCertificate, ARequiredCertificateFromMyOpensThePort) {
    for (const char* version : {"-tls1_2", "-tls1_3"}) {
        SCOPED_TRACE(version);
        TlsServer server;
        ASSERT_TRUE(StartAsking(server, "-Verify", version));
        SecureChannel channel(turn_);
        ASSERT_EQ(channel.Establish(Connect(server.Port()), "port client", "localhost"), 0)
            << std::hex << channel.LastStatus();
        const std::string out = "signed in\n";
        EXPECT_EQ(channel.SendRecord(out.data(), static_cast<DWORD>(out.size())), SEC_E_OK);
        EXPECT_TRUE(server.WaitForOutput("signed in"));
        EXPECT_NE(server.Output().find("Port Client"), std::string::npos) << server.Output();
        CloseSockets();
    }
}

TEST_F(SecureChannelClientCertificate, AServerThatOnlyAsksGetsTheHandshakeWithoutOne) {
    TlsServer server;
    ASSERT_TRUE(StartAsking(server, "-verify"));
    SecureChannel channel(turn_);
    ASSERT_EQ(channel.Establish(Connect(server.Port()), "", "localhost"), 0)
        << std::hex << channel.LastStatus();
    server.Type("welcome");
    EXPECT_EQ(ReadAtLeast(channel, 8), "welcome\n");
}

TEST_F(SecureChannelClientCertificate, AServerThatRequiresOneFailsThePortWithoutIt) {
    {
        // Up to 1.2 the server's refusal ends the handshake.
        TlsServer server;
        ASSERT_TRUE(StartAsking(server, "-Verify", "-tls1_2"));
        SecureChannel channel(turn_);
        EXPECT_EQ(channel.Establish(Connect(server.Port()), "", "localhost"), 1);
        EXPECT_TRUE(SecFailed(channel.LastStatus()));
        EXPECT_TRUE(turn_->IsSet());
    }
    CloseSockets();
    {
        // From 1.3 on the client has finished its handshake before the server judges it:
        // the refusal comes as the first record, and no data ever arrives.
        TlsServer server;
        ASSERT_TRUE(StartAsking(server, "-Verify", "-tls1_3"));
        SecureChannel channel(turn_);
        if (channel.Establish(Connect(server.Port()), "", "localhost") == 0) {
            server.Type("never seen");
            SECURITY_STATUS status = SEC_E_OK;
            EXPECT_EQ(ReadAtLeast(channel, 1, &status), "");
            EXPECT_TRUE(SecFailed(status)) << std::hex << status;
        }
    }
}

TEST_F(SecureChannelClientCertificate, NoUsableCertificateFailsBeforeAnyHandshakeByte) {
    struct Row {
        const char* subject;
    };
    // No such subject; a key that would need its passphrase (nobody is asked for it).
    for (const Row& row : {Row{"Nobody"}, Row{"Locked Client"}}) {
        SCOPED_TRACE(row.subject);
        PlainListener listener;
        const int fd = Connect(listener.Port());
        SecureChannel channel(turn_);
        EXPECT_EQ(channel.Establish(fd, row.subject, "localhost"), 1);
        EXPECT_EQ(channel.LastStatus(), SEC_E_NO_CREDENTIALS);
        EXPECT_TRUE(turn_->IsSet());
        shutdown(fd, SHUT_WR);
        EXPECT_EQ(listener.ReceivedUntilClosed(), "");
    }
}

}  // namespace
