// The security package's client context against an OpenSSL server held in memory: handshakes,
// records cut anywhere, the largest record, bytes past the handshake and key updates.
#include "platform/tls/security_context.h"

#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <string>

#include "platform/tls/cert_store.h"
#include "tests/support/temp_config.h"
#include "tests/support/test_pki.h"

using platform::tls::Credentials;
using platform::tls::SecurityContext;

namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A TLS server whose records travel as strings.
class MemoryServer {
  public:
    MemoryServer(const std::string& cert, const std::string& key, int maxVersion) {
        ctx_ = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate_chain_file(ctx_, cert.c_str());
        SSL_CTX_use_PrivateKey_file(ctx_, key.c_str(), SSL_FILETYPE_PEM);
        SSL_CTX_set_max_proto_version(ctx_, maxVersion);
        ssl_ = SSL_new(ctx_);
        in_ = BIO_new(BIO_s_mem());
        out_ = BIO_new(BIO_s_mem());
        BIO_set_mem_eof_return(in_, -1);
        SSL_set_bio(ssl_, in_, out_);
        SSL_set_accept_state(ssl_);
    }
    ~MemoryServer() {
        SSL_free(ssl_);
        SSL_CTX_free(ctx_);
    }

    // Takes the client's bytes and gives back what the server answers; plaintext that came
    // with them is kept in Received().
    std::string Take(const std::string& bytes) {
        BIO_write(in_, bytes.data(), static_cast<int>(bytes.size()));
        if (!SSL_is_init_finished(ssl_)) {
            SSL_do_handshake(ssl_);
        }
        if (SSL_is_init_finished(ssl_)) {
            char buffer[20000];
            int read = 0;
            while ((read = SSL_read(ssl_, buffer, sizeof buffer)) > 0) {
                received_.append(buffer, static_cast<std::size_t>(read));
            }
            failed_ = failed_ || SSL_get_error(ssl_, read) != SSL_ERROR_WANT_READ;
        }
        return Drain();
    }
    std::string Write(const std::string& plaintext) {
        SSL_write(ssl_, plaintext.data(), static_cast<int>(plaintext.size()));
        return Drain();
    }
    std::string RequestKeyUpdate() {
        SSL_key_update(ssl_, SSL_KEY_UPDATE_REQUESTED);
        SSL_do_handshake(ssl_);
        return Drain();
    }
    std::string CloseNotify() {
        SSL_shutdown(ssl_);
        return Drain();
    }
    bool Finished() const { return SSL_is_init_finished(ssl_) != 0; }
    const std::string& Received() const { return received_; }
    bool Failed() const { return failed_; }

  private:
    std::string Drain() {
        std::string bytes(BIO_ctrl_pending(out_), '\0');
        if (!bytes.empty()) {
            BIO_read(out_, bytes.data(), static_cast<int>(bytes.size()));
        }
        return bytes;
    }

    SSL_CTX* ctx_;
    SSL* ssl_;
    BIO* in_;
    BIO* out_;
    std::string received_;
    bool failed_ = false;
};

