// The input wait of both device backends, the simulated null-modem pair and the tty on a real
// pseudo-terminal: it ends when a byte is there (at once when one already is), on its time-out,
// and when Close or a receive abort from another thread ends it; it takes nothing from the
// input queue.

#include <future>
#include <memory>
#include <string>

#include "platform/comm/sim_device.h"
#include "tests/platform/comm/tty_test_support.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(20);

// One end of a line under test and a way to send to it from the far end.
class Line {
  public:
    virtual ~Line() = default;
    virtual CommDeviceHandle Device() const = 0;
    virtual void PeerSend(const std::string& bytes) = 0;
    // The far end goes away, where the line can show it.
    virtual void PeerHangUp() {}
};

class SimLine final : public Line {
  public:
    SimLine() {
        static std::atomic<int> counter{0};
        const std::string pair = "sim:null-modem/wait" + std::to_string(++counter);
        near_ = OpenSimulatedDevice(pair + "/A");
        far_ = OpenSimulatedDevice(pair + "/B");
        EXPECT_NE(near_, nullptr) << GetLastError();
        EXPECT_NE(far_, nullptr) << GetLastError();
        const DCB dcb = TestLineSettings(115200, 8, NOPARITY, ONESTOPBIT, false);
        EXPECT_TRUE(near_ && near_->SetCommState(dcb));
        EXPECT_TRUE(far_ && far_->SetCommState(dcb));
    }
    ~SimLine() override {
        if (near_) {
            near_->Close();
        }
        if (far_) {
            far_->Close();
        }
    }
    CommDeviceHandle Device() const override { return near_; }
    void PeerSend(const std::string& bytes) override {
        DWORD written = 0;
        ASSERT_TRUE(far_->WriteFile(bytes.data(), static_cast<DWORD>(bytes.size()), written))
            << GetLastError();
        ASSERT_EQ(written, bytes.size());
    }

  private:
    CommDeviceHandle near_;
    CommDeviceHandle far_;
};

class PtyLine final : public Line {
  public:
    PtyLine() {
        config_.WritePortMap("# the test's own port\nCOM5 = " + pty_.Path() + "\n");
        device_ = CreateCommDevice("\\\\.\\COM5");
        EXPECT_NE(device_, nullptr) << "open failed: " << GetLastError();
    }
    ~PtyLine() override {
        if (device_) {
            device_->Close();
        }
    }
    CommDeviceHandle Device() const override { return device_; }
    void PeerSend(const std::string& bytes) override { pty_.Send(bytes); }
    void PeerHangUp() override { pty_.HangUp(); }

  private:
    TempConfig config_;
    ttytest::Pty pty_;
    CommDeviceHandle device_;
};

DWORD InQueue(CommDevice& device) {
    DWORD errors = 0;
    COMSTAT stat;
    EXPECT_TRUE(device.ClearCommError(errors, &stat)) << GetLastError();
    return stat.cbInQue;
}

bool WaitForQueued(CommDevice& device, DWORD count) {
    return WaitUntil([&] { return InQueue(device) >= count; }, kPatience);
}

std::string ReadQueued(CommDevice& device) {
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = 0;
    EXPECT_TRUE(device.SetCommTimeouts(t));
    std::string buffer(256, '\0');
    DWORD read = 0;
    EXPECT_TRUE(device.ReadFile(buffer.data(), static_cast<DWORD>(buffer.size()), read))
        << GetLastError();
    return buffer.substr(0, read);
}

struct WaitResult {
    BOOL ok = FALSE;
    DWORD error = 0;
};

std::future<WaitResult> WaitInBackground(const CommDeviceHandle& device, DWORD milliseconds) {
    return std::async(std::launch::async, [device, milliseconds] {
        WaitResult r;
        r.ok = device->WaitForInput(milliseconds);
        r.error = GetLastError();
        return r;
    });
}

class InputWaitTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override { line_ = MakeLine(); }

    std::unique_ptr<Line> MakeLine() const {
        if (std::string(GetParam()) == "sim") {
            return std::make_unique<SimLine>();
        }
        return std::make_unique<PtyLine>();
    }

    CommDevice& Device() const { return *line_->Device(); }

    std::unique_ptr<Line> line_;
};

TEST_P(InputWaitTest, ReturnsAtOnceWhenBytesAreQueuedAndTakesNone) {
    ASSERT_TRUE(line_->Device());
    line_->PeerSend("abc");
    ASSERT_TRUE(WaitForQueued(Device(), 3));
    // No time at all to wait: only bytes already queued can make it succeed.
    EXPECT_TRUE(Device().WaitForInput(0)) << GetLastError();
    EXPECT_TRUE(Device().WaitForInput(0)) << GetLastError();
    EXPECT_EQ(ReadQueued(Device()), "abc");
}

TEST_P(InputWaitTest, ReturnsOnceThePeerWrites) {
    ASSERT_TRUE(line_->Device());
    auto waiting = WaitInBackground(line_->Device(), INFINITE);
    line_->PeerSend("x");
    ASSERT_EQ(waiting.wait_for(kPatience), std::future_status::ready);
    const WaitResult r = waiting.get();
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(ReadQueued(Device()), "x");
}

