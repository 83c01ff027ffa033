#include "terminal/serial/serial_channel.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/comm/sim_device.h"
#include "platform/system/last_error.h"
#include "terminal/session/settings_string.h"
#include "terminal/session/test_pattern.h"
#include "tests/support/temp_config.h"
#include "tests/support/tty_speed.h"
#include "tests/support/wait.h"

using namespace std::chrono_literals;

namespace {

PortConfig DefaultsForTest() {
    PortConfig config;
    FillDefaultPortConfig(config);
    return config;
}

// Collects what a channel reports through its callback, from whichever thread reports it.
class EventLog {
  public:
    static void Callback(SerialChannel*, void* owner, ChannelEvent event) {
        auto* log = static_cast<EventLog*>(owner);
        std::lock_guard lock(log->mutex_);
        log->events_.push_back(event);
        log->changed_.notify_all();
    }

    // True once `event` has been reported after the first `from` events.
    bool WaitFor(ChannelEvent event, std::size_t from = 0,
                 std::chrono::milliseconds deadline = 5000ms) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, deadline, [&] { return IndexOf(event, from) >= 0; });
    }
    long IndexOf(ChannelEvent event, std::size_t from = 0) const {
        for (std::size_t i = from; i < events_.size(); ++i) {
            if (events_[i] == event) {
                return static_cast<long>(i);
            }
        }
        return -1;
    }
    std::size_t Size() {
        std::lock_guard lock(mutex_);
        return events_.size();
    }
    std::vector<ChannelEvent> Events() {
        std::lock_guard lock(mutex_);
        return events_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<ChannelEvent> events_;
};

int ThreadCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') {
                ++count;
            }
        }
        closedir(dir);
    }
    return count;
}

class PtyChannelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[128];
        ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        slavePath_ = name;
        config_.WritePortMap("# test map\nCOM5 = " + slavePath_ + "\nCOM6 = /dev/does-not-exist\n");
    }
    void TearDown() override {
        close(master_);
        close(slave_);
    }

    // Reads from the pty master until `bytes` arrived or the deadline passed.
    std::string ReadMaster(std::size_t bytes, std::chrono::milliseconds deadline = 5000ms) {
        std::string got;
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        WaitUntil(
            [&] {
                char buffer[4096];
                const ssize_t n = read(master_, buffer, sizeof buffer);
                if (n > 0) {
                    got.append(buffer, static_cast<std::size_t>(n));
                }
                return got.size() >= bytes;
            },
            deadline);
        return got;
    }

    TempConfig config_;
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

TEST_F(PtyChannelTest, OpensRawAt115200With8N1ByDefault) {
    SerialChannel channel(5, DefaultsForTest(), nullptr);
    ASSERT_EQ(channel.Open(), OPEN_SUCCESS);
    EXPECT_TRUE(channel.PortOpen());
    EXPECT_STREQ(channel.DevicePath(), "\\\\.\\COM5");

    termios tio{};
    ASSERT_EQ(tcgetattr(slave_, &tio), 0);
    EXPECT_EQ(TtyOutputSpeed(slave_), 115200u);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF), 0u);
}

TEST_F(PtyChannelTest, CommandLineSettingsReachTheDevice) {
    PortConfig config = DefaultsForTest();
    ApplySettingsString("9600,7,E,1,", config);
    SerialChannel channel(5, config, nullptr);
    ASSERT_EQ(channel.Open(), OPEN_SUCCESS);

    EXPECT_EQ(TtyOutputSpeed(slave_), 9600u);
    // Other programs read the speed code, not the kernel's custom-rate field.
    EXPECT_EQ(SpeedSeenByStty(slave_), "9600");
    // A pseudo-terminal's driver always keeps 8 bits without parity, so the format is what
    // the device holds for the port.
    DCB state{};
    ASSERT_TRUE(channel.Device()->GetCommState(state));
    EXPECT_EQ(state.BaudRate, 9600u);
    EXPECT_EQ(state.ByteSize, 7);
    EXPECT_EQ(state.Parity, EVENPARITY);
    EXPECT_EQ(state.StopBits, ONESTOPBIT);
}

