#include "platform/net/winsock.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <iterator>
#include <mutex>

#include "platform/net/host_sockets.h"
#include "platform/system/last_error.h"

namespace platform {

namespace {

std::mutex g_startMutex;
int g_startCount = 0;

// The WSA code of a host error number.
int WsaErrorOf(int error) {
    switch (error) {
        case EINTR:
            return WSAEINTR;
        case EBADF:
            return WSAENOTSOCK;
        case EACCES:
        case EPERM:
            return WSAEACCES;
        case EFAULT:
            return WSAEFAULT;
        case EINVAL:
            return WSAEINVAL;
        case EMFILE:
        case ENFILE:
            return WSAEMFILE;
        case EAGAIN:
            return WSAEWOULDBLOCK;
        case EINPROGRESS:
            return WSAEINPROGRESS;
        case EALREADY:
            return WSAEALREADY;
        case ENOTSOCK:
            return WSAENOTSOCK;
        case EMSGSIZE:
            return WSAEMSGSIZE;
        case ENOPROTOOPT:
            return WSAENOPROTOOPT;
        case EPROTONOSUPPORT:
            return WSAEPROTONOSUPPORT;
        case EOPNOTSUPP:
            return WSAEOPNOTSUPP;
        case EAFNOSUPPORT:
            return WSAEAFNOSUPPORT;
        case EADDRINUSE:
            return WSAEADDRINUSE;
        case EADDRNOTAVAIL:
            return WSAEADDRNOTAVAIL;
        case ENETDOWN:
            return WSAENETDOWN;
        case ENETUNREACH:
            return WSAENETUNREACH;
        case ENETRESET:
            return WSAENETRESET;
        case ECONNABORTED:
            return WSAECONNABORTED;
        // Writing to a connection the peer has reset or closed: on Windows the send fails so.
        case EPIPE:
        case ECONNRESET:
            return WSAECONNRESET;
        case ENOBUFS:
            return WSAENOBUFS;
        case ENOMEM:
            return WSA_NOT_ENOUGH_MEMORY;
        case EISCONN:
            return WSAEISCONN;
        case ENOTCONN:
            return WSAENOTCONN;
        case ESHUTDOWN:
            return WSAESHUTDOWN;
        case ETIMEDOUT:
            return WSAETIMEDOUT;
        case ECONNREFUSED:
            return WSAECONNREFUSED;
        case EHOSTUNREACH:
        case EHOSTDOWN:
            return WSAEHOSTUNREACH;
        default:
            return WSASYSCALLFAILURE;
    }
}

int Fail(int wsaError) {
    WSASetLastError(wsaError);
    return SOCKET_ERROR;
}

bool Started() {
    std::lock_guard lock(g_startMutex);
    return g_startCount > 0;
}

// The socket's descriptor, or -1 (with the last error set) when the call may not go on.
int DescriptorOf(SOCKET s) {
    if (!Started()) {
        WSASetLastError(WSANOTINITIALISED);
        return -1;
    }
    if (s == INVALID_SOCKET || s > static_cast<SOCKET>(INT_MAX)) {
        WSASetLastError(WSAENOTSOCK);
        return -1;
    }
    return static_cast<int>(s);
}

int WakerDescriptor(const SocketWaker* waker) {
    return waker != nullptr ? waker->Descriptor() : -1;
}

int TimeoutOf(DWORD milliseconds) {
    return milliseconds == INFINITE || milliseconds > static_cast<DWORD>(INT_MAX)
               ? -1
               : static_cast<int>(milliseconds);
}

}  // namespace

int WSAStartup(WORD versionRequested, WSADATA* data) {
    // Only version 2.2 is offered; a request below 2.0 cannot be served.
    if ((versionRequested & 0xff) < 2) {
        return WSAVERNOTSUPPORTED;
    }
    if (data == nullptr) {
        return WSAEFAULT;
    }
    *data = WSADATA{};
    data->wVersion = MAKEWORD(2, 2);
    data->wHighVersion = MAKEWORD(2, 2);
    static constexpr char kDescription[] = "Host sockets";
    static constexpr char kStatus[] = "Running";
    std::copy(std::begin(kDescription), std::end(kDescription), data->szDescription);
    std::copy(std::begin(kStatus), std::end(kStatus), data->szSystemStatus);
    std::lock_guard lock(g_startMutex);
    ++g_startCount;
    return 0;
}

int WSACleanup() {
    std::lock_guard lock(g_startMutex);
    if (g_startCount == 0) {
        WSASetLastError(WSANOTINITIALISED);
        return SOCKET_ERROR;
    }
    --g_startCount;
    return 0;
}

int WinsockStartCount() {
    std::lock_guard lock(g_startMutex);
    return g_startCount;
}

int WSAGetLastError() {
    return static_cast<int>(GetLastError());
}

void WSASetLastError(int error) {
    SetLastError(static_cast<DWORD>(error));
}

SOCKET socket(int af, int type, int protocol) {
    if (!Started()) {
        WSASetLastError(WSANOTINITIALISED);
        return INVALID_SOCKET;
    }
    if (af != AF_INET) {
        WSASetLastError(WSAEAFNOSUPPORT);
        return INVALID_SOCKET;
    }
    if (type != SOCK_STREAM || (protocol != 0 && protocol != IPPROTO_TCP)) {
        WSASetLastError(WSAEPROTONOSUPPORT);
        return INVALID_SOCKET;
    }
    const int fd = host_net::OpenStream();
    if (fd < 0) {
        WSASetLastError(WsaErrorOf(-fd));
        return INVALID_SOCKET;
    }
    return static_cast<SOCKET>(fd);
}

int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
    const int fd = DescriptorOf(s);
    if (fd < 0) {
        return SOCKET_ERROR;
    }
    if (level != SOL_SOCKET || optname != SO_RCVTIMEO) {
        return Fail(WSAENOPROTOOPT);
    }
    if (optval == nullptr || optlen < static_cast<int>(sizeof(DWORD))) {
        return Fail(WSAEFAULT);
    }
    DWORD milliseconds = 0;
    std::copy(optval, optval + sizeof milliseconds, reinterpret_cast<char*>(&milliseconds));
    const int error = host_net::SetReceiveTimeout(fd, milliseconds);
    return error == 0 ? 0 : Fail(WsaErrorOf(error));
}

