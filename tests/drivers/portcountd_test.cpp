// The real service process through the real device handles: its sockets, its answers, the
// control commands, its signals and its refusal to run twice.

#include <gtest/gtest.h>
#include <pty.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <optional>

#include "drivers/driver_card.h"
#include "drivers/port_counters.h"
#include "platform/devio/device_io.h"
#include "platform/system/last_error.h"
#include "platform/wmi/wmi_protocol.h"
#include "tests/drivers/device_client.h"
#include "tests/support/scoped_env.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_config.h"
#include "tests/support/wait.h"

using namespace portcount;
using Clock = std::chrono::steady_clock;

namespace {

class PortcountdTest : public ::testing::Test {
  protected:
    int Ctl(std::vector<std::string> words) { return service_.Control(std::move(words)); }
    void WriteConfig(const std::string& text) {
        std::ofstream(config_.Dir() + "/portcountd.conf") << text;
    }

    TempConfig config_;
    ServiceProcess service_;
};

TEST_F(PortcountdTest, TheDefaultCardOnEveryDeviceName) {
    ASSERT_TRUE(service_.Start()) << service_.Stderr();
    for (const char* name : {"hubsio", "hubsiox64", "hubsioia64"}) {
        Device device(name);
        ASSERT_TRUE(device.Open()) << name;
        EXPECT_EQ(device.Names(512), (std::vector<std::string>{"COM3", "COM4", "COM5"}));
    }
    for (const char* name : {"talon", "talonx64", "talonia64"}) {
        Device device(name);
        ASSERT_TRUE(device.Open()) << name;
        EXPECT_EQ(device.Names(512), (std::vector<std::string>{"COM10", "COM11"}));
    }
    EXPECT_NE(service_.Stderr().find("default card"), std::string::npos);
    // No such device: the family is simply not there.
    platform::SetLastError(0);
    Device missing("zenport");
    EXPECT_FALSE(missing.Open());
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(PortcountdTest, RequestLengthsOverTheWire) {
    ASSERT_TRUE(service_.Start({"--ports-per-family", "0"})) << service_.Stderr();
    Device device("talon");
    ASSERT_TRUE(device.Open());
    struct Row {
        std::uint32_t command, entrySize;
        std::size_t length;
        DWORD status;
    } rows[] = {{10, 12, 64, 0},          {11, 20, 56, 0},  {10, 12, 64 + 12 * 3, 0},
                {11, 20, 56 + 20 * 3, 0}, {10, 12, 70, 22}, {11, 20, 60, 22},
                {11, 12, 56, 22},         {10, 12, 4, 22}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.length);
        EXPECT_EQ(device.Ask(row.command, row.entrySize, row.length), row.status);
    }
    EXPECT_TRUE(device.Names(512).empty());
    // Another code reaches the driver and is refused there, on a connection that stays good.
    EXPECT_EQ(device.Ask(10, 12, 64, 0x001B2014), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    DWORD returned = 0;
    std::uint8_t buffer[64] = {10, 0, 0, 0, 12};
    EXPECT_FALSE(platform::DeviceIoControl(0xFFFFFFF0u, kIoctlPortMonitor, buffer, 64, buffer, 64,
                                           &returned, nullptr));
    EXPECT_EQ(device.Ask(10, 12, 64), 0u);
}

TEST_F(PortcountdTest, AConfiguredCardWithFiveHundredTwelvePorts) {
    std::string text = "# a full card\nhubline COM12345678 sim rate=0 errors=0\n";
    for (int i = 1; i < 512; ++i) {
        text += "hubline COM" + std::to_string(i) + " sim rate=0 errors=0\n";
    }
    text += "talon COM1 sim rate=fast\ntalon COM2 sim rate=10\n";
    WriteConfig(text);
    ASSERT_TRUE(service_.Start()) << service_.Stderr();
    Device hub("hubsiox64");
    const auto names = hub.Names(512);
    ASSERT_EQ(names.size(), 512u);
    EXPECT_EQ(names.front(), "COM12345678");
    EXPECT_EQ(names.back(), "COM511");
    EXPECT_EQ(hub.Counters(512).size(), 512u);
    // The bad line is reported with its file and line, and skipped.
    EXPECT_NE(service_.Stderr().find(config_.Dir() + "/portcountd.conf:514: bad value for rate"),
              std::string::npos)
        << service_.Stderr();
    EXPECT_EQ(Device("talon").Names(512), (std::vector<std::string>{"COM2"}));
}

TEST_F(PortcountdTest, CountersGrowWithTheElapsedTime) {
    WriteConfig("hubline COM1 sim rate=2000/500\n");
    ASSERT_TRUE(service_.Start()) << service_.Stderr();
    Device device("hubsio");
    const auto before = Clock::now();
    const auto first = device.Counters(1);
    const auto after = Clock::now();
    ASSERT_EQ(first.size(), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto before2 = Clock::now();
    const auto second = device.Counters(1);
    const auto after2 = Clock::now();
    ASSERT_EQ(second.size(), 1u);
    // The time between the two reads lies between these two measured spans.
    const double shortest = std::chrono::duration<double>(before2 - after).count();
    const double longest = std::chrono::duration<double>(after2 - before).count();
    const double tx = second[0].tx - first[0].tx;
    const double rx = second[0].rx - first[0].rx;
    EXPECT_GE(tx, 2000 * shortest - 1);
    EXPECT_LE(tx, 2000 * longest + 1);
    EXPECT_GE(rx, 500 * shortest - 1);
    EXPECT_LE(rx, 500 * longest + 1);
    EXPECT_EQ(second[0].flags & kFlagOpen, kFlagOpen);
}

TEST_F(PortcountdTest, FailInjectionRestartAndWrapThroughTheControlCommand) {
    WriteConfig("hubline COM1 sim rate=100000\ntalon COM2 sim rate=10\n");
    ASSERT_TRUE(service_.Start()) << service_.Stderr();
    Device hub("hubsio");
    Device talon("talon");
    ASSERT_EQ(Ctl({"fail", "hubline", "31"}), 0);
    EXPECT_EQ(hub.Ask(11, 20, 76), 31u);
    EXPECT_EQ(hub.Ask(10, 12, 76), 31u);
    EXPECT_EQ(talon.Ask(11, 20, 76), 0u);
    ASSERT_EQ(Ctl({"fail", "hubline", "0"}), 0);
    EXPECT_EQ(hub.Ask(11, 20, 76), 0u);

    // Wait until the port has counted something, then restart it: its counter goes down.
    std::uint32_t high = 0;
    WaitUntil([&] {
        high = hub.Counters(1).at(0).tx;
        return high >= 1000;
    });
    ASSERT_GE(high, 1000u);
    ASSERT_EQ(Ctl({"restart", "all"}), 0);
    EXPECT_LT(hub.Counters(1).at(0).tx, high);

    ASSERT_EQ(Ctl({"set", "COM1", "tx=4294967295", "rxp=65535"}), 0);
    std::uint32_t tx = 0xFFFFFFFFu;
    WaitUntil([&] {
        tx = hub.Counters(1).at(0).tx;  // wrapped past 2^32 to a small value
        return tx < 0xFFFF0000u;
    });
    EXPECT_LT(tx, 0xFFFF0000u);
    EXPECT_NE(Ctl({"set", "COM99", "tx=1"}), 0);
    EXPECT_NE(Ctl({"fail", "swift", "3"}), 0);
}

TEST_F(PortcountdTest, ReloadTakesTheEditedFile) {
    WriteConfig("hubline COM1 sim\n");
    ASSERT_TRUE(service_.Start()) << service_.Stderr();
    Device hub("hubsio");
    EXPECT_EQ(hub.Names(8), (std::vector<std::string>{"COM1"}));
    WriteConfig("hubline COM7 sim\nhubline COM8 sim\nfail talon 5\n");
    ASSERT_EQ(Ctl({"reload"}), 0);
    EXPECT_EQ(hub.Names(8), (std::vector<std::string>{"COM7", "COM8"}));
    EXPECT_EQ(Device("talon").Ask(10, 12, 64), 5u);
    // A file that cannot be read keeps the card that is served.
    std::filesystem::remove(config_.Dir() + "/portcountd.conf");
    std::filesystem::create_directory(config_.Dir() + "/portcountd.conf");
    EXPECT_NE(Ctl({"reload"}), 0);
    EXPECT_EQ(hub.Names(8), (std::vector<std::string>{"COM7", "COM8"}));
}

TEST_F(PortcountdTest, SigtermRemovesTheSocketsAndExitsZero) {
    for (int sig : {SIGTERM, SIGINT}) {
        ServiceProcess service;
        ASSERT_TRUE(service.Start()) << service.Stderr();
        EXPECT_TRUE(std::filesystem::exists(service.Dir() + "/wmi"));
        EXPECT_EQ(service.Signal(sig), 0);
        EXPECT_FALSE(std::filesystem::exists(service.Dir() + "/hubsio"));
        EXPECT_FALSE(std::filesystem::exists(service.Dir() + "/wmi"));
        EXPECT_FALSE(std::filesystem::exists(service.Dir() + "/portcountd.ctl"));
        EXPECT_NE(service.Stderr().find("stopped"), std::string::npos);
    }
}

TEST_F(PortcountdTest, AHeldManagementAnswerHoldsUpNoOtherClient) {
    ASSERT_TRUE(service_.Start()) << service_.Stderr();
    ASSERT_EQ(Ctl({"wmi", "delay", "600000"}), 0);
    const auto connectTo = [&](const std::string& name) {
        const std::string path = service_.Dir() + "/" + name;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        EXPECT_EQ(connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        return fd;
    };
    const auto stats = [&] {
        const int fd = connectTo("portcountd.ctl");
        send(fd, "wmi stats\n", 10, MSG_NOSIGNAL);
        std::string answer;
        char c = 0;
        while (recv(fd, &c, 1, 0) == 1 && c != '\n') {
            answer += c;
        }
        close(fd);
        return answer;
    };
    // A client whose query is answered only in ten minutes.
    const int fd = connectTo("wmi");
    const auto query = platform::wmi::EncodeRequest(
        platform::wmi::kOpQuery,
        platform::wmi::EncodeQueryInput(u"WQL", u"SELECT * FROM MSSerial_TalonCard_Seltra_Status"));
    ASSERT_EQ(send(fd, query.data(), query.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(query.size()));
    ASSERT_TRUE(WaitUntil([&] { return stats() == "ok connects=0 queries=1"; })) << stats();
    // Meanwhile the device requests (which wait at most 5 s) and the control socket are served.
    EXPECT_EQ(Device("talon").Names(2), (std::vector<std::string>{"COM10", "COM11"}));
    EXPECT_EQ(Ctl({"wmi", "delay", "0"}), 0);
    close(fd);  // gone before its answer: the service drops it and goes on
    EXPECT_EQ(Ctl({"ports"}), 0);
    EXPECT_EQ(Device("hubsio").Names(3).size(), 3u);
}

TEST_F(PortcountdTest, ASecondServiceRefusesAndTheFirstKeepsServing) {
    ASSERT_TRUE(service_.Start()) << service_.Stderr();
    const std::string err = service_.Root() + "/second.err";
    EXPECT_EQ(service_.RunToEnd({}, err), 1);
    EXPECT_NE(ServiceProcess::Read(err).find("already running"), std::string::npos);
    EXPECT_EQ(Device("talonx64").Names(4).size(), 2u);
}

TEST_F(PortcountdTest, StaleSocketsOfADeadServiceAreReplaced) {
    ASSERT_TRUE(service_.Start()) << service_.Stderr();
    EXPECT_EQ(service_.Signal(SIGKILL), -1);
    ASSERT_TRUE(std::filesystem::exists(service_.Dir() + "/hubsio"));  // left behind
    EXPECT_FALSE(Device("hubsio").Open());                             // nothing listens there
    ASSERT_TRUE(service_.Start()) << service_.Stderr();
    EXPECT_EQ(Device("hubsio").Names(4).size(), 3u);
}

TEST_F(PortcountdTest, AClientWhoseServiceDiesGetsAFailedRequest) {
    ASSERT_TRUE(service_.Start()) << service_.Stderr();
    Device hub("hubsio");
    ASSERT_EQ(hub.Ask(10, 12, 64 + 12 * 4), 0u);
    service_.Signal(SIGKILL);
    const DWORD error = hub.Ask(11, 20, 56 + 20 * 3);
    EXPECT_NE(error, 0u);
    // The service comes back: the handle reconnects on its next request.
    ASSERT_TRUE(service_.Start()) << service_.Stderr();
    EXPECT_EQ(hub.Ask(11, 20, 56 + 20 * 3), 0u);
}

TEST_F(PortcountdTest, BadCommandLinesAndMissingFilesAreRefused) {
    const std::string err = service_.Root() + "/bad.err";
    struct Row {
        std::vector<std::string> args;
        int status;
        const char* says;
    } rows[] = {
        {{"--ports-per-family", "many"}, 2, "--ports-per-family takes a number"},
        {{"--ports-per-family", "-1"}, 2, "--ports-per-family takes a number"},
        {{"--bogus"}, 2, "unknown option '--bogus'"},
        {{"--config"}, 2, "--config needs a value"},
        {{"--config", "/nonexistent/portcountd.conf"}, 1, "cannot be read"},
        {{"--ctl"}, 2, "--ctl needs a command"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.says);
        std::filesystem::remove(err);
        EXPECT_EQ(service_.RunToEnd(row.args, err), row.status);
        EXPECT_NE(ServiceProcess::Read(err).find(row.says), std::string::npos)
            << ServiceProcess::Read(err);
    }
    EXPECT_FALSE(service_.AllSockets());
    // The control command with no service to talk to.
    std::filesystem::remove(err);
    EXPECT_EQ(service_.RunToEnd({"--ctl", "ports"}, err), 2);
    EXPECT_NE(ServiceProcess::Read(err).find("no driver service"), std::string::npos);
}

// Another local user who could make or change the device directory could serve made-up
// counters or read the requests: the service and its control command refuse such a
// directory, name it, and leave nothing in it.
TEST_F(PortcountdTest, ADeviceDirectoryOthersCouldChangeIsRefused) {
    const std::string runtime = service_.Root() + "/runtime";
    const std::string place = runtime + "/quenby-devices";
    const std::string elsewhere = runtime + "/elsewhere";
    ASSERT_TRUE(std::filesystem::create_directories(runtime));
    const passwd* nobody = getpwnam("nobody");
    const auto privateDir = [](const std::string& dir, mode_t mode) {
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
        ASSERT_EQ(chmod(dir.c_str(), mode), 0);
    };
    struct Row {
        const char* what;
        bool asRootOnly;
        const char* says;
        std::function<void()> make;
    } rows[] = {
        {"open to everyone", false, "open to other users", [&] { privateDir(place, 0777); }},
        {"others may enter", false, "open to other users", [&] { privateDir(place, 0701); }},
        {"another user's", true, "belongs to",
         [&] {
             privateDir(place, 0700);
             if (nobody != nullptr) {
                 ASSERT_EQ(chown(place.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
             }
         }},
        {"a link to elsewhere", false, "symbolic link",
         [&] {
             privateDir(elsewhere, 0700);
             ASSERT_EQ(symlink(elsewhere.c_str(), place.c_str()), 0);
         }},
    };
    ScopedEnv runtimeDir("XDG_RUNTIME_DIR", runtime.c_str());
    ScopedEnv named("QUENBY_DEVICE_DIR", nullptr);
    const std::string err = service_.Root() + "/unsafe.err";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.asRootOnly && (geteuid() != 0 || nobody == nullptr)) {
            continue;  // only root can give a directory to another user
        }
        std::filesystem::remove_all(place);
        std::filesystem::remove_all(elsewhere);
        row.make();
        for (const bool control : {false, true}) {
            std::filesystem::remove(err);
            const int status = service_.RunToEndInTheDefaultDirectory(
                control ? std::vector<std::string>{"--ctl", "ports"}
                        : std::vector<std::string>{"--ports-per-family", "1"},
                err);
            EXPECT_NE(status, 0);
            const std::string said = ServiceProcess::Read(err);
            EXPECT_NE(said.find(place), std::string::npos) << said;
            EXPECT_NE(said.find(row.says), std::string::npos) << said;
        }
        for (const std::string& dir : {place, elsewhere}) {
            EXPECT_FALSE(std::filesystem::exists(dir + "/hubsio"));
            EXPECT_FALSE(std::filesystem::exists(dir + "/portcountd.lock"));
        }
    }
}

// Made by the service, the device directory is closed to every other user whatever the
// creation mask says.
TEST_F(PortcountdTest, ADeviceDirectoryItMakesIsPrivate) {
    const mode_t oldMask = umask(0);
    const bool started = service_.Start();
    umask(oldMask);
    ASSERT_TRUE(started) << service_.Stderr();
    struct stat info {};
    ASSERT_EQ(lstat(service_.Dir().c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(info.st_uid, geteuid());
}

}  // namespace
