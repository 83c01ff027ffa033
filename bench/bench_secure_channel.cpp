// The secure channel against plain SSL_write/SSL_read over the same kind of socket, with an
// OpenSSL server thread on the other end: sending and receiving throughput by block size, and
// the time of one set-up (connection pair, handshake). The certificate is made in memory; the
// server is not verified in either case, so both pay for the same handshake.

#include <benchmark/benchmark.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "terminal/net/secure_channel.h"

namespace {

// One self-signed EC certificate for every server of the run.
struct ServerIdentity {
    ServerIdentity() {
        key = EVP_EC_gen("P-256");
        cert = X509_new();
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), 0);
        X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
        X509_set_pubkey(cert, key);
        X509_NAME* name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("bench"), -1, -1, 0);
        X509_set_issuer_name(cert, name);
        X509_sign(cert, key, EVP_sha256());
        ctx = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate(ctx, cert);
        SSL_CTX_use_PrivateKey(ctx, key);
    }
    EVP_PKEY* key;
    X509* cert;
    SSL_CTX* ctx;
};

ServerIdentity& Identity() {
    static ServerIdentity identity;
    return identity;
}

enum class ServerMode { Sink, Source, HandshakeOnly };

// A connected pair: the client's end and an OpenSSL server on the other, in its own thread.
class Peer {
  public:
    Peer(ServerMode mode, std::size_t block) {
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_);
        server_ = std::thread([this, mode, block] { Serve(mode, block); });
    }
    ~Peer() {
        stop_ = true;
        shutdown(fds_[0], SHUT_RDWR);
        server_.join();
        close(fds_[0]);
        close(fds_[1]);
    }
    int ClientFd() const { return fds_[0]; }

  private:
    void Serve(ServerMode mode, std::size_t block) {
        SSL* ssl = SSL_new(Identity().ctx);
        SSL_set_fd(ssl, fds_[1]);
        if (SSL_accept(ssl) == 1 && mode != ServerMode::HandshakeOnly) {
            std::vector<char> buffer(std::max<std::size_t>(block, 16384), 'x');
            while (!stop_) {
                const int n = mode == ServerMode::Sink
                                  ? SSL_read(ssl, buffer.data(), static_cast<int>(buffer.size()))
                                  : SSL_write(ssl, buffer.data(), static_cast<int>(block));
                if (n <= 0) {
                    break;
                }
            }
        }
        SSL_free(ssl);
    }

    int fds_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
    std::thread server_;
};

SSL_CTX* PlainClientCtx() {
    static SSL_CTX* ctx = [] {
        SSL_CTX* made = SSL_CTX_new(TLS_client_method());
        SSL_CTX_set_verify(made, SSL_VERIFY_NONE, nullptr);
        return made;
    }();
    return ctx;
}

void BM_SendSecureChannel(benchmark::State& state) {
    const auto block = static_cast<std::size_t>(state.range(0));
    Peer peer(ServerMode::Sink, block);
    SecureChannel channel(nullptr);
    if (channel.Establish(peer.ClientFd(), "", "") != 0) {
        state.SkipWithError("set-up failed");
        return;
    }
    const std::string data(block, 'd');
    for (auto _ : state) {
        if (channel.SendRecord(data.data(), static_cast<DWORD>(block)) != SEC_E_OK) {
            state.SkipWithError("send failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * block));
}

void BM_SendPlainSsl(benchmark::State& state) {
    const auto block = static_cast<std::size_t>(state.range(0));
    Peer peer(ServerMode::Sink, block);
    SSL* ssl = SSL_new(PlainClientCtx());
    SSL_set_fd(ssl, peer.ClientFd());
    if (SSL_connect(ssl) != 1) {
        state.SkipWithError("set-up failed");
        SSL_free(ssl);
        return;
    }
    const std::string data(block, 'd');
    for (auto _ : state) {
        if (SSL_write(ssl, data.data(), static_cast<int>(block)) <= 0) {
            state.SkipWithError("send failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * block));
    SSL_free(ssl);
}

// One iteration takes one block's worth of plaintext, as the receive worker takes what came.
void BM_ReceiveSecureChannel(benchmark::State& state) {
    const auto block = static_cast<std::size_t>(state.range(0));
    Peer peer(ServerMode::Source, block);
    SecureChannel channel(nullptr);
    if (channel.Establish(peer.ClientFd(), "", "") != 0) {
        state.SkipWithError("set-up failed");
        return;
    }
    std::vector<char> buffer(block);
    std::int64_t total = 0;
    for (auto _ : state) {
        std::size_t got = 0;
        while (got < block) {
            DWORD length = 0;
            if (channel.ReadPlaintext(buffer.data() + got, static_cast<DWORD>(block - got),
                                      &length) != SEC_E_OK) {
                state.SkipWithError("read failed");
                return;
            }
            if (length == 0) {
                pollfd entry{peer.ClientFd(), POLLIN, 0};
                poll(&entry, 1, 1000);
            }
            got += length;
        }
        total += static_cast<std::int64_t>(got);
    }
    state.SetBytesProcessed(total);
}

void BM_ReceivePlainSsl(benchmark::State& state) {
    const auto block = static_cast<std::size_t>(state.range(0));
    Peer peer(ServerMode::Source, block);
    SSL* ssl = SSL_new(PlainClientCtx());
    SSL_set_fd(ssl, peer.ClientFd());
    if (SSL_connect(ssl) != 1) {
        state.SkipWithError("set-up failed");
        SSL_free(ssl);
        return;
    }
    std::vector<char> buffer(block);
    std::int64_t total = 0;
    for (auto _ : state) {
        std::size_t got = 0;
        while (got < block) {
            const int n = SSL_read(ssl, buffer.data() + got, static_cast<int>(block - got));
            if (n <= 0) {
                state.SkipWithError("read failed");
                SSL_free(ssl);
                return;
            }
            got += static_cast<std::size_t>(n);
        }
        total += static_cast<std::int64_t>(got);
    }
    state.SetBytesProcessed(total);
    SSL_free(ssl);
}

void BM_SetUpSecureChannel(benchmark::State& state) {
    for (auto _ : state) {
        Peer peer(ServerMode::HandshakeOnly, 0);
        SecureChannel channel(nullptr);
        benchmark::DoNotOptimize(channel.Establish(peer.ClientFd(), "", ""));
    }
}

void BM_SetUpPlainSsl(benchmark::State& state) {
    for (auto _ : state) {
        Peer peer(ServerMode::HandshakeOnly, 0);
        SSL* ssl = SSL_new(PlainClientCtx());
        SSL_set_fd(ssl, peer.ClientFd());
        benchmark::DoNotOptimize(SSL_connect(ssl));
        SSL_free(ssl);
    }
}

BENCHMARK(BM_SendSecureChannel)->Arg(64)->Arg(4096)->Arg(16384)->UseRealTime();
BENCHMARK(BM_SendPlainSsl)->Arg(64)->Arg(4096)->Arg(16384)->UseRealTime();
BENCHMARK(BM_ReceiveSecureChannel)->Arg(4096)->Arg(16384)->UseRealTime();
BENCHMARK(BM_ReceivePlainSsl)->Arg(4096)->Arg(16384)->UseRealTime();
BENCHMARK(BM_SetUpSecureChannel)->UseRealTime();
BENCHMARK(BM_SetUpPlainSsl)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    // A server that went away shows as a failed send, not as the end of the run.
    signal(SIGPIPE, SIG_IGN);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