TEST_F(PtyChannelTest, ReadTakesOnlyWhatIsQueuedAndTerminatesIt) {
    SerialChannel channel(5, DefaultsForTest(), nullptr);
    ASSERT_EQ(channel.Open(), OPEN_SUCCESS);

    char buffer[4097];
    DWORD count = 99;
    ASSERT_EQ(channel.Read(buffer, 4096, count), 1);  // nothing queued: no wait, no bytes
    EXPECT_EQ(count, 0u);

    ASSERT_EQ(write(master_, "0123456789", 10), 10);
    // The bytes reach the line discipline a moment after the master's write returns.
    std::string got;
    bool readOk = true;
    WaitUntil(
        [&] {
            std::memset(buffer, 'x', sizeof buffer);
            readOk = channel.Read(buffer, 4096, count) == 1;
            if (readOk && count > 0) {
                got.assign(buffer, count);
                EXPECT_EQ(buffer[count], '\0');
            }
            return !readOk || !got.empty();
        },
        5s);
    ASSERT_TRUE(readOk);
    EXPECT_EQ(got, "0123456789");
    EXPECT_DOUBLE_EQ(channel.KbRead(), 10.0 / 1024.0);
}

TEST_F(PtyChannelTest, WrittenPatternArrivesWholeAndIsCounted) {
    SerialChannel channel(5, DefaultsForTest(), nullptr);
    ASSERT_EQ(channel.Open(), OPEN_SUCCESS);
    const TestPattern pattern(false, 0);
    const std::string expected(pattern.Text());
    ASSERT_EQ(expected.size(), 4030u);

    std::string received;
    std::thread reader([&] { received = ReadMaster(expected.size()); });
    ASSERT_EQ(channel.Write(expected.data(), static_cast<DWORD>(expected.size())), 1);
    reader.join();
    EXPECT_EQ(received, expected);
    EXPECT_DOUBLE_EQ(channel.KbWritten(), 4030.0 / 1024.0);
}

TEST_F(PtyChannelTest, PseudoTerminalHasNoModemLinesButOpensAndWatches) {
    EventLog log;
    SerialChannel channel(5, DefaultsForTest(), &log);
    channel.SetCallback(&EventLog::Callback);
    ASSERT_EQ(channel.Open(), OPEN_SUCCESS);
    channel.StartWatcher();
    EXPECT_TRUE(log.WaitFor(CHANNEL_WATCHER_STARTED));
    DWORD modem = 0xFF;
    ASSERT_TRUE(channel.Device()->GetCommModemStatus(modem));
    EXPECT_EQ(modem, 0u);
    EXPECT_TRUE(channel.Device()->EscapeCommFunction(CLRRTS));
    channel.StopWatcher();
    EXPECT_TRUE(log.WaitFor(CHANNEL_WATCHER_ENDED));
    EXPECT_FALSE(channel.WatcherStarted());
    channel.CloseDevice();
    EXPECT_FALSE(channel.PortOpen());
}

TEST_F(PtyChannelTest, HangUpIsReportedOnceAsTheDeviceLost) {
    EventLog log;
    SerialChannel channel(5, DefaultsForTest(), &log);
    channel.SetCallback(&EventLog::Callback);
    ASSERT_EQ(channel.Open(), OPEN_SUCCESS);
    channel.StartWatcher();
    ASSERT_TRUE(log.WaitFor(CHANNEL_WATCHER_STARTED));
    EXPECT_EQ(channel.DeviceLostError(), 0u);

    close(master_);  // the far side goes away
    master_ = -1;
    ASSERT_TRUE(log.WaitFor(CHANNEL_DEVICE_LOST, 0, 20000ms));
    ASSERT_TRUE(log.WaitFor(CHANNEL_WATCHER_ENDED, 0, 20000ms));
    EXPECT_EQ(channel.DeviceLostError(), static_cast<DWORD>(EIO));
    const auto events = log.Events();
    EXPECT_EQ(std::count(events.begin(), events.end(), CHANNEL_DEVICE_LOST), 1);
    // A read no longer takes the failed queue query for an empty queue, nor does a write
    // succeed.
    char buffer[4097];
    DWORD count = 0;
    EXPECT_EQ(channel.Read(buffer, 4096, count), 0);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(EIO));
    EXPECT_EQ(channel.Write("x", 1), 0);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(EIO));
    channel.StopWatcher();
    channel.CloseDevice();

    // The next open starts without the loss.
    int master = -1;
    int slave = -1;
    char name[128];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    config_.WritePortMap(std::string("COM5 = ") + name + "\n");
    EXPECT_EQ(channel.Open(), OPEN_SUCCESS);
    EXPECT_EQ(channel.DeviceLostError(), 0u);
    channel.CloseDevice();
    close(master);
    close(slave);
}