class SecurityContextTest : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pki_.MakeCa("ca", "/CN=Quenby Test CA"));
        ASSERT_TRUE(pki_.Make(
            "server",
            CertificateRequest("/CN=localhost").WithAltNames("DNS:localhost,IP:127.0.0.1")));
        ASSERT_TRUE(TestPki::Install(pki_.Cert("ca"),
                                     platform::tls::CertStore::StoreDirectory("ROOT"), "ca.pem"));
        ASSERT_EQ(Credentials::Acquire("", true, &credentials_), SEC_E_OK);
        server_ =
            std::make_unique<MemoryServer>(pki_.Cert("server"), pki_.Key("server"), GetParam());
        client_ = std::make_unique<SecurityContext>(credentials_, "localhost");
    }

    // Runs the handshake to its end; what the server sent past it stays in `toClient_`.
    // `afterServerFinished` is what the server adds in the same flight as its last message.
    SECURITY_STATUS Handshake(const std::string& afterServerFinished = {}) {
        std::string toServer;
        std::size_t consumed = 0;
        SECURITY_STATUS status = client_->Handshake({}, &consumed, &toServer);
        bool added = false;
        while (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_INCOMPLETE_MESSAGE) {
            toClient_ += server_->Take(toServer);
            toServer.clear();
            if (server_->Finished() && !added) {
                toClient_ += server_->Write(afterServerFinished);
                added = true;
            }
            status = client_->Handshake(Bytes(toClient_), &consumed, &toServer);
            toClient_.erase(0, consumed);
        }
        toClient_ += server_->Take(toServer);  // the client's last flight, if it had one
        if (!added) {
            toClient_ += server_->Write(afterServerFinished);  // from 1.3 on: after it
        }
        return status;
    }

    // Three records of the server, in order.
    std::string ThreeRecords() {
        std::string records = server_->Write("first");
        records += server_->Write(std::string(300, 'b'));
        records += server_->Write("third!");
        return records;
    }

    // Feeds `records` to the client in pieces of `piece` bytes, keeping what a call did not
    // take at the front as a receive buffer does; the plaintext.
    std::string DecryptInPieces(const std::string& records, std::size_t piece) {
        std::string buffer;
        std::string plaintext;
        for (std::size_t at = 0; at < records.size(); at += piece) {
            buffer += records.substr(at, piece);
            std::size_t consumed = 0;
            std::string reply;
            const SECURITY_STATUS status =
                client_->DecryptRecords(Bytes(buffer), &consumed, &plaintext, &reply);
            EXPECT_TRUE(status == SEC_E_OK || status == SEC_E_INCOMPLETE_MESSAGE) << status;
            buffer.erase(0, consumed);
        }
        EXPECT_TRUE(buffer.empty());
        return plaintext;
    }

    TempConfig config_;
    TestPki pki_;
    std::shared_ptr<Credentials> credentials_;
    std::unique_ptr<MemoryServer> server_;
    std::unique_ptr<SecurityContext> client_;
    std::string toClient_;
};

INSTANTIATE_TEST_SUITE_P(Versions, SecurityContextTest,
                         ::testing::Values(TLS1_2_VERSION, TLS1_3_VERSION), [](const auto& info) {
                             return std::string(info.param == TLS1_2_VERSION ? "Tls12" : "Tls13");
                         });

TEST_P(SecurityContextTest, RecordsCutAtAnyPlaceGiveTheirPlaintextOnceInOrder) {
    ASSERT_EQ(Handshake(), SEC_E_OK);
    EXPECT_TRUE(client_->Verified());
    std::string records = toClient_;  // session tickets come first from 1.3 on
    const std::string expected = "first" + std::string(300, 'b') + "third!";
    records += ThreeRecords();
    // One piece size per handshake: a context's records must arrive in sequence.
    EXPECT_EQ(DecryptInPieces(records, 1), expected);
    for (std::size_t piece : {2u, 3u, 5u, 7u, 13u, 64u, 333u, 100000u}) {
        SCOPED_TRACE(piece);
        toClient_.clear();
        server_ =
            std::make_unique<MemoryServer>(pki_.Cert("server"), pki_.Key("server"), GetParam());
        client_ = std::make_unique<SecurityContext>(credentials_, "localhost");
        ASSERT_EQ(Handshake(), SEC_E_OK);
        records = toClient_ + ThreeRecords();
        EXPECT_EQ(DecryptInPieces(records, piece), expected);
    }
}

TEST_P(SecurityContextTest, BytesThatCameWithTheLastHandshakeMessageAreLeftForTheFirstRead) {
    ASSERT_EQ(Handshake("spoken first"), SEC_E_OK);
    ASSERT_FALSE(toClient_.empty());
    std::string plaintext;
    std::string reply;
    std::size_t consumed = 0;
    EXPECT_EQ(client_->DecryptRecords(Bytes(toClient_), &consumed, &plaintext, &reply), SEC_E_OK);
    EXPECT_EQ(consumed, toClient_.size());
    EXPECT_EQ(plaintext, "spoken first");
}

TEST_P(SecurityContextTest, TheLargestRecordTravelsBothWaysAndALargerOneIsRefused) {
    ASSERT_EQ(Handshake(), SEC_E_OK);
    const SecPkgContext_StreamSizes sizes = client_->StreamSizes();
    ASSERT_EQ(sizes.cbMaximumMessage, 16384u);
    std::vector<std::uint8_t> record(sizes.cbHeader + sizes.cbMaximumMessage + sizes.cbTrailer);
    const std::string largest(sizes.cbMaximumMessage, 'L');
    DWORD length = 0;
    ASSERT_EQ(client_->EncryptRecord(reinterpret_cast<const std::uint8_t*>(largest.data()),
                                     sizes.cbMaximumMessage, record.data(),
                                     static_cast<DWORD>(record.size()), &length),
              SEC_E_OK);
    server_->Take(std::string(reinterpret_cast<const char*>(record.data()), length));
    EXPECT_EQ(server_->Received(), largest);
    EXPECT_FALSE(server_->Failed());
    EXPECT_EQ(client_->EncryptRecord(reinterpret_cast<const std::uint8_t*>(largest.data()),
                                     sizes.cbMaximumMessage + 1, record.data(),
                                     static_cast<DWORD>(record.size()), &length),
              SEC_E_BUFFER_TOO_SMALL);

    EXPECT_EQ(DecryptInPieces(toClient_ + server_->Write(largest), 4096), largest);
}

