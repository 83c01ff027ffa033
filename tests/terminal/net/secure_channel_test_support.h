#pragma once
// What the secure channel's tests share: a test CA in ROOT, a server certificate for
// "localhost" and 127.0.0.1, a set-up turn of their own, sockets closed with the test, and
// reading until enough plaintext has come. Also a plain listener on 127.0.0.1 that accepts
// and says what a client sent it, or trickles bytes back.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/sync/event.h"
#include "platform/tls/cert_store.h"
#include "terminal/net/secure_channel.h"
#include "tests/support/temp_config.h"
#include "tests/support/test_pki.h"
#include "tests/support/wait.h"

class SecureChannelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pki_.MakeCa("ca", "/CN=Quenby Test CA"));
        ASSERT_TRUE(pki_.Make(
            "server",
            CertificateRequest("/CN=localhost").WithAltNames("DNS:localhost,IP:127.0.0.1")));
        ASSERT_TRUE(TestPki::Install(pki_.Cert("ca"),
                                     platform::tls::CertStore::StoreDirectory("ROOT"), "ca.pem"));
        turn_ = platform::Event::Create(false, true);
    }
    void TearDown() override { CloseSockets(); }

    // s_server serves one client at a time: a test that connects again closes first.
    void CloseSockets() {
        for (int fd : sockets_) {
            close(fd);
        }
        sockets_.clear();
    }

    bool StartServer(TlsServer& server, const std::string& name,
                     const std::vector<std::string>& extra = {}) {
        return server.Start(pki_.Cert(name), pki_.Key(name), extra);
    }
    int Connect(int port) {
        const int fd = ConnectLocal(port);
        if (fd >= 0) {
            sockets_.push_back(fd);
        }
        return fd;
    }
    // Reads until `count` bytes of plaintext came or the channel reported anything but
    // SEC_E_OK (kept in `status`).
    static std::string ReadAtLeast(SecureChannel& channel, std::size_t count,
                                   SECURITY_STATUS* status = nullptr) {
        std::string got;
        SECURITY_STATUS last = SEC_E_OK;
        WaitUntil([&] {
            char buffer[4096];
            DWORD length = 0;
            last = channel.ReadPlaintext(buffer, sizeof buffer, &length);
            got.append(buffer, length);
            return last != SEC_E_OK || got.size() >= count;
        });
        if (status != nullptr) {
            *status = last;
        }
        return got;
    }

    TempConfig config_;
    TestPki pki_;
    platform::EventHandle turn_;
    std::vector<int> sockets_;
};

class PlainListener {
  public:
    PlainListener() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(fd_, 4);
        socklen_t size = sizeof address;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
    }
    ~PlainListener() {
        Hangup();
        close(fd_);
    }
    int Port() const { return port_; }

    // Everything the client sent until it closed its end.
    std::string ReceivedUntilClosed() {
        Accept();
        std::string got;
        char buffer[4096];
        ssize_t n = 0;
        while ((n = recv(peer_, buffer, sizeof buffer, 0)) > 0) {
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }
    // Answers with a never-ending handshake record, one byte at a time.
    void StartTrickling() {
        trickler_ = std::thread([this] {
            Accept();
            const char header[] = {0x16, 0x03, 0x03, 0x40, 0x00};
            for (std::size_t sent = 0; !stop_; ++sent) {
                const char byte = sent < sizeof header ? header[sent] : 0x00;
                if (send(peer_, &byte, 1, MSG_NOSIGNAL) != 1) {
                    break;
                }
                pollfd nothing{-1, 0, 0};
                poll(&nothing, 0, 20);  // the pace of the trickle, not a wait for a result
            }
        });
    }

    // Ends the trickle and closes the connection.
    void Hangup() {
        stop_ = true;
        if (trickler_.joinable()) {
            trickler_.join();
        }
        if (peer_ >= 0) {
            close(peer_);
            peer_ = -1;
        }
    }

  private:
    void Accept() {
        if (peer_ < 0) {
            peer_ = accept(fd_, nullptr, nullptr);
        }
    }

    int fd_ = -1;
    int peer_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread trickler_;
};
