#include "drivers/driver_service.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "platform/devio/device_io.h"
#include "platform/devio/device_io_protocol.h"
#include "platform/system/paths.h"
#include "platform/wmi/wmi_protocol.h"

namespace portcount {

const DeviceName kDeviceNames[6] = {
    {"hubsio", Family::Hubline}, {"hubsiox64", Family::Hubline}, {"hubsioia64", Family::Hubline},
    {"talon", Family::Talon},    {"talonx64", Family::Talon},    {"talonia64", Family::Talon},
};

namespace {

constexpr int kControlListener = -1;
constexpr int kWmiListener = -2;

void Log(const std::string& text) {
    std::fprintf(stderr, "portcountd: %s\n", text.c_str());
}

bool MakeAddress(const std::string& path, sockaddr_un& address) {
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

struct DriverService::Client {
    int fd = -1;
    bool control = false;
    bool wmi = false;
    Family family = Family::Hubline;
    std::vector<std::uint8_t> in;
    std::vector<std::uint8_t> out;
    std::size_t sent = 0;
    // A management answer told to wait is sent from then on; the client is not read before.
    SteadyTime sendAt{};
};

DriverService::DriverService(ServiceOptions options) : options_(std::move(options)) {}

DriverService::~DriverService() {
    Stop();
}

bool DriverService::LoadConfiguration(bool atStart) {
    const auto now = std::chrono::steady_clock::now();
    if (options_.portsPerFamily >= 0) {
        card_.Load(SimulatedCard(options_.portsPerFamily), now);
        return true;
    }
    const std::string path = options_.configPath.empty()
                                 ? platform::ConfigDirectory() + "/portcountd.conf"
                                 : options_.configPath;
    struct stat info {};
    if (!options_.configGiven && ::stat(path.c_str(), &info) != 0 && errno == ENOENT) {
        if (atStart) {
            Log("no " + path + ": serving the default card");
        }
        card_.Load(DefaultCard(), now);
        return true;
    }
    std::vector<std::string> problems;
    const auto config = LoadConfigFile(path, problems);
    for (const std::string& problem : problems) {
        Log(problem + (config ? " (line skipped)" : ""));
    }
    if (!config) {
        if (!atStart) {
            Log("keeping the previous configuration");
        }
        return false;
    }
    card_.Load(*config, now);
    return true;
}

bool DriverService::Listen(const std::string& name, int& fd) {
    const std::string path = dir_ + "/" + name;
    // Bound under a temporary name and renamed once it listens: a client that sees the
    // socket can connect at once. The lock is ours, so a socket already there belongs to a
    // service that died, and the rename replaces it.
    const std::string staging = path + ".new";
    sockaddr_un address;
    if (!MakeAddress(staging, address)) {
        Log(path + ": path too long for a socket");
        return false;
    }
    ::unlink(staging.c_str());
    fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(staging.c_str(), 0600) != 0 || ::listen(fd, 64) != 0 ||
        ::rename(staging.c_str(), path.c_str()) != 0) {
        Log(path + ": " + std::strerror(errno));
        ::unlink(staging.c_str());
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
        return false;
    }
    socketPaths_.push_back(path);
    return true;
}

bool DriverService::Start() {
    const platform::DeviceDirectoryPlace place = platform::ChooseDeviceDirectory();
    const bool named = !options_.deviceDir.empty() || place.named;
    dir_ = options_.deviceDir.empty() ? place.path : options_.deviceDir;
    if (const std::string problem = platform::MakeDeviceDirectory(dir_, named); !problem.empty()) {
        Log(problem + "; not starting");
        return false;
    }
    const std::string lockPath = dir_ + "/" + kLockFileName;
    for (;;) {
        lockFd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lockFd_ < 0) {
            Log(lockPath + ": " + std::strerror(errno));
            return false;
        }
        if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
            const bool busy = errno == EWOULDBLOCK;
            Log(busy ? "another driver service is already running in " + dir_ + "; not starting"
                     : lockPath + ": " + std::strerror(errno));
            ::close(lockFd_);
            lockFd_ = -1;
            return false;
        }
        // A service that stopped just now may have removed the file we locked.
        struct stat held {
        }, named{};
        if (::fstat(lockFd_, &held) == 0 && ::stat(lockPath.c_str(), &named) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
            break;
        }
        ::close(lockFd_);
        lockFd_ = -1;
    }
    if (!LoadConfiguration(true)) {
        Log("not starting");
        return false;
    }
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    ::sigprocmask(SIG_BLOCK, &signals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    signalFd_ = ::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd_ < 0) {
        Log(std::string("signalfd: ") + std::strerror(errno));
        return false;
    }
    for (int i = 0; i < 6; ++i) {
        int fd = -1;
        if (!Listen(kDeviceNames[i].name, fd)) {
            return false;
        }
        listeners_.emplace_back(fd, i);
    }
    int wmi = -1;
    if (!Listen(platform::wmi::kSocketName, wmi)) {
        return false;
    }
    listeners_.emplace_back(wmi, kWmiListener);
    // Made last: a client that can reach it can reach every other socket.
    int control = -1;
    if (!Listen(kControlSocketName, control)) {
        return false;
    }
    listeners_.emplace_back(control, kControlListener);
    running_ = true;
    Log("started in " + dir_ + ": " + std::to_string(card_.PortCount(Family::Hubline)) +
        " hubline, " + std::to_string(card_.PortCount(Family::Talon)) + " talon and " +
        std::to_string(card_.PortCount(Family::Zenith)) + " zenith ports");
    return true;
}

