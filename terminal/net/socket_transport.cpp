#include "terminal/net/socket_transport.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <mutex>
#include <utility>

#include "platform/net/winsock.h"
#include "platform/system/last_error.h"
#include "terminal/net/secure_channel.h"

namespace {

constexpr const char* kCantOpenText = "Halvo2 Can't open the port!\r\n";
constexpr const char* kCantEstablishSslText = "Halvo2 Can't establish SSL connection!\r\n";
constexpr const char* kServerNotVerifiedText = "Server certificate not verified!\r\n";

// True for the receive and send errors after which nothing more can move on the connection.
bool EndsConnection(int error) {
    return error != platform::WSAEINTR && error != platform::WSAEWOULDBLOCK &&
           error != platform::WSAEINPROGRESS && error != platform::WSAENOBUFS;
}

// The WSA error of the host error with which the secure channel's socket failed: 0 is the
// server's orderly end; a damaged record or a fatal alert aborts the connection.
int SecureLossError(int hostError) {
    switch (hostError) {
        case 0:
            return platform::WSAEDISCON;
        case EPIPE:
        case ECONNRESET:
            return platform::WSAECONNRESET;
        case ETIMEDOUT:
            return platform::WSAETIMEDOUT;
        case ENETUNREACH:
            return platform::WSAENETUNREACH;
        case EHOSTUNREACH:
            return platform::WSAEHOSTUNREACH;
        default:
            return platform::WSAECONNABORTED;
    }
}

}  // namespace

SocketTransport::SocketTransport(SocketTarget target, std::function<void()> invalidPortBox,
                                 std::shared_ptr<platform::SocketWaker> interrupt,
                                 platform::EventHandle setupEvent)
    : target_(std::move(target)),
      invalidPortBox_(std::move(invalidPortBox)),
      interrupt_(std::move(interrupt)),
      setupEvent_(std::move(setupEvent)),
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
    std::unique_ptr<SecureChannel> secure;
    if (target_.tlsEnabled) {
        secure = EstablishSecureChannel(s);
        if (!secure) {
            release();
            return fail(kCantEstablishSslText);
        }
        serverVerified_ = secure->ServerVerified();
    } else {
        serverVerified_ = true;
    }
    {
        std::unique_lock lock(socketMutex_);
        socket_ = s;
        secure_ = std::move(secure);
    }
    open_ = 1;
    return true;
}

std::unique_ptr<SecureChannel> SocketTransport::EstablishSecureChannel(std::uintptr_t socket) {
    // The set-up waits for its turn and holds it until it has succeeded or failed; its own
    // deadline keeps a server that never answers from holding every other secure port.
    auto secure = std::make_unique<SecureChannel>(setupEvent_);
    // The window's close ends the wait for the turn and the handshake, as it ends a connect.
    if (secure->Establish(static_cast<int>(socket), target_.clientCertificate,
                          target_.serverCertificate, SecureChannel::kHandshakeDeadlineMs,
                          interrupt_ ? interrupt_->Descriptor() : -1) != 0) {
        return nullptr;
    }
    return secure;
}

std::string SocketTransport::OpenNotice() const {
    return target_.tlsEnabled && !serverVerified_.load() ? kServerNotVerifiedText : "";
}

void SocketTransport::BeginClose() {
    closing_ = true;
    open_ = 0;
    std::shared_lock lock(socketMutex_);
    if (socket_ != platform::INVALID_SOCKET) {
        if (secure_) {
            // The close-notify goes before the TCP shutdown; it waits only briefly for a peer
            // that does not read.
            secure_->Shutdown();
        }
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
    // The workers have let go of the TLS state (they use it only under the shared lock).
    secure_.reset();
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

TransportRead SocketTransport::ReadSecure(char* buffer, DWORD maxBytes) {
    TransportRead read;
    DWORD length = 0;
    const SECURITY_STATUS status = secure_->ReadPlaintext(buffer, maxBytes, &length);
    if (status == SEC_E_OK) {
        read.length = length;
        buffer[length] = 0;
        // The plaintext is what the port received; the records' overhead is not.
        kbRead_.store(kbRead_.load() + length / 1024.0);
        return read;
    }
    read.failed = true;
    if (status == SEC_I_CONTEXT_EXPIRED) {
        // The server's close-notify, after all it had sent was given.
        NoteLost(platform::WSAEDISCON);
    } else if (status != SEC_E_INVALID_HANDLE) {
        NoteLost(SecureLossError(secure_->SocketError()));
    }
    read.goneError = lost_.load();
    return read;
}

TransportRead SocketTransport::ReadQueued(char* buffer, DWORD maxBytes) {
    TransportRead read;
    buffer[0] = 0;
    std::shared_lock lock(socketMutex_);
    if (socket_ == platform::INVALID_SOCKET || open_.load() == 0) {
        read.failed = true;
        return read;
    }
    if (secure_) {
        return ReadSecure(buffer, maxBytes);
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
    if (secure_ && secure_->HasPendingInput()) {
        return InputWait::Ready;  // decrypted earlier, not yet given
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
    if (secure_) {
        DWORD recordBytes = 0;
        const SECURITY_STATUS status = secure_->SendRecord(data, length, &recordBytes);
        if (status != SEC_E_OK) {
            const int error = SecureLossError(secure_->SocketError());
            if (status != SEC_E_INVALID_HANDLE) {
                NoteLost(error);
            }
            platform::SetLastError(static_cast<DWORD>(error));
            return false;
        }
        // What went out on the connection: the records, headers and trailers included.
        kbWritten_.store(kbWritten_.load() + recordBytes / 1024.0);
        return true;
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
    if (secure_) {
        // One record; its status is not looked at either.
        secure_->SendRecord(data, length);
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
