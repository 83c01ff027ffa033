#include "terminal/net/socket_transport.h"

#include <algorithm>
#include <climits>
#include <mutex>
#include <utility>

#include "platform/net/winsock.h"
#include "platform/system/last_error.h"

namespace {

constexpr const char* kCantOpenText = "Halvo2 Can't open the port!\r\n";
constexpr const char* kCantEstablishSslText = "Halvo2 Can't establish SSL connection!\r\n";

// True for the receive and send errors after which nothing more can move on the connection.
bool EndsConnection(int error) {
    return error != platform::WSAEINTR && error != platform::WSAEWOULDBLOCK &&
           error != platform::WSAEINPROGRESS && error != platform::WSAENOBUFS;
}

}  // namespace

SocketTransport::SocketTransport(SocketTarget target, std::function<void()> invalidPortBox,
                                 std::shared_ptr<platform::SocketWaker> interrupt)
    : target_(std::move(target)),
      invalidPortBox_(std::move(invalidPortBox)),
      interrupt_(std::move(interrupt)),
      socket_(platform::INVALID_SOCKET) {}

SocketTransport::~SocketTransport() {
    // A port window closes its port before it goes; this only keeps a forgotten close from
    // leaking the socket and its start.
    if (socket_ != platform::INVALID_SOCKET) {
        platform::closesocket(socket_);
        platform::WSACleanup();
    }
}

bool SocketTransport::Open(std::string* failureText) {
    using namespace platform;
    lost_ = 0;
    lastConnectError_ = 0;
    closing_ = false;
    const auto fail = [&](const char* text) {
        if (failureText != nullptr) {
            *failureText = text;
        }
        return false;
    };
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return fail(kCantOpenText);
    }
    const SOCKET s = platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        WSACleanup();
        return fail(kCantOpenText);
    }
    const auto release = [&] {
        closesocket(s);
        WSACleanup();
    };
    // A receive that waits this long gives up; the connect has a time-out of its own.
    const DWORD receiveTimeout = kReceiveTimeoutMs;
    platform::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receiveTimeout),
                         sizeof receiveTimeout);
    if (!target_.tcpPort) {
        if (invalidPortBox_) {
            invalidPortBox_();
        }
        release();
        return fail(kCantOpenText);
    }
    SOCKADDR_IN peer;
    peer.sin_family = AF_INET;
    peer.sin_addr.S_addr = inet_addr(target_.ipAddress.c_str());
    peer.sin_port = htons(*target_.tcpPort);
    // Not a dotted address: there is nobody to connect to (and never the broadcast address).
    if (peer.sin_addr.S_addr == INADDR_NONE) {
        lastConnectError_ = WSAEADDRNOTAVAIL;
        release();
        return fail(kCantOpenText);
    }
    if (ConnectWithin(s, reinterpret_cast<const SOCKADDR*>(&peer), sizeof peer, kConnectTimeoutMs,
                      interrupt_.get()) == SOCKET_ERROR) {
        lastConnectError_ = WSAGetLastError();
        release();
        return fail(kCantOpenText);
    }
    if (target_.tlsEnabled && !EstablishSecureChannel(s)) {
        release();
        return fail(kCantEstablishSslText);
    }
    {
        std::unique_lock lock(socketMutex_);
        socket_ = s;
    }
    open_ = 1;
    return true;
}

bool SocketTransport::EstablishSecureChannel(std::uintptr_t /*socket*/) {
    // The secure channel plugs in here: its handshake on the connected socket, the server's
    // certificate check and the record sizes. Until it does, a secure port cannot be opened.
    return false;
}

void SocketTransport::BeginClose() {
    closing_ = true;
    open_ = 0;
    std::shared_lock lock(socketMutex_);
    if (socket_ != platform::INVALID_SOCKET) {
        // Ends a send held back by the peer and a wait for input: both see the connection end.
        platform::shutdown(socket_, platform::SD_BOTH);
    }
}

bool SocketTransport::EndClose() {
    closing_ = true;
    open_ = 0;
    std::unique_lock lock(socketMutex_);
    if (socket_ == platform::INVALID_SOCKET) {
        return true;
    }
    const bool closed = platform::closesocket(socket_) == 0;
    socket_ = platform::INVALID_SOCKET;
    // Also when the close failed: the start belongs to this open.
    platform::WSACleanup();
    return closed;
}