void DriverService::Stop() {
    for (Client& client : clients_) {
        ::close(client.fd);
    }
    clients_.clear();
    for (auto& [fd, index] : listeners_) {
        ::close(fd);
    }
    listeners_.clear();
    for (const std::string& path : socketPaths_) {
        ::unlink(path.c_str());
    }
    socketPaths_.clear();
    if (signalFd_ >= 0) {
        ::close(signalFd_);
        signalFd_ = -1;
    }
    if (lockFd_ >= 0) {
        ::unlink((dir_ + "/" + kLockFileName).c_str());
        ::close(lockFd_);
        lockFd_ = -1;
    }
    if (running_) {
        running_ = false;
        Log("stopped");
    }
}

void DriverService::Accept(int listener, int index) {
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;  // EAGAIN: all taken; anything else: the client gave up already
        }
        Client client;
        client.fd = fd;
        client.control = index == kControlListener;
        client.wmi = index == kWmiListener;
        client.family = index >= 0 ? kDeviceNames[index].family : Family::Zenith;
        clients_.push_back(std::move(client));
    }
}

bool DriverService::ReadFrom(Client& client) {
    std::uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = ::recv(client.fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            client.in.insert(client.in.end(), chunk, chunk + n);
            if (!Process(client)) {
                return false;
            }
            if (!client.out.empty()) {
                return true;  // the answer waits for room; read again once it is out
            }
            continue;
        }
        if (n == 0) {
            return false;
        }
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    }
}

bool DriverService::Process(Client& client) {
    namespace devio = platform::devio;
    std::size_t used = 0;
    while (client.out.empty()) {
        const std::span<const std::uint8_t> left(client.in.data() + used, client.in.size() - used);
        devio::FrameStatus status = devio::FrameStatus::Incomplete;
        if (client.control) {
            std::string_view line;
            std::size_t taken = 0;
            status = NextControlLine(left, line, taken);
            if (status == devio::FrameStatus::Complete) {
                const std::string answer = Control(line) + "\n";
                client.out.assign(answer.begin(), answer.end());
                used += taken;
            }
        } else if (client.wmi) {
            platform::wmi::Request request;
            status = platform::wmi::DecodeRequest(left, request);
            if (status == devio::FrameStatus::Complete) {
                const auto now = std::chrono::steady_clock::now();
                client.out = wmi_.Answer(request, now);
                client.sendAt = now + wmi_.Delay();
                used += request.size;
            }
        } else {
            devio::RequestFrame request;
            status = devio::DecodeRequest(left, request);
            if (status == devio::FrameStatus::Complete) {
                client.out =
                    AnswerRequest(card_, client.family, request, std::chrono::steady_clock::now());
                used += request.size;
            }
        }
        if (status == devio::FrameStatus::Malformed) {
            return false;  // not our framing, or a length beyond every limit
        }
        if (status == devio::FrameStatus::Incomplete) {
            break;
        }
        client.sent = 0;
        if (client.wmi && std::chrono::steady_clock::now() < client.sendAt) {
            break;  // held back; the loop sends it when its time has come
        }
        if (!Flush(client)) {
            return false;
        }
    }
    client.in.erase(client.in.begin(), client.in.begin() + static_cast<std::ptrdiff_t>(used));
    return true;
}

