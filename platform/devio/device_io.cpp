#include "platform/devio/device_io.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/devio/device_io_protocol.h"
#include "platform/system/last_error.h"

namespace platform {

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

// A driver that does not answer must not hang the monitor, whose one thread polls it.
std::atomic<int> g_answerTimeoutMs{5000};

struct OpenDevice {
    std::mutex mutex;  // one request at a time on one connection
    std::string socketPath;
    int fd = -1;
};

std::mutex g_tableMutex;
std::map<DeviceHandle, std::shared_ptr<OpenDevice>> g_devices;
DeviceHandle g_nextHandle = 1;

std::shared_ptr<OpenDevice> Lookup(DeviceHandle handle) {
    std::lock_guard lock(g_tableMutex);
    auto it = g_devices.find(handle);
    return it == g_devices.end() ? nullptr : it->second;
}

// Connects to the socket; -1 with errno set when nothing listens there.
int Connect(const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

bool SendAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ReceiveAll(int fd, std::uint8_t* data, std::size_t size,
                std::chrono::steady_clock::time_point deadline) {
    while (size > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            errno = ETIMEDOUT;
            return false;
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (ready == 0) {
            errno = ETIMEDOUT;
            return false;
        }
        const ssize_t n = ::recv(fd, data, size, 0);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            errno = ECONNRESET;  // the driver went away in the middle of its answer
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void Drop(OpenDevice& device) {
    if (device.fd >= 0) {
        ::close(device.fd);
        device.fd = -1;
    }
}

}  // namespace

DeviceDirectoryPlace ChooseDeviceDirectory() {
    if (const char* dir = std::getenv("QUENBY_DEVICE_DIR"); dir && *dir) {
        return {dir, true};
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        return {std::string(runtime) + "/quenby-devices", false};
    }
    return {"/tmp/quenby-devices-" + std::to_string(::getuid()), false};
}

std::string DeviceDirectory() {
    return ChooseDeviceDirectory().path;
}

int CheckDeviceDirectory(const std::string& dir, bool named, std::string& problem) {
    const std::string what = "the device directory " + dir;
    struct stat info {};
    if ((named ? ::stat(dir.c_str(), &info) : ::lstat(dir.c_str(), &info)) != 0) {
        const int error = errno;
        problem = what + ": " + std::strerror(error);
        return error;
    }
    if (S_ISLNK(info.st_mode)) {
        problem = what +
                  " is a symbolic link, which another user may have put there; remove it or "
                  "name a directory of your own in QUENBY_DEVICE_DIR";
        return EACCES;
    }
    if (!S_ISDIR(info.st_mode)) {
        problem = what + " is not a directory";
        return ENOTDIR;
    }
    if (info.st_uid != ::geteuid()) {
        problem = what + " belongs to user " + std::to_string(info.st_uid) +
                  ", not to this user (" + std::to_string(::geteuid()) +
                  "); remove it or name a directory of your own in QUENBY_DEVICE_DIR";
        return EACCES;
    }
    if ((info.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        problem = what + " is open to other users (mode " + mode +
                  "); make it private with "
                  "chmod 700 " +
                  dir;
        return EACCES;
    }
    problem.clear();
    return 0;
}

std::string MakeDeviceDirectory(const std::string& dir, bool named) {
    struct stat info {};
    if (::lstat(dir.c_str(), &info) != 0 && errno == ENOENT) {
        std::error_code ec;
        const std::filesystem::path parent = std::filesystem::path(dir).parent_path();
        if (!parent.empty()) {
            std::filesystem::create_directories(parent, ec);
        }
        // Made private from the start; another user's directory in its place fails the check.
        if (::mkdir(dir.c_str(), 0700) == 0) {
            ::chmod(dir.c_str(), 0700);  // a creation mask may have taken the owner's bits
        } else if (errno != EEXIST) {
            return "cannot create the device directory " + dir + ": " +
                   (ec ? ec.message() : std::string(std::strerror(errno)));
        }
    }
    std::string problem;
    CheckDeviceDirectory(dir, named, problem);
    return problem;
}

namespace {

// Whether the device directory may be used; a refusal is said on standard error (the
// monitor's own message only says it cannot reach the driver) and sets ERROR_ACCESS_DENIED.
bool DeviceDirectoryUsable(std::string& dir) {
    const DeviceDirectoryPlace place = ChooseDeviceDirectory();
    dir = place.path;
    std::string problem;
    const int error = CheckDeviceDirectory(place.path, place.named, problem);
    if (error == 0 || error == ENOENT) {
        return true;  // a missing directory is a driver service that is not running
    }
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, problem.c_str());
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

}  // namespace

DeviceHandle CreateDeviceFile(const char* path, DWORD, DWORD) {
    const std::string_view text = path != nullptr ? path : "";
    if (!text.starts_with(kDevicePrefix) || text.size() == kDevicePrefix.size() ||
        text.find('/') != std::string_view::npos) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return kInvalidDeviceHandle;
    }
    std::string dir;
    if (!DeviceDirectoryUsable(dir)) {
        return kInvalidDeviceHandle;
    }
    auto device = std::make_shared<OpenDevice>();
    device->socketPath = dir + "/" + std::string(text.substr(kDevicePrefix.size()));
    device->fd = Connect(device->socketPath);
    if (device->fd < 0) {
        const int error = errno;
        SetLastError(error == ENOENT || error == ECONNREFUSED ? ERROR_FILE_NOT_FOUND
                                                              : static_cast<DWORD>(error));
        return kInvalidDeviceHandle;
    }
    std::lock_guard lock(g_tableMutex);
    const DeviceHandle handle = g_nextHandle++;
    g_devices[handle] = std::move(device);
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL DeviceIoControl(DeviceHandle handle, DWORD code, const void* in, DWORD inBytes, void* out,
                     DWORD outBytes, DWORD* bytesReturned, void* overlapped) {
    if (bytesReturned != nullptr) {
        *bytesReturned = 0;
    }
    const auto device = Lookup(handle);
    if (!device) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    if (overlapped != nullptr || (in == nullptr && inBytes != 0) ||
        (out == nullptr && outBytes != 0) || inBytes > devio::kMaxBufferBytes ||
        outBytes > devio::kMaxBufferBytes) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    std::lock_guard lock(device->mutex);
    if (device->fd < 0) {
        // The connection broke on an earlier request: one new try for this one.
        device->fd = Connect(device->socketPath);
        if (device->fd < 0) {
            return FailWithErrno();
        }
    }
    std::vector<std::uint8_t> frame(devio::kHeaderSize + inBytes);
    devio::EncodeRequestHeader(
        {code, inBytes, outBytes},
        std::span<std::uint8_t, devio::kHeaderSize>(frame.data(), devio::kHeaderSize));
    if (inBytes > 0) {
        std::memcpy(frame.data() + devio::kHeaderSize, in, inBytes);
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(g_answerTimeoutMs.load());
    std::uint8_t answerBytes[devio::kAnswerHeaderSize];
    if (!SendAll(device->fd, frame.data(), frame.size()) ||
        !ReceiveAll(device->fd, answerBytes, sizeof answerBytes, deadline)) {
        const int error = errno;
        Drop(*device);
        return FailWith(static_cast<DWORD>(error));
    }
    // The returned bytes go straight into the caller's buffer, once the header allows them.
    devio::AnswerFrame received;
    if (devio::DecodeAnswer(answerBytes, outBytes, received) == devio::FrameStatus::Malformed) {
        Drop(*device);
        return FailWith(EPROTO);
    }
    const devio::AnswerHeader& answer = received.header;
    if (answer.returned > 0 &&
        !ReceiveAll(device->fd, static_cast<std::uint8_t*>(out), answer.returned, deadline)) {
        const int error = errno;
        Drop(*device);
        return FailWith(static_cast<DWORD>(error));
    }
    if (answer.status != 0) {
        return FailWith(answer.status);
    }
    if (bytesReturned != nullptr) {
        *bytesReturned = answer.returned;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL CloseDeviceHandle(DeviceHandle handle) {
    std::shared_ptr<OpenDevice> device;
    {
        std::lock_guard lock(g_tableMutex);
        auto it = g_devices.find(handle);
        if (it == g_devices.end()) {
            return FailWith(ERROR_INVALID_HANDLE);
        }
        device = std::move(it->second);
        g_devices.erase(it);
    }
    std::lock_guard lock(device->mutex);
    Drop(*device);
    return TRUE;
}

void SetDeviceAnswerTimeoutForTesting(int milliseconds) {
    g_answerTimeoutMs.store(milliseconds);
}

}  // namespace platform
