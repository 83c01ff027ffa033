#include "tests/support/tcp_test_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/wait.h"

namespace {

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool Readable(int fd, int milliseconds) {
    pollfd one{fd, POLLIN, 0};
    return ::poll(&one, 1, milliseconds) > 0;
}

bool Connects(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(port);
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

}  // namespace

TcpTestConnection::~TcpTestConnection() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

TcpTestConnection::TcpTestConnection(TcpTestConnection&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)) {}

TcpTestConnection& TcpTestConnection::operator=(TcpTestConnection&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool TcpTestConnection::Write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(sent);
    }
    return true;
}

std::string TcpTestConnection::Read(std::size_t bytes) {
    std::string got;
    bool ended = false;
    WaitUntil([&] {
        while (!ended && got.size() < bytes && Readable(fd_, 0)) {
            char buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            ended = n <= 0;
            if (n > 0) {
                got.append(buffer, static_cast<std::size_t>(n));
            }
        }
        return ended || got.size() >= bytes;
    });
    return got;
}

bool TcpTestConnection::WaitEndOfFile() {
    return WaitUntil([&] { return Ended(); });
}

bool TcpTestConnection::Ended() {
    while (Readable(fd_, 0)) {
        char buffer[4096];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n == 0) {
            return true;
        }
        if (n < 0) {
            return errno == ECONNRESET;
        }
    }
    return false;
}

void TcpTestConnection::Reset() {
    // A close with a zero linger time sends a reset instead of the orderly end.
    linger abort{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd_);
    fd_ = -1;
}

TcpTestListener::TcpTestListener(int backlog) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_, backlog) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return;
    }
    port_ = ntohs(address.sin_port);
}

TcpTestListener::~TcpTestListener() {
    if (filler_ >= 0) {
        ::close(filler_);
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

TcpTestConnection TcpTestListener::Accept() {
    if (!WaitUntil([&] { return Pending(); })) {
        return TcpTestConnection();
    }
    return TcpTestConnection(::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC));
}

bool TcpTestListener::Pending() const {
    return Readable(fd_, 0);
}

bool TcpTestListener::FillQueue() {
    filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(port_);
    return ::connect(filler_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

std::uint16_t UnusedTcpPort() {
    const TcpTestListener listener;
    return listener.Port();
}

SocatEcho::SocatEcho(const std::string& kind, const std::string& options) {
    port_ = UnusedTcpPort();
    const std::string listen =
        kind + ":" + std::to_string(port_) + ",bind=127.0.0.1,reuseaddr,fork" + options;
    // Everything the child needs is made before the fork: the test process has threads.
    std::vector<std::string> args = {"/usr/bin/socat", listen, "EXEC:cat"};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    // Its complaints about the connections ended with it would only clutter the output.
    const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    pid_ = fork();
    if (pid_ == 0) {
        // Its own process group, so that its connections' cats go with it.
        setpgid(0, 0);
        if (quiet >= 0) {
            dup2(quiet, STDERR_FILENO);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (quiet >= 0) {
        ::close(quiet);
    }
    if (pid_ < 0) {
        return;
    }
    setpgid(pid_, pid_);
    started_ = WaitUntil([&] {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return true;  // it died: not started
        }
        return Connects(port_);
    });
    started_ = started_ && pid_ > 0;
}

SocatEcho::~SocatEcho() {
    if (pid_ > 0) {
        ::kill(-pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}
