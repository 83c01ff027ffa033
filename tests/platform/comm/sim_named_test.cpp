// Simulated devices with a name of their own (sim:loopback/<name> and the like): which names
// open and which the port map refuses, that each name is one device of its own, and that pulling
// one out leaves the others alone.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/comm/port_map.h"
#include "platform/comm/sim_device.h"
#include "platform/comm/sim_peers.h"
#include "tests/platform/comm/sim_test_support.h"

namespace platform::simtest {
namespace {

using Bytes = std::vector<BYTE>;

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

DWORD Queued(Device& device) {
    return Status(device).cbInQue;
}

struct NameCase {
    const char* device;
    const char* complaint;  // nullptr: a device; else part of the port map's diagnostic
};

// The device opens exactly when the port map takes the name, and a refused name says why.
TEST(SimNamed, TheMapAndTheDevicesAgreeOnEachName) {
    const NameCase cases[] = {
        {"sim:loopback", nullptr},
        {"sim:loopback/1", nullptr},
        {"sim:loopback/abc", nullptr},
        {"sim:loopback/bench-2_left", nullptr},
        {"sim:loopback-ring/1", nullptr},
        {"sim:pnp/7", nullptr},
        {"sim:open/far end", nullptr},  // inner blanks, as a pair name may have
        {"sim:null-modem/bench/A", nullptr},
        {"sim:loopback/", "has an empty name"},
        {"sim:pnp/", "has an empty name"},
        {"sim:loopback/a/b", "'/' in its name"},
        {"sim:open/x/", "'/' in its name"},
        {"sim:loopback-ring//", "'/' in its name"},
        {"sim:loopback1", "unknown simulated device 'sim:loopback1'"},
        {"sim:loop/1", "unknown simulated device 'sim:loop/1'"},
        {"sim:/1", "unknown simulated device 'sim:/1'"},
        {"sim:Loopback/1", "unknown simulated device"},
        {"sim:null-modem/bench", "unknown simulated device"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.device);
        const PortMap map = PortMap::Parse(std::string("COM7 = ") + c.device + "\n", "ports.conf");
        SetLastError(0);
        CommDeviceHandle handle = OpenSimulatedDevice(c.device);
        if (c.complaint == nullptr) {
            EXPECT_TRUE(map.Diagnostics().empty()) << map.Diagnostics().front();
            EXPECT_EQ(map.DeviceFor(7), c.device);
            EXPECT_TRUE(IsSimulatedDeviceName(c.device));
            ASSERT_NE(handle, nullptr) << GetLastError();
            // One name is one device: a second open of the same name is refused.
            EXPECT_EQ(OpenSimulatedDevice(c.device), nullptr);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY));
            handle->Close();
        } else {
            ASSERT_EQ(map.Diagnostics().size(), 1u);
            EXPECT_NE(map.Diagnostics()[0].find(c.complaint), std::string::npos)
                << map.Diagnostics()[0];
            EXPECT_EQ(map.DeviceFor(7), "");  // the port opens nothing
            EXPECT_FALSE(IsSimulatedDeviceName(c.device));
            EXPECT_EQ(handle, nullptr);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
            EXPECT_FALSE(UnplugSimulatedDevice(c.device));
        }
    }
}

TEST(SimNamed, TheBareNameAndTheNamedOnesAreOpenAtOnce) {
    for (const std::string kind : {"sim:loopback", "sim:loopback-ring", "sim:pnp", "sim:open"}) {
        SCOPED_TRACE(kind);
        Device bare(kind);
        Device one(kind + "/1");
        Device two(kind + "/2");
        EXPECT_TRUE(bare && one && two);
    }
}

