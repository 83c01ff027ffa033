#include "platform/net/host_sockets.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace platform::host_net {

namespace {

using Clock = std::chrono::steady_clock;

// The time left of a wait that began at `start`, for poll: -1 without limit, never below 0.
int RemainingMs(int milliseconds, Clock::time_point start) {
    if (milliseconds < 0) {
        return -1;
    }
    const auto spent =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    return spent >= milliseconds ? 0 : static_cast<int>(milliseconds - spent);
}

// Polls `fd` for `events` and the waker for readability, over signals, until one is ready or
// the time is up. 0 ready, 1 timed out, 2 woken, -errno.
int PollWithWaker(int fd, short events, int milliseconds, int wakeFd) {
    pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
    const nfds_t count = wakeFd >= 0 ? 2 : 1;
    const Clock::time_point start = Clock::now();
    for (;;) {
        const int ready = ::poll(fds, count, RemainingMs(milliseconds, start));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -errno;
        }
        if (count == 2 && (fds[1].revents & POLLIN) != 0) {
            return 2;
        }
        if (ready > 0) {
            return 0;
        }
        return 1;
    }
}

}  // namespace

int OpenStream() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return fd >= 0 ? fd : -errno;
}

int SetReceiveTimeout(int fd, std::uint32_t milliseconds) {
    timeval time{};
    time.tv_sec = static_cast<time_t>(milliseconds / 1000);
    time.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
    return ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &time, sizeof time) == 0 ? 0 : errno;
}

int Connect(int fd, std::uint32_t address, std::uint16_t port, int milliseconds, int wakeFd) {
    if (wakeFd >= 0 && WakerIsSet(wakeFd)) {
        return EINTR;  // ended before it began: not a byte goes out
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = port;
    peer.sin_addr.s_addr = address;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        return errno;
    }
    int error = 0;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            const int waited = PollWithWaker(fd, POLLOUT, milliseconds, wakeFd);
            if (waited == 0) {
                socklen_t length = sizeof error;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
                    error = errno;
                }
            } else if (waited == 1) {
                error = ETIMEDOUT;
            } else if (waited == 2) {
                error = EINTR;
            } else {
                error = -waited;
            }
        }
    }
    // The socket blocks again for the sends and receives that follow.
    ::fcntl(fd, F_SETFL, flags);
    return error;
}

long Send(int fd, const void* data, std::size_t length, bool outOfBand) {
    const int flags = MSG_NOSIGNAL | (outOfBand ? MSG_OOB : 0);
    for (;;) {
        const ssize_t sent = ::send(fd, data, length, flags);
        if (sent >= 0) {
            return static_cast<long>(sent);
        }
        if (errno != EINTR) {
            return -errno;
        }
    }
}

long Receive(int fd, void* buffer, std::size_t length, bool outOfBand, bool peek) {
    const int flags = (outOfBand ? MSG_OOB : 0) | (peek ? MSG_PEEK : 0);
    for (;;) {
        const ssize_t got = ::recv(fd, buffer, length, flags);
        if (got >= 0) {
            return static_cast<long>(got);
        }
        if (errno != EINTR) {
            return -errno;
        }
    }
}

int Shutdown(int fd, int how) {
    static constexpr int kHow[] = {SHUT_RD, SHUT_WR, SHUT_RDWR};
    return ::shutdown(fd, kHow[how]) == 0 ? 0 : errno;
}

int Close(int fd) {
    // The descriptor is gone whatever close says, so it is never closed twice.
    return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
}

WaitResult WaitReadable(int fd, int milliseconds, int wakeFd, int* error) {
    const int waited = PollWithWaker(fd, POLLIN, milliseconds, wakeFd);
    switch (waited) {
        case 0:
            return WaitResult::Readable;
        case 1:
            return WaitResult::TimedOut;
        case 2:
            return WaitResult::Woken;
        default:
            if (error != nullptr) {
                *error = -waited;
            }
            return WaitResult::Failed;
    }
}

int MakeWaker() {
    return ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

void SetWaker(int fd) {
    const std::uint64_t one = 1;
    // A full counter is set already; nothing else can fail on a valid eventfd.
    [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);
}

void ResetWaker(int fd) {
    std::uint64_t value = 0;
    [[maybe_unused]] const ssize_t got = ::read(fd, &value, sizeof value);
}

bool WakerIsSet(int fd) {
    pollfd waker{fd, POLLIN, 0};
    return ::poll(&waker, 1, 0) > 0 && (waker.revents & POLLIN) != 0;
}

void CloseWaker(int fd) {
    ::close(fd);
}

}  // namespace platform::host_net