TEST_P(SecurityContextTest, AHeaderAnnouncingMoreThanAnyRecordIsAChannelError) {
    ASSERT_EQ(Handshake(), SEC_E_OK);
    struct Row {
        std::string bytes;
        SECURITY_STATUS status;
    };
    // 0x4800 = 18432 bytes, the most a record may hold; one more is no record at all.
    for (const Row& row : {Row{std::string("\x17\x03\x03\x48\x00", 5), SEC_E_INCOMPLETE_MESSAGE},
                           Row{std::string("\x17\x03\x03\x48\x01", 5), SEC_E_ILLEGAL_MESSAGE},
                           Row{std::string("\x17\x03\x03\xff\xff", 5), SEC_E_ILLEGAL_MESSAGE}}) {
        std::size_t consumed = 1;
        std::string plaintext;
        std::string reply;
        EXPECT_EQ(client_->DecryptRecords(Bytes(row.bytes), &consumed, &plaintext, &reply),
                  row.status);
        EXPECT_EQ(consumed, 0u);
    }
}

TEST_P(SecurityContextTest, DataBeforeTheServersCloseNotifyIsGivenThenTheContextHasExpired) {
    ASSERT_EQ(Handshake(), SEC_E_OK);
    std::string records = toClient_ + server_->Write("goodbye");
    records += server_->CloseNotify();
    std::string plaintext;
    std::string reply;
    std::size_t consumed = 0;
    EXPECT_EQ(client_->DecryptRecords(Bytes(records), &consumed, &plaintext, &reply),
              SEC_I_CONTEXT_EXPIRED);
    EXPECT_EQ(plaintext, "goodbye");
    EXPECT_EQ(consumed, records.size());
}

TEST(SecurityContextKeyUpdate, TheAnswerToAKeyUpdateIsGivenToTheCallerToSend) {
    TempConfig config;
    TestPki pki;
    ASSERT_TRUE(pki.Make("server", CertificateRequest("/CN=localhost").WithIssuer("")));
    std::shared_ptr<Credentials> credentials;
    ASSERT_EQ(Credentials::Acquire("", false, &credentials), SEC_E_OK);
    MemoryServer server(pki.Cert("server"), pki.Key("server"), TLS1_3_VERSION);
    SecurityContext client(credentials, "");
    std::string toServer;
    std::string toClient;
    std::size_t consumed = 0;
    SECURITY_STATUS status = client.Handshake({}, &consumed, &toServer);
    while (status == SEC_I_CONTINUE_NEEDED) {
        toClient += server.Take(toServer);
        toServer.clear();
        status = client.Handshake(Bytes(toClient), &consumed, &toServer);
        toClient.erase(0, consumed);
    }
    ASSERT_EQ(status, SEC_E_OK);
    EXPECT_FALSE(client.Verified()) << "no server name: the certificate was not examined";
    toClient += server.Take(toServer);

    toClient += server.RequestKeyUpdate();
    toClient += server.Write("after the update");
    std::string plaintext;
    std::string reply;
    ASSERT_EQ(client.DecryptRecords(Bytes(toClient), &consumed, &plaintext, &reply), SEC_E_OK);
    EXPECT_EQ(plaintext, "after the update");
    ASSERT_FALSE(reply.empty());
    server.Take(reply);

    std::vector<std::uint8_t> record(20000);
    DWORD length = 0;
    ASSERT_EQ(client.EncryptRecord(reinterpret_cast<const std::uint8_t*>("new keys"), 8,
                                   record.data(), static_cast<DWORD>(record.size()), &length),
              SEC_E_OK);
    server.Take(std::string(reinterpret_cast<const char*>(record.data()), length));
    EXPECT_FALSE(server.Failed());
    EXPECT_EQ(server.Received(), "new keys");
}

}  // namespace