struct OpenFailureCase {
    const char* what;
    int port;
    BYTE byteSize;
    OpenResult expected;
};

class OpenFailureTest : public PtyChannelTest,
                        public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(OpenFailureTest, ReportsTheFirstReasonAndLeavesTheDeviceClosed) {
    PortConfig config = DefaultsForTest();
    config.ByteSize = GetParam().byteSize;
    SerialChannel channel(GetParam().port, config, nullptr);
    EXPECT_EQ(channel.Open(), GetParam().expected);
    EXPECT_FALSE(channel.PortOpen());
    EXPECT_EQ(channel.Device(), nullptr);
    // A refused open released the device: a good open of the same port works at once.
    SerialChannel again(5, DefaultsForTest(), nullptr);
    EXPECT_EQ(again.Open(), OPEN_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Results, OpenFailureTest,
    ::testing::Values(OpenFailureCase{"port zero", 0, 8, OPEN_BAD_PORT_NUMBER},
                      OpenFailureCase{"negative port", -3, 8, OPEN_BAD_PORT_NUMBER},
                      OpenFailureCase{"missing device", 6, 8, OPEN_NO_DEVICE},
                      OpenFailureCase{"refused settings", 5, 9, OPEN_STATE_FAILED}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& c : name) {
            if (c == ' ') {
                c = '_';
            }
        }
        return name;
    });

TEST_F(PtyChannelTest, FailedReopenDoesNotLeaveThePortOpen) {
    SerialChannel channel(5, DefaultsForTest(), nullptr);
    ASSERT_EQ(channel.Open(), OPEN_SUCCESS);
    config_.WritePortMap("COM5 = /dev/does-not-exist\n");
    EXPECT_EQ(channel.Open(), OPEN_NO_DEVICE);
    EXPECT_FALSE(channel.PortOpen());
}

TEST(SerialChannelWatcher, StoppingAWatcherThatIsNotRunningStillPauses) {
    SerialChannel channel(1, DefaultsForTest(), nullptr);
    const auto start = std::chrono::steady_clock::now();
    channel.StopWatcher();
    EXPECT_GE(std::chrono::steady_clock::now() - start, 250ms);
    EXPECT_FALSE(channel.WatcherStarted());
}

class SimChannelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        config_.WritePortMap(
            "COM1 = sim:null-modem/t/A\n"
            "COM2 = sim:null-modem/t/B\n"
            "COM3 = sim:loopback\n"
            "COM4 = sim:loopback-ring\n");
    }
    TempConfig config_;
};

// A channel on `port`, open and watched, with its reports collected.
struct WatchedChannel {
    explicit WatchedChannel(int port) : channel(port, DefaultsForTest(), &log) {
        channel.SetCallback(&EventLog::Callback);
        opened = channel.Open() == OPEN_SUCCESS;
        if (opened) {
            channel.StartWatcher();
            opened = log.WaitFor(CHANNEL_WATCHER_STARTED);
        }
    }
    // Runs the escape function and waits until the watcher reports `event` after it.
    bool Reports(DWORD function, ChannelEvent event) {
        const std::size_t mark = log.Size();
        return channel.Device()->EscapeCommFunction(function) && log.WaitFor(event, mark);
    }
    EventLog log;
    SerialChannel channel;
    bool opened = false;
};