bool DriverService::Flush(Client& client) {
    while (client.sent < client.out.size()) {
        const ssize_t n = ::send(client.fd, client.out.data() + client.sent,
                                 client.out.size() - client.sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        client.sent += static_cast<std::size_t>(n);
    }
    client.out.clear();
    client.sent = 0;
    return true;
}

std::string DriverService::Control(std::string_view line) {
    if (line == "wmi" || line.starts_with("wmi ")) {
        return wmi_.Control(line);
    }
    if (line == "reload") {
        if (!LoadConfiguration(false)) {
            return "error: the configuration cannot be read; the previous one stays";
        }
        Log("configuration reloaded");
        return "ok " + std::to_string(card_.PortCount(Family::Hubline)) + " hubline " +
               std::to_string(card_.PortCount(Family::Talon)) + " talon " +
               std::to_string(card_.PortCount(Family::Zenith)) + " zenith ports";
    }
    return card_.Control(line, std::chrono::steady_clock::now());
}

int DriverService::Run() {
    if (!Start()) {
        Stop();
        return 1;
    }
    std::vector<pollfd> fds;
    auto idleAt = std::chrono::steady_clock::now();
    for (;;) {
        fds.clear();
        fds.push_back({signalFd_, POLLIN, 0});
        for (const auto& [fd, index] : listeners_) {
            fds.push_back({fd, POLLIN, 0});
        }
        const auto now = std::chrono::steady_clock::now();
        // The earliest held-back answer; such a client is neither read nor written before.
        std::optional<SteadyTime> nextSend;
        for (const Client& client : clients_) {
            const bool held = !client.out.empty() && now < client.sendAt;
            if (held) {
                nextSend = std::min(nextSend.value_or(client.sendAt), client.sendAt);
            }
            fds.push_back({client.fd,
                           static_cast<short>(held                 ? 0
                                              : client.out.empty() ? POLLIN
                                                                   : POLLOUT),
                           0});
        }
        // While a port holds a device, look once a second whether to let go of it (its
        // program has closed it), whether or not anyone asks for that port's counters.
        const bool holding = card_.HoldsDevices();
        if (holding && now - idleAt >= std::chrono::seconds(1)) {
            card_.Idle(now);
            idleAt = now;
            continue;
        }
        int timeout = holding
                          ? static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 idleAt + std::chrono::seconds(1) - now)
                                                 .count()) +
                                1
                          : -1;
        if (nextSend) {
            const int untilSend =
                static_cast<int>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(*nextSend - now)
                        .count()) +
                1;
            timeout = timeout < 0 ? untilSend : std::min(timeout, untilSend);
        }
        if (!holding) {
            idleAt = now;
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR) {
                continue;
            }
            Log(std::string("poll: ") + std::strerror(errno));
            Stop();
            return 1;
        }
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            while (::read(signalFd_, &info, sizeof info) == sizeof info) {
                if (info.ssi_signo == SIGHUP) {
                    Control("reload");
                } else {
                    Stop();
                    return 0;
                }
            }
        }
        const std::size_t clientCount = clients_.size();
        for (std::size_t i = 0; i < listeners_.size(); ++i) {
            if (fds[1 + i].revents & POLLIN) {
                Accept(listeners_[i].first, listeners_[i].second);
            }
        }
        // Clients accepted just now are polled on the next round.
        std::vector<bool> drop(clientCount, false);
        for (std::size_t i = 0; i < clientCount; ++i) {
            const short events = fds[1 + listeners_.size() + i].revents;
            Client& client = clients_[i];
            if (events == 0) {
                continue;
            }
            if (!client.out.empty()) {
                drop[i] = (events & (POLLERR | POLLHUP)) != 0 || !Flush(client) ||
                          (client.out.empty() && !Process(client));
                // Requests that arrived while the answer waited are answered now.
                if (!drop[i] && client.out.empty()) {
                    drop[i] = !ReadFrom(client);
                }
            } else {
                drop[i] = !ReadFrom(client);
            }
        }
        for (std::size_t i = clientCount; i-- > 0;) {
            if (drop[i]) {
                ::close(clients_[i].fd);
                clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
    }
}

platform::devio::FrameStatus NextControlLine(std::span<const std::uint8_t> bytes,
                                             std::string_view& line, std::size_t& used) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::size_t newline = text.find('\n');
    // The limit holds whether the line came in one piece or in many.
    if (newline == std::string_view::npos) {
        return text.size() > kMaxControlLine ? platform::devio::FrameStatus::Malformed
                                             : platform::devio::FrameStatus::Incomplete;
    }
    if (newline > kMaxControlLine) {
        return platform::devio::FrameStatus::Malformed;
    }
    line = text.substr(0, newline);
    used = newline + 1;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        line.remove_prefix(1);
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    return platform::devio::FrameStatus::Complete;
}

std::vector<std::uint8_t> AnswerRequest(DriverCard& card, Family family,
                                        const platform::devio::RequestFrame& request,
                                        SteadyTime now) {
    std::vector<std::uint8_t> output;
    const DWORD status = card.Handle(family, request.header.code, request.input,
                                     request.header.outBytes, output, now);
    return platform::devio::EncodeAnswer(status, output);
}

int RunControlCommand(const std::string& dir, const std::string& line) {
    const std::string path = dir + "/" + kControlSocketName;
    sockaddr_un address;
    if (!MakeAddress(path, address)) {
        std::fprintf(stderr, "portcountd: %s: path too long\n", path.c_str());
        return 2;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "portcountd: no driver service at %s: %s\n", path.c_str(),
                     std::strerror(errno));
        if (fd >= 0) {
            ::close(fd);
        }
        return 2;
    }
    const std::string request = line + "\n";
    std::size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            std::fprintf(stderr, "portcountd: sending to %s: %s\n", path.c_str(),
                         std::strerror(errno));
            ::close(fd);
            return 2;
        }
        sent += static_cast<std::size_t>(n);
    }
    std::string answer;
    char c = 0;
    for (;;) {
        const ssize_t n = ::recv(fd, &c, 1, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0 || c == '\n') {
            break;
        }
        answer += c;
    }
    ::close(fd);
    if (answer.empty()) {
        std::fprintf(stderr, "portcountd: the service closed without an answer\n");
        return 2;
    }
    std::printf("%s\n", answer.c_str());
    return answer.starts_with("ok") ? 0 : 1;
}

}  // namespace portcount