void SocketTransport::NoteLost(int error) {
    if (!closing_.load() && EndsConnection(error)) {
        DWORD none = 0;
        lost_.compare_exchange_strong(none, static_cast<DWORD>(error));
    }
}

TransportRead SocketTransport::ReadQueued(char* buffer, DWORD maxBytes) {
    TransportRead read;
    buffer[0] = 0;
    std::shared_lock lock(socketMutex_);
    if (socket_ == platform::INVALID_SOCKET || open_.load() == 0) {
        read.failed = true;
        return read;
    }
    switch (platform::WaitReadable(socket_, 0, nullptr)) {
        case platform::SocketWait::TimedOut:
            return read;  // nothing queued
        case platform::SocketWait::Readable:
            break;
        case platform::SocketWait::Woken:
        case platform::SocketWait::Failed:
            read.failed = true;
            return read;
    }
    const int length = static_cast<int>(std::min<DWORD>(maxBytes, INT_MAX));
    const int got = platform::recv(socket_, buffer, length, 0);
    if (got > 0) {
        read.length = static_cast<DWORD>(got);
        buffer[got] = 0;
        kbRead_.store(kbRead_.load() + got / 1024.0);
        return read;
    }
    read.failed = true;
    NoteLost(got == 0 ? platform::WSAEDISCON : platform::WSAGetLastError());
    read.goneError = lost_.load();
    return read;
}

InputWait SocketTransport::WaitForInput(DWORD milliseconds) {
    std::shared_lock lock(socketMutex_);
    if (socket_ == platform::INVALID_SOCKET || open_.load() == 0) {
        return InputWait::Closed;
    }
    if (lost_.load() != 0) {
        return InputWait::Gone;
    }
    switch (platform::WaitReadable(socket_, milliseconds, nullptr)) {
        case platform::SocketWait::Readable:
            return InputWait::Ready;
        case platform::SocketWait::TimedOut:
            return InputWait::TimedOut;
        case platform::SocketWait::Woken:
            return InputWait::Closed;
        case platform::SocketWait::Failed:
            break;
    }
    return InputWait::Failed;
}

bool SocketTransport::WriteAll(const char* data, DWORD length) {
    std::shared_lock lock(socketMutex_);
    if (socket_ == platform::INVALID_SOCKET || open_.load() == 0) {
        platform::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    DWORD done = 0;
    while (done < length) {
        const int chunk = static_cast<int>(std::min<DWORD>(length - done, INT_MAX));
        const int sent = platform::send(socket_, data + done, chunk, 0);
        if (sent <= 0) {
            const int error = sent == 0 ? platform::WSAECONNRESET : platform::WSAGetLastError();
            NoteLost(error);
            // What went out before the failure was sent all the same.
            kbWritten_.store(kbWritten_.load() + done / 1024.0);
            platform::SetLastError(static_cast<DWORD>(error));
            return false;
        }
        done += static_cast<DWORD>(sent);
    }
    kbWritten_.store(kbWritten_.load() + length / 1024.0);
    return true;
}

void SocketTransport::WriteUncounted(const char* data, DWORD length) {
    std::shared_lock lock(socketMutex_);
    if (socket_ == platform::INVALID_SOCKET || open_.load() == 0) {
        return;
    }
    // One send; its result is not looked at (a lost connection shows at the workers).
    platform::send(socket_, data, static_cast<int>(std::min<DWORD>(length, INT_MAX)), 0);
}

TransportCounts SocketTransport::Counts() const {
    TransportCounts counts;
    counts.kbWritten = kbWritten_.load();
    counts.kbRead = kbRead_.load();
    return counts;
}

DWORD SocketTransport::SendPacingMs(bool patternSent, bool continuous) const {
    if (patternSent) {
        return continuous ? 3358 : 33;
    }
    return 50;
}

std::string SocketTransport::LostConnectionText(DWORD error) {
    return "Halvo2 lost the connection: " + platform::FormatSocketError(static_cast<int>(error)) +
           "!\r\n";
}
