// Device handles against a real socket server in the test: the request reaches the driver
// whole, its answer and status come back, and a driver that breaks the connection or stops
// answering fails the request instead of hanging it.

#include "platform/devio/device_io.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "platform/devio/device_io_protocol.h"
#include "platform/system/last_error.h"
#include "tests/support/scoped_env.h"

namespace platform {
namespace {

// What the fake driver does with one request: fills the answer and returns the status, or
// returns false to drop the connection without answering.
using Handler = std::function<bool(const devio::RequestHeader&, const std::vector<std::uint8_t>&,
                                   std::vector<std::uint8_t>&, std::uint32_t&)>;

class Driver {
  public:
    Driver(const std::string& dir, const std::string& name, Handler handler)
        : handler_(std::move(handler)) {
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = dir + "/" + name;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(listener_, 4), 0);
        thread_ = std::thread([this] { Serve(); });
    }
    ~Driver() {
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }
    int Connections() const { return connections_.load(); }

  private:
    static bool ReadAll(int fd, std::uint8_t* p, std::size_t n) {
        while (n > 0) {
            const ssize_t got = ::recv(fd, p, n, 0);
            if (got <= 0) {
                return false;
            }
            p += got;
            n -= static_cast<std::size_t>(got);
        }
        return true;
    }
    void Serve() {
        while (!stop_) {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) {
                return;
            }
            ++connections_;
            for (;;) {
                std::uint8_t header[devio::kHeaderSize];
                devio::RequestHeader request;
                if (!ReadAll(fd, header, sizeof header) ||
                    !devio::DecodeRequestHeader(header, request)) {
                    break;
                }
                std::vector<std::uint8_t> in(request.inBytes);
                if (!in.empty() && !ReadAll(fd, in.data(), in.size())) {
                    break;
                }
                std::vector<std::uint8_t> out;
                std::uint32_t status = 0;
                if (!handler_(request, in, out, status)) {
                    break;
                }
                std::uint8_t answer[devio::kAnswerHeaderSize];
                devio::EncodeAnswerHeader({status, static_cast<std::uint32_t>(out.size())}, answer);
                ::send(fd, answer, sizeof answer, MSG_NOSIGNAL);
                ::send(fd, out.data(), out.size(), MSG_NOSIGNAL);
            }
            ::close(fd);
        }
    }
    Handler handler_;
    int listener_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::thread thread_;
};

class DeviceIoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/quenby-devio-XXXXXX";
        dir_ = mkdtemp(pattern);
        setenv("QUENBY_DEVICE_DIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("QUENBY_DEVICE_DIR");
        SetDeviceAnswerTimeoutForTesting(5000);
        std::filesystem::remove_all(dir_);
    }
    std::string dir_;
};

// Echoes the input reversed, or fails with the code in the first input byte when it is not 0.
bool ReverseOrFail(const devio::RequestHeader& r, const std::vector<std::uint8_t>& in,
                   std::vector<std::uint8_t>& out, std::uint32_t& status) {
    if (!in.empty() && in[0] != 0) {
        status = in[0];
        return true;
    }
    out.assign(in.rbegin(), in.rend());
    out.resize(std::min<std::size_t>(out.size(), r.outBytes));
    return true;
}

TEST_F(DeviceIoTest, AMissingDriverCannotBeOpened) {
    EXPECT_EQ(CreateDeviceFile("\\\\.\\hubsio", GENERIC_READ, 0), kInvalidDeviceHandle);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(CreateDeviceFile("hubsio", GENERIC_READ, 0), kInvalidDeviceHandle);
    EXPECT_EQ(CreateDeviceFile("\\\\.\\..\\x/y", GENERIC_READ, 0), kInvalidDeviceHandle);
}

