#pragma once
// The Winsock calls a socket port makes, over the host's sockets: the same names, argument
// shapes, constants (with the Windows SDK values) and WSA error codes, so that a port's code
// reads as it would against the real library. A SOCKET is the host's descriptor.
//
// Every call but WSAStartup fails with WSANOTINITIALISED while no start is outstanding: each
// WSAStartup counts one start and each WSACleanup takes one away.
//
// Two ways of the host's sockets differ on purpose:
// - send never raises a broken-pipe signal: writing to a connection the peer has closed or
//   reset fails with an error code, as it does on Windows;
// - a blocking connect can be given a time-out and a waker that ends it from another thread
//   (ConnectWithin), which a port needs so that closing its window never waits for a peer
//   that does not answer.
//
// This header includes no host socket header, and a file that includes it must include it
// before any (the host names the same constants as macros).

#include <cstdint>
#include <string>

#include "platform/win/win_types.h"

namespace platform {

using SOCKET = std::uintptr_t;
using u_short = std::uint16_t;
using u_long = std::uint32_t;

constexpr SOCKET INVALID_SOCKET = ~SOCKET{0};
constexpr int SOCKET_ERROR = -1;

constexpr int AF_INET = 2;
constexpr int SOCK_STREAM = 1;
constexpr int IPPROTO_TCP = 6;
constexpr int SOL_SOCKET = 0xffff;
// Its value is a DWORD of milliseconds; a receive that waits longer fails with WSAETIMEDOUT.
constexpr int SO_RCVTIMEO = 0x1006;
constexpr int SD_RECEIVE = 0;
constexpr int SD_SEND = 1;
constexpr int SD_BOTH = 2;
constexpr int MSG_OOB = 0x1;
constexpr int MSG_PEEK = 0x2;
constexpr u_long INADDR_ANY = 0x00000000u;
constexpr u_long INADDR_NONE = 0xffffffffu;

// The WSA error codes the host's failures are reported with.
constexpr int WSA_NOT_ENOUGH_MEMORY = 8;
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
// The peer ended the connection in order (a receive of 0 bytes, told apart by the caller).
constexpr int WSAEDISCON = 10101;
constexpr int WSASYSCALLFAILURE = 10107;

constexpr WORD MAKEWORD(BYTE low, BYTE high) {
    return static_cast<WORD>(low | (high << 8));
}

struct WSADATA {
    WORD wVersion = 0;
    WORD wHighVersion = 0;
    char szDescription[257] = {};
    char szSystemStatus[129] = {};
    unsigned short iMaxSockets = 0;
    unsigned short iMaxUdpDg = 0;
    char* lpVendorInfo = nullptr;
};

struct IN_ADDR {
    u_long S_addr = 0;  // network byte order
};

struct SOCKADDR {
    u_short sa_family = 0;
    char sa_data[14] = {};
};

struct SOCKADDR_IN {
    short sin_family = 0;
    u_short sin_port = 0;  // network byte order
    IN_ADDR sin_addr;
    char sin_zero[8] = {};
};

int WSAStartup(WORD versionRequested, WSADATA* data);
int WSACleanup();
// The error of the calling thread's last failed socket call.
int WSAGetLastError();
void WSASetLastError(int error);

SOCKET socket(int af, int type, int protocol);
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
// The address of a dotted IPv4 text in network byte order; INADDR_NONE for any other text.
u_long inet_addr(const char* text);
u_short htons(u_short value);
u_short ntohs(u_short value);
// Blocks until the connection is made or refused (the host's own time-out, minutes).
int connect(SOCKET s, const SOCKADDR* name, int namelen);
// The bytes sent (a blocking socket sends all of them unless it fails), or SOCKET_ERROR.
int send(SOCKET s, const char* buffer, int length, int flags);
// The bytes received, 0 when the peer has ended the connection in order, or SOCKET_ERROR.
int recv(SOCKET s, char* buffer, int length, int flags);
int shutdown(SOCKET s, int how);
int closesocket(SOCKET s);

// ---- Beyond the Winsock calls (a Windows backend builds these from WSAEventSelect and
// WSAWaitForMultipleEvents, with the waker a WSAEVENT).

// Ends ConnectWithin and WaitReadable from another thread. Set once it stays set, so that a
// set that comes before the wait still ends it. Any thread may set it.
class SocketWaker {
  public:
    SocketWaker();
    ~SocketWaker();
    SocketWaker(const SocketWaker&) = delete;
    SocketWaker& operator=(const SocketWaker&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // The pollable descriptor behind it (for the backend only); -1 when it could not be made,
    // in which case the waker never ends a wait.
    int Descriptor() const { return fd_; }

  private:
    int fd_;
};

// connect, given up after `milliseconds` (INFINITE: never) with WSAETIMEDOUT, or as soon as
// `waker` (may be null) is set with WSAEINTR. A socket whose connect was given up is left
// unconnected; the caller closes it.
int ConnectWithin(SOCKET s, const SOCKADDR* name, int namelen, DWORD milliseconds,
                  const SocketWaker* waker);

enum class SocketWait {
    Readable,  // bytes are queued, or the peer ended the connection, or it failed: recv tells
    TimedOut,
    Woken,   // the waker was set
    Failed,  // the wait itself failed (WSAGetLastError says why)
};
// Waits at most `milliseconds` until a receive would not block. A shutdown of the socket by
// another thread also ends the wait (the socket then reads as ended).
SocketWait WaitReadable(SOCKET s, DWORD milliseconds, const SocketWaker* waker);

// How many starts are outstanding (WSAStartup calls not yet matched by WSACleanup).
int WinsockStartCount();

// A short text of a WSA error code for the user, without a line break.
std::string FormatSocketError(int error);

}  // namespace platform
