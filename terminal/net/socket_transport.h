#pragma once
// A socket port's transport: a TCP client connection to an IPv4 address and port. Its counts
// are the kilobytes it moved; a socket has no line errors, no modem lines and no serial device.
//
// Open is ConnectSocketPort, BeginClose and EndClose are the two steps of DisconnectSocketPort.
// Unlike a bare blocking socket it never raises a broken-pipe signal, notices a peer that
// closes or resets the connection (LostError, and the workers report the loss), gives up a
// connect after kConnectTimeoutMs, and lets another thread end a connect, or a secure set-up
// (its wait for the turn and its handshake), at once (the waker given to the constructor), so
// that closing the window never waits for a silent peer.
//
// A name with a secure part carries its bytes as TLS records: after the connect the secure
// channel sets itself up (one set-up at a time in the process, within its deadline), reads
// give plaintext and count it, writes go out as records, and the close sends the
// close-notify before the socket is shut down.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>

#include "platform/sync/event.h"
#include "terminal/transport/port_transport.h"

namespace platform {
class SocketWaker;
}
class SecureChannel;

// The fields of a socket port's name, as the port window split them.
struct SocketTarget {
    std::string ipAddress;
    std::string portText;
    // The TCP port the port text names; none when it names none (not wholly decimal, 0, or
    // beyond 65535): the open then shows the invalid-port box and makes no connection.
    std::optional<std::uint16_t> tcpPort;
    bool tlsEnabled = false;
    std::string clientCertificate;
    std::string serverCertificate;
};

class SocketTransport final : public PortTransport {
  public:
    // The receive time-out the socket is given, and how long a connect may take.
    static constexpr DWORD kReceiveTimeoutMs = 5000;
    static constexpr DWORD kConnectTimeoutMs = 20000;

    // `invalidPortBox` shows the "Invalid Socket Port!" box; `interrupt` (may be null) ends a
    // connect in progress from any thread, and every later one, once it is set. `setupEvent`
    // (may be null) is the process-wide event that admits one secure set-up at a time.
    SocketTransport(SocketTarget target, std::function<void()> invalidPortBox,
                    std::shared_ptr<platform::SocketWaker> interrupt,
                    platform::EventHandle setupEvent = nullptr);
    ~SocketTransport() override;

    bool Open(std::string* failureText) override;
    void BeginClose() override;
    bool EndClose() override;
    bool IsOpen() const override { return open_.load() != 0; }
    // Reads only what is queued: never waits for the peer.
    TransportRead ReadQueued(char* buffer, DWORD maxBytes) override;
    InputWait WaitForInput(DWORD milliseconds) override;
    bool WriteAll(const char* data, DWORD length) override;
    void WriteUncounted(const char* data, DWORD length) override;
    // The WSA error that ended the connection (WSAEDISCON when the peer closed it), or 0.
    DWORD LostError() const override { return lost_.load(); }
    TransportCounts Counts() const override;
    void ResetReadCounts() override { kbRead_.store(0); }
    void ResetWrittenCount() override { kbWritten_.store(0); }
    // A socket port paces its pattern by the record: about every 33 ms, every 3358 ms with a
    // continuous character, and 50 ms after any other cycle.
    DWORD SendPacingMs(bool patternSent, bool continuous) const override;
    std::string Caption() const override { return {}; }

    // The WSA error of the last open's connect, 0 when it connected or got no further.
    int LastConnectError() const { return lastConnectError_.load(); }

    // The display line of a connection that `error` (a LostError) ended.
    static std::string LostConnectionText(DWORD error);

    // The line the display shows once the port has opened, empty for none: a secure port
    // whose server certificate was not examined says so.
    std::string OpenNotice() const;

  private:
    // The secure channel's set-up on the connected socket; null when it failed.
    std::unique_ptr<SecureChannel> EstablishSecureChannel(std::uintptr_t socket);
    // Records `error` as the connection's end unless the close caused it.
    void NoteLost(int error);
    // A read of the secure channel's plaintext, under the shared lock.
    TransportRead ReadSecure(char* buffer, DWORD maxBytes);

    const SocketTarget target_;
    const std::function<void()> invalidPortBox_;
    const std::shared_ptr<platform::SocketWaker> interrupt_;
    const platform::EventHandle setupEvent_;

    // Workers use the socket under a shared lock; the close releases it under the exclusive
    // one, so a worker that outlives the close's waits never touches a released socket.
    mutable std::shared_mutex socketMutex_;
    std::uintptr_t socket_;
    // The TLS state of the open, set with the socket and released with it.
    std::unique_ptr<SecureChannel> secure_;
    std::atomic<bool> serverVerified_{true};
    std::atomic<int> open_{0};
    std::atomic<bool> closing_{false};
    std::atomic<DWORD> lost_{0};
    std::atomic<int> lastConnectError_{0};
    std::atomic<double> kbWritten_{0};
    std::atomic<double> kbRead_{0};
};