TEST_F(DeviceIoTest, RequestsRoundTripWithTheDriversStatus) {
    Driver driver(dir_, "talon", ReverseOrFail);
    const DeviceHandle handle = CreateDeviceFile("\\\\.\\talon", GENERIC_READ | GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(handle, kInvalidDeviceHandle);
    std::vector<std::uint8_t> buffer(2064);
    for (std::size_t i = 1; i < buffer.size(); ++i) {
        buffer[i] = static_cast<std::uint8_t>(i);
    }
    std::vector<std::uint8_t> answer(buffer.size());
    DWORD returned = 0;
    ASSERT_TRUE(DeviceIoControl(handle, 0x001B2010, buffer.data(), 2064, answer.data(), 2064,
                                &returned, nullptr));
    EXPECT_EQ(returned, 2064u);
    EXPECT_EQ(answer[0], buffer[2063]);
    EXPECT_EQ(answer[2063], buffer[0]);

    buffer[0] = 31;  // the driver refuses this one with its own code
    EXPECT_FALSE(DeviceIoControl(handle, 0x001B2010, buffer.data(), 64, answer.data(), 64,
                                 &returned, nullptr));
    EXPECT_EQ(GetLastError(), 31u);
    EXPECT_EQ(returned, 0u);
    EXPECT_TRUE(CloseDeviceHandle(handle));
    EXPECT_FALSE(CloseDeviceHandle(handle));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(DeviceIoControl(handle, 0x001B2010, buffer.data(), 64, answer.data(), 64,
                                 &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(DeviceIoTest, ABrokenConnectionFailsOnceThenReconnects) {
    std::atomic<int> requests{0};
    Driver driver(dir_, "hubsio", [&](auto& r, auto& in, auto& out, auto& status) {
        return ++requests != 2 && ReverseOrFail(r, in, out, status);  // drops the second
    });
    const DeviceHandle handle = CreateDeviceFile("\\\\.\\hubsio", GENERIC_READ, 0);
    ASSERT_NE(handle, kInvalidDeviceHandle);
    std::uint8_t in[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    std::uint8_t out[8] = {};
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(handle, 1, in, 8, out, 8, &returned, nullptr));
    EXPECT_FALSE(DeviceIoControl(handle, 1, in, 8, out, 8, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ECONNRESET));
    EXPECT_TRUE(DeviceIoControl(handle, 1, in, 8, out, 8, &returned, nullptr));
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(driver.Connections(), 2);
    CloseDeviceHandle(handle);
}

TEST_F(DeviceIoTest, ADriverThatNeverAnswersTimesOut) {
    Driver driver(dir_, "hubsiox64", [](auto&, auto&, auto&, auto&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        return false;
    });
    SetDeviceAnswerTimeoutForTesting(100);
    const DeviceHandle handle = CreateDeviceFile("\\\\.\\hubsiox64", GENERIC_READ, 0);
    ASSERT_NE(handle, kInvalidDeviceHandle);
    std::uint8_t buffer[4] = {};
    DWORD returned = 0;
    EXPECT_FALSE(DeviceIoControl(handle, 1, buffer, 4, buffer, 4, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ETIMEDOUT));
    CloseDeviceHandle(handle);
}

// The monitor must not talk to sockets in a directory another user could have made or could
// change: such a directory is refused with a message naming it, and nothing in it is reached.
TEST(DeviceDirectory, OnlyAPrivateDirectoryOfThisUserIsUsed) {
    char pattern[] = "/tmp/quenby-runtime-XXXXXX";
    const std::string runtime = mkdtemp(pattern);
    const std::string place = runtime + "/quenby-devices";  // the default under the runtime dir
    const std::string elsewhere = runtime + "/elsewhere";
    const passwd* nobody = getpwnam("nobody");
    struct Row {
        const char* what;
        bool named;       // given in QUENBY_DEVICE_DIR rather than found at the default place
        bool asRootOnly;  // changing a directory's owner needs root
        bool accepted;
        const char* says;  // in the refusal, after the directory's name
        std::function<void()> make;
    } rows[] = {
        {"private", false, false, true, "", [&] { mkdir(place.c_str(), 0700); }},
        {"open to everyone", false, false, false, "open to other users",
         [&] {
             mkdir(place.c_str(), 0700);
             chmod(place.c_str(), 0777);
         }},
        {"group may enter", false, false, false, "open to other users",
         [&] {
             mkdir(place.c_str(), 0700);
             chmod(place.c_str(), 0710);
         }},
        {"another user's", false, true, false, "belongs to",
         [&] {
             mkdir(place.c_str(), 0700);
             if (nobody != nullptr) {
                 EXPECT_EQ(chown(place.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
             }
         }},
        {"a link to a private directory elsewhere", false, false, false, "symbolic link",
         [&] {
             mkdir(elsewhere.c_str(), 0700);
             symlink(elsewhere.c_str(), place.c_str());
         }},
        {"named, open to everyone", true, false, false, "open to other users",
         [&] {
             mkdir(place.c_str(), 0700);
             chmod(place.c_str(), 0777);
         }},
        // A path the user names may lead through a link; the directory it reaches is checked.
        {"named, a link to a private directory", true, false, true, "",
         [&] {
             mkdir(elsewhere.c_str(), 0700);
             symlink(elsewhere.c_str(), place.c_str());
         }},
    };
    ScopedEnv runtimeDir("XDG_RUNTIME_DIR", runtime.c_str());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.asRootOnly && (geteuid() != 0 || nobody == nullptr)) {
            continue;  // only root can give a directory to another user
        }
        std::filesystem::remove_all(place);
        std::filesystem::remove_all(elsewhere);
        row.make();
        ScopedEnv named("QUENBY_DEVICE_DIR", row.named ? place.c_str() : nullptr);
        ASSERT_EQ(DeviceDirectory(), place);
        std::optional<Driver> driver;
        driver.emplace(place, "hubsio", ReverseOrFail);
        testing::internal::CaptureStderr();
        const DeviceHandle handle = CreateDeviceFile("\\\\.\\hubsio", GENERIC_READ, 0);
        const DWORD error = GetLastError();
        const std::string said = testing::internal::GetCapturedStderr();
        if (handle != kInvalidDeviceHandle) {
            CloseDeviceHandle(handle);  // lets the driver's thread end
        }
        if (row.accepted) {
            EXPECT_NE(handle, kInvalidDeviceHandle);
            EXPECT_EQ(said, "");
        } else {
            EXPECT_EQ(handle, kInvalidDeviceHandle);
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
            EXPECT_NE(said.find(place), std::string::npos) << said;
            EXPECT_NE(said.find(row.says), std::string::npos) << said;
        }
        driver.reset();
    }
    std::filesystem::remove_all(runtime);
}

}  // namespace
}  // namespace platform
