// Ports backed by real devices: pseudo-terminals stand in for serial cards, and a made-up
// /proc tree checks which devices other processes hold open.

#include "drivers/tty_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "drivers/open_device_scan.h"
#include "drivers/proc_serial.h"
#include "tests/drivers/device_client.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_config.h"
#include "tests/support/wait.h"

using namespace portcount;
using namespace std::chrono_literals;

namespace {

struct Pty {
    Pty() {
        openpty(&master, &slave, name, nullptr, nullptr);
        // A service started by the test must not inherit the test's own hold on the device.
        for (const int fd : {master, slave}) {
            if (fd >= 0) {
                fcntl(fd, F_SETFD, FD_CLOEXEC);
            }
        }
    }
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

// How many of this process's descriptors lead to path.
int DescriptorsOn(const std::string& path, const std::string& pid = "self") {
    int count = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + pid + "/fd", ec)) {
        std::error_code linkError;
        if (std::filesystem::read_symlink(entry.path(), linkError) == path) {
            ++count;
        }
    }
    return count;
}

// A made-up /proc in which process 100 holds path open, or nobody does.
struct MadeUpProc {
    explicit MadeUpProc(const std::string& root) : proc(root + "/proc") {
        std::filesystem::create_directories(proc);
    }
    void Hold(const std::string& path) {
        std::filesystem::create_directories(proc + "/100/fd");
        std::filesystem::create_symlink(path, proc + "/100/fd/0");
    }
    void Release() { std::filesystem::remove_all(proc + "/100"); }
    std::string proc;
};

// Opening a serial port raises DTR and RTS, and holding it keeps the port's program from
// hanging the line up: a device without the kernel's table is opened only while another
// process holds it, never changed, and let go of once that process has.
TEST(TtyPort, APseudoTerminalIsOpenedOnlyWhileAnotherProcessHoldsIt) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(pty.slave, &before), 0);
    const bool counts = KernelCountsPtys(pty.slave);
    pty.CloseSlave();  // the master keeps the pseudo-terminal there
    TempConfig dir;
    MadeUpProc proc(dir.Root());
    auto scan = std::make_shared<OpenDeviceScan>(proc.proc);
    TtyPort port(pty.name, scan);
    // Nobody uses it: not opened, and nothing to show yet.
    EXPECT_FALSE(port.Read(SteadyTime{} + 1s).has_value());
    EXPECT_EQ(DescriptorsOn(pty.name), 0);

    proc.Hold(pty.name);
    const auto first = port.Read(SteadyTime{} + 3s);
    ASSERT_TRUE(first.has_value());
    EXPECT_NE(first->flags & kFlagOpen, 0);
    EXPECT_EQ(DescriptorsOn(pty.name), 1);  // held while the other holds it
    ASSERT_EQ(write(pty.master, "hello\n", 6), 6);
    const auto second = port.Read(SteadyTime{} + 5s);
    ASSERT_TRUE(second.has_value());
    if (counts) {
        EXPECT_GE(second->rx - first->rx, 6u);
        EXPECT_EQ(second->rxPackets, first->rxPackets + 1);
    } else {
        EXPECT_EQ(second->tx, 0u);
        EXPECT_EQ(second->rx, 0u);
    }
    termios after{};
    pty.slave = open(pty.name, O_RDWR | O_NOCTTY);
    ASSERT_GE(pty.slave, 0);
    ASSERT_EQ(tcgetattr(pty.slave, &after), 0);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    // The bytes are still there for whoever owns the port.
    char buffer[8] = {};
    EXPECT_EQ(read(pty.slave, buffer, sizeof buffer), 6);
    pty.CloseSlave();

    // The other process lets go: so does the port, at its next read or idle look, and it
    // keeps its last counters with the lines down.
    proc.Release();
    port.Idle(SteadyTime{} + 7s);
    EXPECT_EQ(DescriptorsOn(pty.name), 0);
    const auto third = port.Read(SteadyTime{} + 9s);
    ASSERT_TRUE(third.has_value());
    EXPECT_EQ(third->flags, 0);
    EXPECT_EQ(third->rx, second->rx);
    EXPECT_EQ(third->rxPackets, second->rxPackets);
    EXPECT_EQ(DescriptorsOn(pty.name), 0);

    // The card goes away: the port reads as nothing.
    proc.Hold(pty.name);
    ASSERT_TRUE(port.Read(SteadyTime{} + 11s).has_value());
    pty.CloseMaster();
    // The hang-up runs in the background.
    EXPECT_TRUE(WaitUntil([&] { return !port.Read(SteadyTime{} + 13s).has_value(); }));
}