TEST_P(InputWaitTest, TimesOutOnAQuietLine) {
    ASSERT_TRUE(line_->Device());
    const auto start = Clock::now();
    SetLastError(0);
    EXPECT_FALSE(Device().WaitForInput(60));
    EXPECT_EQ(GetLastError(), WAIT_TIMEOUT);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(60));
    // A wait that timed out leaves the device as it was.
    line_->PeerSend("later");
    EXPECT_TRUE(Device().WaitForInput(20000)) << GetLastError();
    ASSERT_TRUE(WaitForQueued(Device(), 5));
    EXPECT_EQ(ReadQueued(Device()), "later");
}

// Close or a receive abort from another thread ends an outstanding wait. Whether the wait had
// begun when the other thread acted cannot be seen from outside; a wait that had not yet begun
// finds the device closed (ERROR_INVALID_HANDLE) and the round is run again on a fresh line.
TEST_P(InputWaitTest, CloseAndReceiveAbortEndAnOutstandingWait) {
    struct Case {
        const char* name;
        bool close;
    };
    static constexpr Case kCases[] = {{"close", true}, {"receive abort", false}};
    for (const Case& c : kCases) {
        bool sawAbort = false;
        for (int round = 0; round < 20 && !sawAbort; ++round) {
            std::unique_ptr<Line> line = MakeLine();
            const CommDeviceHandle device = line->Device();
            ASSERT_TRUE(device);
            auto waiting = WaitInBackground(device, INFINITE);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (c.close) {
                device->Close();
            } else {
                ASSERT_TRUE(device->PurgeComm(PURGE_RXABORT)) << GetLastError();
            }
            ASSERT_EQ(waiting.wait_for(kPatience), std::future_status::ready) << c.name;
            const WaitResult r = waiting.get();
            ASSERT_FALSE(r.ok) << c.name;
            if (r.error == static_cast<DWORD>(ERROR_OPERATION_ABORTED)) {
                sawAbort = true;
            } else {
                // Only a close can come before the wait, and then the wait finds it closed.
                ASSERT_TRUE(c.close) << c.name << ": error " << r.error;
                ASSERT_EQ(r.error, static_cast<DWORD>(ERROR_INVALID_HANDLE)) << c.name;
            }
        }
        EXPECT_TRUE(sawAbort) << c.name;
    }
}

// A read and the wait outstanding together are both ended by one receive abort: the one's
// wake-up is not taken by the other. A round where either began only after the abort (it then
// ends on its time-out) is run again.
TEST_P(InputWaitTest, ReceiveAbortEndsABlockedReadAndTheWaitTogether) {
    bool bothAborted = false;
    for (int round = 0; round < 5 && !bothAborted; ++round) {
        std::unique_ptr<Line> line = MakeLine();
        const CommDeviceHandle device = line->Device();
        ASSERT_TRUE(device);
        COMMTIMEOUTS t;
        t.ReadTotalTimeoutConstant = 2000;
        ASSERT_TRUE(device->SetCommTimeouts(t));
        auto reading = std::async(std::launch::async, [device] {
            char buffer[8];
            DWORD read = 0;
            WaitResult r;
            r.ok = device->ReadFile(buffer, sizeof buffer, read);
            r.error = GetLastError();
            return r;
        });
        auto waiting = WaitInBackground(device, 2000);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(device->PurgeComm(PURGE_RXABORT)) << GetLastError();
        ASSERT_EQ(waiting.wait_for(kPatience), std::future_status::ready);
        ASSERT_EQ(reading.wait_for(kPatience), std::future_status::ready);
        const WaitResult w = waiting.get();
        const WaitResult r = reading.get();
        EXPECT_FALSE(w.ok);
        EXPECT_TRUE(w.error == static_cast<DWORD>(ERROR_OPERATION_ABORTED) ||
                    w.error == WAIT_TIMEOUT)
            << w.error;
        bothAborted = !r.ok && r.error == static_cast<DWORD>(ERROR_OPERATION_ABORTED) &&
                      w.error == static_cast<DWORD>(ERROR_OPERATION_ABORTED);
    }
    EXPECT_TRUE(bothAborted);
}

TEST_P(InputWaitTest, FailsWithInvalidHandleAfterClose) {
    ASSERT_TRUE(line_->Device());
    line_->PeerSend("q");
    ASSERT_TRUE(WaitForQueued(Device(), 1));
    Device().Close();
    SetLastError(0);
    EXPECT_FALSE(Device().WaitForInput(0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

INSTANTIATE_TEST_SUITE_P(Backends, InputWaitTest, ::testing::Values("sim", "pty"),
                         [](const auto& info) { return std::string(info.param); });

TEST(PtyInputWait, HungUpLineEndsTheWaitWithAFailure) {
    PtyLine line;
    ASSERT_TRUE(line.Device());
    line.PeerHangUp();
    auto waiting = WaitInBackground(line.Device(), INFINITE);
    ASSERT_EQ(waiting.wait_for(kPatience), std::future_status::ready);
    const WaitResult r = waiting.get();
    // Neither success nor a time-out: a worker that waits on it must not spin or stay asleep.
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error, WAIT_TIMEOUT);
    EXPECT_NE(r.error, 0u);
}

}  // namespace
}  // namespace platform