TEST(SimNamed, TwoLoopbackPlugsKeepTheirBytesAndLinesApart) {
    Device one("sim:loopback/1");
    Device two("sim:loopback/2");
    Device bare("sim:loopback");
    ASSERT_TRUE(one && two && bare);
    Device* const devices[] = {&one, &two, &bare};
    for (Device* device : devices) {
        Apply(*device, Settings(115200));
    }

    // Each plug hands back what went out of its own device, and nothing else.
    const Bytes data[] = {Pattern(600), Text("second plug"), Text("bare")};
    std::vector<std::thread> writers;
    for (int i = 0; i < 3; ++i) {
        writers.emplace_back([&, i] { Write(*devices[i], data[i]); });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Queued(*devices[i]), data[i].size());
        EXPECT_EQ(ReadBytes(*devices[i], static_cast<DWORD>(data[i].size())), data[i]);
    }

    // DTR and RTS come back on the plug they went out on only.
    const DWORD allOff = Modem(one);
    ASSERT_EQ(allOff, 0u);
    ASSERT_TRUE(one->EscapeCommFunction(SETDTR));
    EXPECT_EQ(Modem(one), MS_DSR_ON | MS_RLSD_ON);
    EXPECT_EQ(Modem(two), 0u);
    EXPECT_EQ(Modem(bare), 0u);
    ASSERT_TRUE(two->EscapeCommFunction(SETRTS));
    EXPECT_EQ(Modem(two), MS_CTS_ON);
    EXPECT_EQ(Modem(one), MS_DSR_ON | MS_RLSD_ON);
    EXPECT_EQ(Modem(bare), 0u);
}

TEST(SimNamed, EachPnpModemAnswersOnlyItsOwnHost) {
    const std::string& id = sim::PnpIdentification();
    Device asking("sim:pnp/1");
    Device quiet("sim:pnp/2");
    ASSERT_TRUE(asking && quiet);
    Apply(asking, Settings(1200, 7));
    Apply(quiet, Settings(1200, 7));
    ASSERT_TRUE(asking->EscapeCommFunction(SETDTR));
    ASSERT_TRUE(asking->EscapeCommFunction(SETRTS));
    EXPECT_EQ(Modem(asking), MS_DSR_ON | MS_CTS_ON);
    EXPECT_EQ(Modem(quiet), 0u);
    const Bytes got = ReadBytes(asking, static_cast<DWORD>(id.size()));
    EXPECT_EQ(std::string(got.begin(), got.end()), id);
    // The whole string is through on the asking port; none of it went to the other.
    EXPECT_EQ(Queued(quiet), 0u);
}

TEST(SimNamed, OpenLinesTakeBytesAndGiveNothingBack) {
    Device one("sim:open/1");
    Device two("sim:open/2");
    ASSERT_TRUE(one && two);
    Apply(one, Settings(115200));
    Apply(two, Settings(115200));
    ASSERT_TRUE(one->EscapeCommFunction(SETDTR));
    ASSERT_TRUE(one->EscapeCommFunction(SETRTS));
    Write(one, Text("into the void"));
    Write(two, Text("and this too"));
    for (Device* device : {&one, &two}) {
        EXPECT_EQ(Queued(*device), 0u);
        EXPECT_EQ(Modem(*device), 0u);
    }
}

TEST(SimNamed, PullingOneNamedDeviceOutLeavesTheOthersWorking) {
    auto one = std::make_unique<Device>("sim:loopback/1");
    Device two("sim:loopback/2");
    ASSERT_TRUE(*one && two);
    ASSERT_TRUE(UnplugSimulatedDevice("sim:loopback/1"));

    DWORD written = 0;
    EXPECT_FALSE((*one)->WriteFile("x", 1, written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENODEV));
    Write(two, Text("still here"));
    EXPECT_EQ(ReadBytes(two, 10), Text("still here"));
    {
        Device bare("sim:loopback");  // another device: not pulled out
        EXPECT_TRUE(bare);
    }

    one.reset();
    EXPECT_EQ(OpenSimulatedDevice("sim:loopback/1"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    ReplugSimulatedDevice("sim:loopback/1");
    Device again("sim:loopback/1");
    ASSERT_TRUE(again);
    Apply(again, Settings(115200));
    Write(again, Text("back"));
    EXPECT_EQ(ReadBytes(again, 4), Text("back"));
}

}  // namespace
}  // namespace platform::simtest