TEST_F(SimChannelTest, LoopbackPlugReportsCtsAndBreak) {
    WatchedChannel watched(3);
    ASSERT_TRUE(watched.opened);
    EXPECT_TRUE(watched.Reports(CLRRTS, CHANNEL_CTS_OFF));
    EXPECT_TRUE(watched.Reports(SETRTS, CHANNEL_CTS_ON));

    auto device = watched.channel.Device();
    ASSERT_TRUE(device->SetCommMask(SerialChannel::kModemLineEvents | EV_BREAK));
    EXPECT_TRUE(watched.Reports(SETBREAK, CHANNEL_BREAK));
    ASSERT_TRUE(device->EscapeCommFunction(CLRBREAK));
    // A plain loopback plug has no RING wire.
    EXPECT_LT(watched.log.IndexOf(CHANNEL_RING_ON), 0);
    watched.channel.StopWatcher();
    EXPECT_TRUE(watched.log.WaitFor(CHANNEL_WATCHER_ENDED));
}

TEST_F(SimChannelTest, RingWiredToRtsIsReportedOnAndOff) {
    WatchedChannel watched(4);
    ASSERT_TRUE(watched.opened);
    EXPECT_TRUE(watched.Reports(CLRRTS, CHANNEL_RING_OFF));
    const std::size_t mark = watched.log.Size();
    EXPECT_TRUE(watched.Reports(SETRTS, CHANNEL_RING_ON));
    // Within one completed wait the lines are reported in a fixed order: CTS before RING.
    const auto events = watched.log.Events();
    const long ring = watched.log.IndexOf(CHANNEL_RING_ON, mark);
    ASSERT_GT(ring, static_cast<long>(mark) - 1);
    EXPECT_EQ(events[static_cast<std::size_t>(ring) - 1], CHANNEL_CTS_ON);
    watched.channel.StopWatcher();
}

TEST_F(SimChannelTest, WatcherFollowsThePeersLinesAfterEveryReopen) {
    WatchedChannel watched(1);
    ASSERT_TRUE(watched.opened);
    const platform::CommDeviceHandle peer = platform::CreateCommDevice("COM2");
    ASSERT_TRUE(peer);
    for (int round = 1; round <= 3; ++round) {
        // The close's order, then the open's.
        watched.channel.StopWatcher();
        watched.channel.CloseDevice();
        ASSERT_EQ(watched.channel.Open(), OPEN_SUCCESS);
        const std::size_t started = watched.log.Size();
        watched.channel.StartWatcher();
        ASSERT_TRUE(watched.log.WaitFor(CHANNEL_WATCHER_STARTED, started));
        for (const auto& [function, event] :
             {std::pair{SETDTR, CHANNEL_DSR_ON}, std::pair{CLRDTR, CHANNEL_DSR_OFF}}) {
            const std::size_t mark = watched.log.Size();
            ASSERT_TRUE(peer->EscapeCommFunction(function));
            ASSERT_TRUE(watched.log.WaitFor(event, mark)) << "round " << round;
        }
        EXPECT_TRUE(watched.channel.WatcherRunning()) << "round " << round;
    }
    peer->Close();
    watched.channel.StopWatcher();
}

TEST_F(SimChannelTest, PulledOutDeviceIsReportedByTheWatcher) {
    WatchedChannel watched(3);
    ASSERT_TRUE(watched.opened);
    ASSERT_TRUE(platform::UnplugSimulatedDevice("sim:loopback"));
    EXPECT_TRUE(watched.log.WaitFor(CHANNEL_DEVICE_LOST));
    EXPECT_EQ(watched.channel.DeviceLostError(), static_cast<DWORD>(ENODEV));
    watched.channel.StopWatcher();
    watched.channel.CloseDevice();
    EXPECT_EQ(watched.channel.Open(), OPEN_NO_DEVICE);
    platform::ReplugSimulatedDevice("sim:loopback");
    EXPECT_EQ(watched.channel.Open(), OPEN_SUCCESS);
}