u_long inet_addr(const char* text) {
    if (text == nullptr) {
        return INADDR_NONE;
    }
    // Four decimal parts of 0..255 separated by dots, nothing before or after.
    u_long address = 0;
    const char* at = text;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (*at != '.') {
                return INADDR_NONE;
            }
            ++at;
        }
        unsigned value = 0;
        int digits = 0;
        while (*at >= '0' && *at <= '9' && digits < 4) {
            value = value * 10 + static_cast<unsigned>(*at - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) {
            return INADDR_NONE;
        }
        address = (address << 8) | value;
    }
    if (*at != '\0') {
        return INADDR_NONE;
    }
    // In network byte order: the first part is the first byte in memory.
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(address >> 24), static_cast<unsigned char>(address >> 16),
        static_cast<unsigned char>(address >> 8), static_cast<unsigned char>(address)};
    u_long network = 0;
    std::copy(std::begin(bytes), std::end(bytes), reinterpret_cast<unsigned char*>(&network));
    return network;
}

u_short htons(u_short value) {
    const unsigned char bytes[2] = {static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value)};
    u_short network = 0;
    std::copy(std::begin(bytes), std::end(bytes), reinterpret_cast<unsigned char*>(&network));
    return network;
}

u_short ntohs(u_short value) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&value);
    return static_cast<u_short>((bytes[0] << 8) | bytes[1]);
}

int connect(SOCKET s, const SOCKADDR* name, int namelen) {
    return ConnectWithin(s, name, namelen, INFINITE, nullptr);
}

int ConnectWithin(SOCKET s, const SOCKADDR* name, int namelen, DWORD milliseconds,
                  const SocketWaker* waker) {
    const int fd = DescriptorOf(s);
    if (fd < 0) {
        return SOCKET_ERROR;
    }
    if (name == nullptr || namelen < static_cast<int>(sizeof(SOCKADDR_IN))) {
        return Fail(WSAEFAULT);
    }
    SOCKADDR_IN peer;
    std::copy(reinterpret_cast<const char*>(name),
              reinterpret_cast<const char*>(name) + sizeof peer, reinterpret_cast<char*>(&peer));
    if (peer.sin_family != AF_INET) {
        return Fail(WSAEAFNOSUPPORT);
    }
    const int error = host_net::Connect(fd, peer.sin_addr.S_addr, peer.sin_port,
                                        TimeoutOf(milliseconds), WakerDescriptor(waker));
    return error == 0 ? 0 : Fail(WsaErrorOf(error));
}

