#pragma once
// Helpers for the tests of the tty device on pseudo-terminals: the test holds the master (the
// far end of the line) and a descriptor of the slave (to look at its settings); the device
// opens the slave by its path, mapped as COM5 in a private port map.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/comm/comm_device.h"
#include "platform/system/last_error.h"
#include "tests/support/line_settings.h"
#include "tests/support/temp_config.h"
#include "tests/support/tty_speed.h"
#include "tests/support/wait.h"

namespace platform::ttytest {

// Far more than any wait below needs on a loaded machine; only a fault runs into it.
constexpr auto kPatience = std::chrono::seconds(20);

// The output speed of a tty in bit/s, read through termios2 so any rate shows, not only the
// B-constant ones (tests/support/tty_speed.cpp: the kernel header cannot share a file with
// termios.h).
inline unsigned OutputSpeed(int fd) {
    return TtyOutputSpeed(fd);
}

class Pty {
  public:
    Pty() {
        char name[128] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            ADD_FAILURE() << "openpty failed: " << errno;
            return;
        }
        path_ = name;
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() {
        HangUp();
        ::close(slave_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int Slave() const { return slave_; }

    // The far end goes away: the line is hung up.
    void HangUp() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }
    const std::string& Path() const { return path_; }

    // Sends from the far end.
    void Send(std::string_view bytes) const {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + sent, bytes.size() - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            pollfd p{master_, POLLOUT, 0};
            ASSERT_GT(::poll(&p, 1, 20000), 0) << "far end cannot send";
        }
    }

    // What the far end has received, until `count` bytes came or the patience ran out.
    std::string Receive(std::size_t count) const {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            char buffer[4096];
            const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n > 0) {
                got.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            pollfd p{master_, POLLIN, 0};
            ::poll(&p, 1, 100);
        }
        return got;
    }

    // Bytes that reached the far end and wait there unread.
    int Arrived() const {
        int n = 0;
        ::ioctl(master_, FIONREAD, &n);
        return n;
    }

    termios SlaveSettings() const {
        termios t{};
        EXPECT_EQ(::tcgetattr(slave_, &t), 0);
        return t;
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

inline DCB Settings(DWORD baud, BYTE bits = 8, BYTE parity = NOPARITY, BYTE stop = ONESTOPBIT) {
    return TestLineSettings(baud, bits, parity, stop, true);
}

inline COMMTIMEOUTS Timeouts(DWORD interval, DWORD multiplier, DWORD constant,
                             DWORD writeConstant = 0) {
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = interval;
    t.ReadTotalTimeoutMultiplier = multiplier;
    t.ReadTotalTimeoutConstant = constant;
    t.WriteTotalTimeoutConstant = writeConstant;
    return t;
}

// A pseudo-terminal mapped as COM5 and opened through the port map.
class PtyPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        config_.WritePortMap("# the test's own port\nCOM5 = " + pty_.Path() + "\n");
        device_ = CreateCommDevice("\\\\.\\COM5");
        ASSERT_NE(device_, nullptr) << "open failed: " << GetLastError();
    }
    void TearDown() override {
        if (device_) {
            device_->Close();
        }
    }

    void Apply(const DCB& dcb) { ASSERT_TRUE(device_->SetCommState(dcb)) << GetLastError(); }
    void SetTimeouts(const COMMTIMEOUTS& t) { ASSERT_TRUE(device_->SetCommTimeouts(t)); }

    DWORD InQueue() {
        DWORD errors = 0;
        COMSTAT stat;
        EXPECT_TRUE(device_->ClearCommError(errors, &stat)) << GetLastError();
        return stat.cbInQue;
    }

    TempConfig config_;
    Pty pty_;
    CommDeviceHandle device_;
};

}  // namespace platform::ttytest
