#pragma once
// A socket port's transport: a TCP client connection to an IPv4 address and port. Its counts
// are the kilobytes it moved; a socket has no line errors, no modem lines and no serial device.
//
// Open is ConnectSocketPort, BeginClose and EndClose are the two steps of DisconnectSocketPort.
// Unlike a bare blocking socket it never raises a broken-pipe signal, notices a peer that
// closes or resets the connection (LostError, and the workers report the loss), gives up a
// connect after kConnectTimeoutMs, and lets another thread end a connect at once (the waker
// given to the constructor), so that closing the window never waits for a silent peer.
//
// A name with a secure part connects, then fails at EstablishSecureChannel and closes again.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>

#include "terminal/transport/port_transport.h"

namespace platform {
class SocketWaker;
}

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
    // connect in progress from any thread, and every later one, once it is set.
    SocketTransport(SocketTarget target, std::function<void()> invalidPortBox,
                    std::shared_ptr<platform::SocketWaker> interrupt);
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

  private:
    // The secure channel's set-up on the connected socket; true when the port may go on.
    bool EstablishSecureChannel(std::uintptr_t socket);
    // Records `error` as the connection's end unless the close caused it.
    void NoteLost(int error);

    const SocketTarget target_;
    const std::function<void()> invalidPortBox_;
    const std::shared_ptr<platform::SocketWaker> interrupt_;

    // Workers use the socket under a shared lock; the close releases it under the exclusive
    // one, so a worker that outlives the close's waits never touches a released socket.
    mutable std::shared_mutex socketMutex_;
    std::uintptr_t socket_;
    std::atomic<int> open_{0};
    std::atomic<bool> closing_{false};
    std::atomic<DWORD> lost_{0};
    std::atomic<int> lastConnectError_{0};
    std::atomic<double> kbWritten_{0};
    std::atomic<double> kbRead_{0};
};
