// Ports backed by real devices: pseudo-terminals stand in for serial cards, and a made-up
// /proc tree checks which devices other processes hold open.

#include "drivers/tty_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "drivers/open_device_scan.h"
#include "tests/drivers/device_client.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_config.h"
#include "tests/support/wait.h"

using namespace portcount;
using namespace std::chrono_literals;

namespace {

struct Pty {
    Pty() { openpty(&master, &slave, name, nullptr, nullptr); }
    ~Pty() {
        CloseSlave();
        CloseMaster();
    }
    void CloseSlave() {
        if (slave >= 0) {
            close(slave);
            slave = -1;
        }
    }
    void CloseMaster() {
        if (master >= 0) {
            close(master);
            master = -1;
        }
    }
    int master = -1;
    int slave = -1;
    char name[128] = {};
};

// Whether this kernel keeps per-port counters for pseudo-terminals (it need not).
bool KernelCountsPtys(int fd) {
    serial_icounter_struct icount{};
    return ioctl(fd, TIOCGICOUNT, &icount) == 0;
}

TEST(OpenDeviceScan, SeesOtherProcessesDevicesOnceASecond) {
    TempConfig dir;
    const std::string proc = dir.Root() + "/proc";
    const auto link = [&](const std::string& pid, const std::string& fd,
                          const std::string& target) {
        std::filesystem::create_directories(proc + "/" + pid + "/fd");
        std::filesystem::create_symlink(target, proc + "/" + pid + "/fd/" + fd);
    };
    link("100", "0", "/dev/ttyS4");
    link("100", "1", "socket:[1234]");
    link(std::to_string(getpid()), "7", "/dev/ttyS5");  // this process: not "elsewhere"
    std::filesystem::create_directories(proc + "/self/fd");
    std::filesystem::create_directories(proc + "/sys");
    OpenDeviceScan scan(proc);
    const SteadyTime t0 = SteadyTime{} + 100s;
    EXPECT_TRUE(scan.OpenElsewhere("/dev/ttyS4", t0));
    EXPECT_FALSE(scan.OpenElsewhere("/dev/ttyS5", t0));
    EXPECT_FALSE(scan.OpenElsewhere("socket:[1234]", t0));
    link("200", "3", "/dev/ttyUSB0");
    // Within the second the last scan stands; after it the new holder shows.
    EXPECT_FALSE(scan.OpenElsewhere("/dev/ttyUSB0", t0 + 900ms));
    EXPECT_TRUE(scan.OpenElsewhere("/dev/ttyUSB0", t0 + 1s));
    std::filesystem::remove_all(proc + "/100");
    EXPECT_FALSE(scan.OpenElsewhere("/dev/ttyS4", t0 + 2s));
}

TEST(TtyPort, DevicesThatAreNotThereReadAsNothing) {
    TempConfig dir;
    const std::string file = dir.Dir() + "/plain";
    std::ofstream(file) << "not a tty";
    for (const std::string& path : {std::string("/dev/quenby-no-such-tty"), file}) {
        SCOPED_TRACE(path);
        TtyPort port(path, std::make_shared<OpenDeviceScan>());
        EXPECT_FALSE(port.Read(SteadyTime{} + 1s).has_value());
    }
}

TEST(TtyPort, APseudoTerminalIsReadWithoutChangingIt) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(pty.slave, &before), 0);
    TtyPort port(pty.name, std::make_shared<OpenDeviceScan>());
    const auto first = port.Read(SteadyTime{} + 1s);
    ASSERT_TRUE(first.has_value());
    // This process holds the slave open, but it is the service's own holding that is ignored.
    EXPECT_EQ(first->flags & kFlagOpen, 0);
    ASSERT_EQ(write(pty.master, "hello\n", 6), 6);  // a whole line for the canonical reader
    const auto second = port.Read(SteadyTime{} + 3s);
    ASSERT_TRUE(second.has_value());
    if (KernelCountsPtys(pty.slave)) {
        EXPECT_GE(second->rx - first->rx, 6u);
        EXPECT_EQ(second->rxPackets, first->rxPackets + 1);
    } else {
        EXPECT_EQ(second->tx, 0u);
        EXPECT_EQ(second->rx, 0u);
    }
    termios after{};
    ASSERT_EQ(tcgetattr(pty.slave, &after), 0);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    // The bytes are still there for whoever owns the port.
    char buffer[8] = {};
    EXPECT_EQ(read(pty.slave, buffer, sizeof buffer), 6);
    // The card goes away: the port reads as nothing.
    pty.CloseSlave();
    pty.CloseMaster();
    // The hang-up runs in the background.
    EXPECT_TRUE(WaitUntil([&] { return !port.Read(SteadyTime{} + 5s).has_value(); }));
}

TEST(TtyPort, TheServiceFlagsAPtyOpenWhileAnotherProcessHoldsIt) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    TempConfig config;
    std::ofstream(config.Dir() + "/portcountd.conf")
        << "talon COM7 device=" << pty.name << "\ntalon COM8 sim\n";
    ServiceProcess service;
    ASSERT_TRUE(service.Start()) << service.Stderr();

    Device talon("talon");
    ASSERT_TRUE(talon.Open());
    ASSERT_EQ(talon.Names(4), (std::vector<std::string>{"COM7", "COM8"}));
    // Waits until the flag of COM7 says want; the service rescans once a second.
    const auto openFlagBecomes = [&](bool want) {
        return WaitUntil([&] {
            const auto c = talon.Counters(2);
            return !c.empty() && ((c[0].flags & kFlagOpen) != 0) == want;
        });
    };
    EXPECT_TRUE(openFlagBecomes(true));  // this test process holds the slave
    if (!KernelCountsPtys(pty.slave)) {
        ASSERT_EQ(write(pty.master, "abc", 3), 3);
        const auto c = talon.Counters(2);
        ASSERT_EQ(c.size(), 2u);
        EXPECT_EQ(c[0].tx, 0u);
        EXPECT_EQ(c[0].rx, 0u);
    }
    pty.CloseSlave();
    EXPECT_TRUE(openFlagBecomes(false));
    pty.slave = open(pty.name, O_RDWR | O_NOCTTY);
    ASSERT_GE(pty.slave, 0);
    EXPECT_TRUE(openFlagBecomes(true));
    // The pseudo-terminal goes away: zeros, flags 0, and the simulated port goes on.
    pty.CloseSlave();
    pty.CloseMaster();
    // The kernel hangs the terminal up in the background, so this too is waited for.
    std::vector<PortCounters> gone;
    WaitUntil([&] {
        gone = talon.Counters(2);
        return gone.size() != 2 || gone[0] == PortCounters{};
    });
    ASSERT_EQ(gone.size(), 2u);
    EXPECT_EQ(gone[0], PortCounters{});
    EXPECT_NE(gone[1].flags, 0);
}

}  // namespace