int send(SOCKET s, const char* buffer, int length, int flags) {
    const int fd = DescriptorOf(s);
    if (fd < 0) {
        return SOCKET_ERROR;
    }
    if (length < 0 || (buffer == nullptr && length > 0)) {
        return Fail(WSAEFAULT);
    }
    const long sent =
        host_net::Send(fd, buffer, static_cast<std::size_t>(length), (flags & MSG_OOB) != 0);
    return sent >= 0 ? static_cast<int>(sent) : Fail(WsaErrorOf(static_cast<int>(-sent)));
}

int recv(SOCKET s, char* buffer, int length, int flags) {
    const int fd = DescriptorOf(s);
    if (fd < 0) {
        return SOCKET_ERROR;
    }
    if (length < 0 || (buffer == nullptr && length > 0)) {
        return Fail(WSAEFAULT);
    }
    const long got = host_net::Receive(fd, buffer, static_cast<std::size_t>(length),
                                       (flags & MSG_OOB) != 0, (flags & MSG_PEEK) != 0);
    if (got >= 0) {
        return static_cast<int>(got);
    }
    // The socket blocks, so "would block" means its receive time-out ran out.
    const int error = static_cast<int>(-got);
    return Fail(error == EAGAIN ? WSAETIMEDOUT : WsaErrorOf(error));
}

int shutdown(SOCKET s, int how) {
    const int fd = DescriptorOf(s);
    if (fd < 0) {
        return SOCKET_ERROR;
    }
    if (how < SD_RECEIVE || how > SD_BOTH) {
        return Fail(WSAEINVAL);
    }
    const int error = host_net::Shutdown(fd, how);
    return error == 0 ? 0 : Fail(WsaErrorOf(error));
}

int closesocket(SOCKET s) {
    const int fd = DescriptorOf(s);
    if (fd < 0) {
        return SOCKET_ERROR;
    }
    const int error = host_net::Close(fd);
    return error == 0 ? 0 : Fail(WsaErrorOf(error));
}

SocketWaker::SocketWaker() : fd_(host_net::MakeWaker()) {}

SocketWaker::~SocketWaker() {
    if (fd_ >= 0) {
        host_net::CloseWaker(fd_);
    }
}

void SocketWaker::Set() {
    if (fd_ >= 0) {
        host_net::SetWaker(fd_);
    }
}

void SocketWaker::Reset() {
    if (fd_ >= 0) {
        host_net::ResetWaker(fd_);
    }
}

bool SocketWaker::IsSet() const {
    return fd_ >= 0 && host_net::WakerIsSet(fd_);
}

SocketWait WaitReadable(SOCKET s, DWORD milliseconds, const SocketWaker* waker) {
    const int fd = DescriptorOf(s);
    if (fd < 0) {
        return SocketWait::Failed;
    }
    int error = 0;
    switch (host_net::WaitReadable(fd, TimeoutOf(milliseconds), WakerDescriptor(waker), &error)) {
        case host_net::WaitResult::Readable:
            return SocketWait::Readable;
        case host_net::WaitResult::TimedOut:
            return SocketWait::TimedOut;
        case host_net::WaitResult::Woken:
            return SocketWait::Woken;
        case host_net::WaitResult::Failed:
            break;
    }
    WSASetLastError(WsaErrorOf(error));
    return SocketWait::Failed;
}

std::string FormatSocketError(int error) {
    switch (error) {
        case WSAEDISCON:
            return "the other side closed the connection";
        case WSAECONNRESET:
            return "the other side reset the connection";
        case WSAECONNABORTED:
            return "the connection was aborted";
        case WSAETIMEDOUT:
            return "the connection timed out";
        case WSAECONNREFUSED:
            return "the connection was refused";
        case WSAENETUNREACH:
        case WSAEHOSTUNREACH:
            return "the other side cannot be reached";
        case WSAEINTR:
            return "the call was cancelled";
        case WSANOTINITIALISED:
            return "sockets are not started";
        default:
            return "socket error " + std::to_string(error);
    }
}

}  // namespace platform