// The kernel's table of 8250 ports as root reads it: counters that wrap, error counts shown
// only when not zero, the lines that are up, and lines that have nothing to give.
TEST(ProcSerial, TheKernelsTableOfPorts) {
    const auto C = [](std::uint32_t tx, std::uint32_t rx, std::uint16_t fe, std::uint16_t pe,
                      std::uint16_t oe, std::uint16_t flags) {
        PortCounters c;
        c.tx = tx;
        c.rx = rx;
        c.framing = fe;
        c.parity = pe;
        c.overrun = oe;
        c.flags = flags;
        return c;
    };
    struct Row {
        const char* what;
        const char* text;
        std::map<int, PortCounters> want;
    } rows[] = {
        {"every field",
         "0: uart:16550A port:000003F8 irq:4 tx:123 rx:456 fe:1 pe:2 brk:0 oe:3 "
         "RTS|DTR|CD\n",
         {{0, C(123, 456, 1, 2, 3, kFlagRts | kFlagDtr | kFlagCd)}}},
        {"header, quiet port, every line up",
         "serinfo:1.0 driver revision:\n"
         "1: uart:16550A port:000002F8 irq:3 tx:0 rx:0 RTS|CTS|DTR|DSR|CD|RI\n",
         {{1, C(0, 0, 0, 0, 0, kFlagRts | kFlagCts | kFlagDtr | kFlagDsr | kFlagCd)}}},
        {"no line up, memory-mapped, no newline at the end",
         "12: uart:16550A mmio:0xFE215040 irq:29 tx:7 rx:8",
         {{12, C(7, 8, 0, 0, 0, 0)}}},
        {"counters past 2^31 print negative and wrap into the fields",
         "2: uart:16550A port:000003E8 irq:4 tx:-1 rx:-2147483648 fe:65537 oe:70000\n",
         {{2, C(0xFFFFFFFFu, 0x80000000u, 1, 0, 70000 - 65536, 0)}}},
        {"no device, no counters for a reader who is not root, rubbish",
         "3: uart:unknown port:00000000 irq:0\n"
         "4: uart:16550A port:000002E8 irq:3\n"
         "5: uart:16550A port:000002E8 irq:3 tx:12x rx:1\n"
         "garbage line\n"
         "-1: uart:16550A tx:1 rx:1\n"
         "\n",
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(ParseProcSerial(row.text), row.want);
    }
}

// With the kernel's table readable, an 8250 port is never opened: its counters and lines come
// from the table, read once for every port read at one time.
TEST(TtyPort, An8250PortIsReadFromTheKernelsTableWithoutOpeningIt) {
    TempConfig dir;
    const std::string node = dir.Root() + "/ttyS3";
    if (mknod(node.c_str(), S_IFCHR | 0600, makedev(4, 64 + 3)) != 0) {
        GTEST_SKIP() << "making a device node needs root";
    }
    EXPECT_EQ(SerialLineOfDevice(node), 3);
    EXPECT_EQ(SerialLineOfDevice(dir.Root()), -1);
    const std::string table = dir.Root() + "/serial";
    const auto write = [&](const std::string& line3) {
        std::ofstream(table) << "serinfo:1.0 driver revision:\n"
                                "0: uart:16550A port:000003F8 irq:4 tx:1 rx:1\n"
                             << line3 << "\n";
    };
    write("3: uart:16550A port:000002E8 irq:3 tx:100 rx:200 pe:4 RTS|DTR");
    MadeUpProc proc(dir.Root());  // nobody holds the port
    TtyPort port(node, std::make_shared<OpenDeviceScan>(proc.proc),
                 std::make_shared<ProcSerialTable>(table));
    const auto first = port.Read(SteadyTime{} + 1s);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->tx, 100u);
    EXPECT_EQ(first->rx, 200u);
    EXPECT_EQ(first->parity, 4);
    EXPECT_EQ(first->flags, kFlagRts | kFlagDtr);
    EXPECT_EQ(DescriptorsOn(node), 0);
    EXPECT_FALSE(port.HoldsDevice());
    write("3: uart:16550A port:000002E8 irq:3 tx:150 rx:200 pe:4");
    // Read at the same time: the table read then stands.
    EXPECT_EQ(port.Read(SteadyTime{} + 1s)->tx, 100u);
    const auto second = port.Read(SteadyTime{} + 3s);
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->tx, 150u);
    EXPECT_EQ(second->txPackets, first->txPackets + 1);
    EXPECT_EQ(second->rxPackets, first->rxPackets);
    EXPECT_EQ(second->flags, 0);
    EXPECT_EQ(DescriptorsOn(node), 0);
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

// The port's program closes the port while nobody asks for counters: the service lets go of
// it as well, so that the program's close is the last one and can hang the line up.
TEST(TtyPort, TheServiceLetsGoOfADeviceItsProgramHasClosed) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    TempConfig config;
    std::ofstream(config.Dir() + "/portcountd.conf") << "talon COM7 device=" << pty.name << "\n";
    ServiceProcess service;
    ASSERT_TRUE(service.Start()) << service.Stderr();
    const std::string pid = std::to_string(service.Pid());
    const auto serviceHolds = [&](int want) {
        return WaitUntil([&] { return DescriptorsOn(pty.name, pid) == want; });
    };
    {
        Device talon("talon");
        ASSERT_TRUE(talon.Open());
        // Asked while this process holds the slave: the service opens it to read it.
        ASSERT_TRUE(WaitUntil([&] {
            const auto c = talon.Counters(1);
            return !c.empty() && (c[0].flags & kFlagOpen) != 0;
        }));
        EXPECT_TRUE(serviceHolds(1));
    }
    pty.CloseSlave();  // no request follows
    EXPECT_TRUE(serviceHolds(0));
}

}  // namespace