TEST_F(SimChannelTest, NullModemWithDifferentRatesCountsFramingErrors) {
    PortConfig fast = DefaultsForTest();
    PortConfig slow = DefaultsForTest();
    slow.BaudRate = 9600;
    SerialChannel a(1, slow, nullptr);
    SerialChannel b(2, fast, nullptr);
    ASSERT_EQ(a.Open(), OPEN_SUCCESS);
    ASSERT_EQ(b.Open(), OPEN_SUCCESS);
    ASSERT_EQ(a.Write("ABCDEFGH", 8), 1);

    char buffer[4097];
    DWORD total = 0;
    bool readOk = true;
    WaitUntil(
        [&] {
            DWORD count = 0;
            readOk = b.Read(buffer, 4096, count) == 1;
            total += count;
            return !readOk || total >= 8;
        },
        5s);
    ASSERT_TRUE(readOk);
    EXPECT_EQ(total, 8u);
    EXPECT_GE(b.FramingErrors(), 1u);
    EXPECT_EQ(b.TotalErrors(), b.FramingErrors() + b.ParityErrors() + b.OverrunErrors());
    EXPECT_EQ(a.TotalErrors(), 0u);
}

TEST_F(SimChannelTest, XoffFromThePeerHoldsOutputAndIsReportedAtTheNextRead) {
    EventLog log;
    PortConfig xonxoff = DefaultsForTest();
    xonxoff.fOutX = 1;
    SerialChannel a(1, xonxoff, &log);
    a.SetCallback(&EventLog::Callback);
    SerialChannel b(2, DefaultsForTest(), nullptr);
    ASSERT_EQ(a.Open(), OPEN_SUCCESS);
    ASSERT_EQ(b.Open(), OPEN_SUCCESS);

    char buffer[4097];
    DWORD count = 0;
    const char xoff = 0x13;
    ASSERT_EQ(b.Write(&xoff, 1), 1);
    bool readOk = true;
    WaitUntil(
        [&] {
            if (log.IndexOf(CHANNEL_XOFF_HOLD_BEGAN) >= 0) {
                return true;
            }
            readOk = a.Read(buffer, 4096, count) == 1;
            EXPECT_EQ(count, 0u);  // the XOFF is flow control, not data
            return !readOk;
        },
        5s);
    ASSERT_TRUE(readOk);
    ASSERT_GE(log.IndexOf(CHANNEL_XOFF_HOLD_BEGAN), 0);
    EXPECT_FALSE(a.NotXoff());

    const char xon = 0x11;
    ASSERT_EQ(b.Write(&xon, 1), 1);
    WaitUntil(
        [&] {
            if (log.IndexOf(CHANNEL_XOFF_HOLD_ENDED) >= 0) {
                return true;
            }
            readOk = a.Read(buffer, 4096, count) == 1;
            return !readOk;
        },
        5s);
    ASSERT_TRUE(readOk);
    EXPECT_GT(log.IndexOf(CHANNEL_XOFF_HOLD_ENDED), log.IndexOf(CHANNEL_XOFF_HOLD_BEGAN));
    EXPECT_TRUE(a.NotXoff());
}

TEST_F(SimChannelTest, DestroyingAWatchingChannelLeavesNoThreadBehind) {
    // Any thread the device layer keeps for all simulated devices runs from the first open on.
    SerialChannel other(2, DefaultsForTest(), nullptr);
    ASSERT_EQ(other.Open(), OPEN_SUCCESS);
    const int before = ThreadCount();
    {
        EventLog log;
        SerialChannel channel(3, DefaultsForTest(), &log);
        channel.SetCallback(&EventLog::Callback);
        ASSERT_EQ(channel.Open(), OPEN_SUCCESS);
        channel.StartWatcher();
        ASSERT_TRUE(log.WaitFor(CHANNEL_WATCHER_STARTED));
    }
    WaitUntil([&] { return ThreadCount() <= before; }, 5s);
    EXPECT_LE(ThreadCount(), before);
    SerialChannel again(3, DefaultsForTest(), nullptr);
    EXPECT_EQ(again.Open(), OPEN_SUCCESS);  // the plug was released
}

}  // namespace
