// The port map file: what it maps, what it refuses (with file and line), and that an edited
// file takes effect at the next look-up.

#include "platform/comm/port_map.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/comm/comm_device.h"
#include "platform/system/last_error.h"
#include "tests/support/temp_config.h"

namespace platform {
namespace {

TEST(PortMapTest, MapsLinesInEveryAcceptedSpelling) {
    const PortMap map = PortMap::Parse(
        "# the lab bench\n"
        "\n"
        "COM1 = /dev/ttyUSB0\n"
        "com2=/dev/pts/3\r\n"
        "  Com10\t=\tsim:loopback   # the plug\n"
        "COM3 = /dev/serial/by-id/usb-Adapter#1\n"
        "COM4 = sim:null-modem/bench/A\n"
        "COM5 = /path with spaces/tty\n"
        "COM2147483647 = sim:open\n",
        "ports.conf");
    EXPECT_TRUE(map.Diagnostics().empty()) << map.Diagnostics().front();
    EXPECT_EQ(map.DeviceFor(1), "/dev/ttyUSB0");
    EXPECT_EQ(map.DeviceFor(2), "/dev/pts/3");
    EXPECT_EQ(map.DeviceFor(10), "sim:loopback");
    EXPECT_EQ(map.DeviceFor(3), "/dev/serial/by-id/usb-Adapter#1");  // '#' inside a word
    EXPECT_EQ(map.DeviceFor(4), "sim:null-modem/bench/A");
    EXPECT_EQ(map.DeviceFor(5), "/path with spaces/tty");
    EXPECT_EQ(map.DeviceFor(2147483647), "sim:open");
}

TEST(PortMapTest, UnmappedNumbersAreTheHostPorts) {
    const PortMap map = PortMap::Parse("COM2 = /dev/ttyUSB0\n", "ports.conf");
    EXPECT_EQ(map.DeviceFor(1), "/dev/ttyS0");
    EXPECT_EQ(map.DeviceFor(3), "/dev/ttyS2");
    EXPECT_EQ(map.DeviceFor(256), "/dev/ttyS255");
    EXPECT_FALSE(map.IsMapped(1));
    EXPECT_TRUE(map.IsMapped(2));
}

struct BadLine {
    const char* line;
    const char* complaint;  // part of the diagnostic
};

class PortMapBadLineTest : public ::testing::TestWithParam<BadLine> {};

TEST_P(PortMapBadLineTest, IsReportedWithFileAndLineAndSkipped) {
    const BadLine& c = GetParam();
    const std::string text =
        std::string("COM1 = /dev/ttyUSB0\n# note\n") + c.line + "\nCOM9 = /dev/ttyACM0\n";
    const PortMap map = PortMap::Parse(text, "/home/u/.config/quenby/ports.conf");
    ASSERT_EQ(map.Diagnostics().size(), 1u) << c.line;
    const std::string& d = map.Diagnostics()[0];
    EXPECT_EQ(d.rfind("/home/u/.config/quenby/ports.conf:3: ", 0), 0u) << d;
    EXPECT_NE(d.find(c.complaint), std::string::npos) << d;
    // The lines around it still count.
    EXPECT_EQ(map.DeviceFor(1), "/dev/ttyUSB0");
    EXPECT_EQ(map.DeviceFor(9), "/dev/ttyACM0");
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, PortMapBadLineTest,
    ::testing::Values(BadLine{"COM4 /dev/ttyUSB1", "missing '='"},
                      BadLine{"COMX = /dev/ttyUSB1", "'COMX' is not a port name"},
                      BadLine{"COM = /dev/ttyUSB1", "'COM' is not a port name"},
                      BadLine{"COM0 = /dev/ttyUSB1", "'COM0' is not a port name"},
                      BadLine{"COM-2 = /dev/ttyUSB1", "'COM-2' is not a port name"},
                      BadLine{"COM2147483648 = /dev/x", "'COM2147483648' is not a port name"},
                      BadLine{"COM 4 = /dev/ttyUSB1", "'COM 4' is not a port name"},
                      BadLine{"LPT1 = /dev/lp0", "'LPT1' is not a port name"},
                      BadLine{"= /dev/ttyUSB1", "'' is not a port name"},
                      BadLine{"COM4 =", "no device after '=' for COM4"},
                      BadLine{"COM4 =   # nothing", "no device after '=' for COM4"},
                      BadLine{"COM1 = /dev/ttyUSB7", "COM1 is mapped twice (first on line 1)"},
                      BadLine{"COM4 = sim:loopbak", "unknown simulated device 'sim:loopbak'"},
                      BadLine{"COM4 = sim:null-modem/x/C", "unknown simulated device"},
                      BadLine{"COM4 = sim:null-modem//A", "unknown simulated device"},
                      BadLine{"COM4 = sim:null-modem/a/b/A", "unknown simulated device"}));

TEST(PortMapTest, LoadReportsEachFaultOnStandardError) {
    TempConfig config;
    config.WritePortMap("COM1 = /dev/ttyUSB0\nCOM0 = /dev/x\nbroken\n");
    ::testing::internal::CaptureStderr();
    const PortMap map = PortMap::Load(PortMapPath());
    const std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(map.Diagnostics().size(), 2u);
    EXPECT_NE(err.find(PortMapPath() + ":2: "), std::string::npos) << err;
    EXPECT_NE(err.find(PortMapPath() + ":3: missing '='"), std::string::npos) << err;
    EXPECT_EQ(map.DeviceFor(1), "/dev/ttyUSB0");
}

TEST(PortMapTest, APortWithAWrongLineOpensNothingInsteadOfTheDefaultDevice) {
    TempConfig config;
    config.WritePortMap("COM4 = sim:loopbak\nCOM5 =\nCOM6 = sim:loopback\n");
    ::testing::internal::CaptureStderr();
    const auto map = CurrentPortMap();
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(map->DeviceFor(4), "");
    EXPECT_EQ(map->DeviceFor(5), "");
    EXPECT_EQ(CreateCommDevice("\\\\.\\COM4"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(CreateCommDevice("\\\\.\\COM6"), nullptr);
}

TEST(PortMapTest, MissingFileIsAnEmptyMapWithoutComplaint) {
    TempConfig config;
    const PortMap map = PortMap::Load(config.Dir() + "/ports.conf");
    EXPECT_TRUE(map.Diagnostics().empty());
    EXPECT_EQ(map.DeviceFor(4), "/dev/ttyS3");
}

TEST(PortMapTest, CurrentMapFollowsEditsAndReportsOnlyOnce) {
    TempConfig config;
    EXPECT_EQ(CurrentPortMap()->DeviceFor(2), "/dev/ttyS1");

    config.WritePortMap("COM2 = /dev/ttyUSB0\nCOM3 /dev/x\n");
    ::testing::internal::CaptureStderr();
    const auto first = CurrentPortMap();
    const auto again = CurrentPortMap();  // unchanged file: no second report
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(first->DeviceFor(2), "/dev/ttyUSB0");
    EXPECT_EQ(first, again);
    EXPECT_EQ(err.find(":2: "), err.rfind(":2: ")) << err;
    EXPECT_NE(err.find(":2: "), std::string::npos) << err;

    // Same size, other text: still noticed (and its fault reported again).
    config.WritePortMap("COM2 = /dev/ttyUSB1\nCOM3 /dev/x\n");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(CurrentPortMap()->DeviceFor(2), "/dev/ttyUSB1");
    EXPECT_NE(::testing::internal::GetCapturedStderr().find(":2: "), std::string::npos);

    std::filesystem::remove(config.Dir() + "/ports.conf");
    EXPECT_EQ(CurrentPortMap()->DeviceFor(2), "/dev/ttyS1");
}

TEST(PortMapTest, PortNamesTakeAnyCaseAndNothingAround) {
    DWORD number = 0;
    EXPECT_TRUE(ParseComName("cOm007", number));
    EXPECT_EQ(number, 7u);
    for (const char* bad : {"COM1 ", " COM1", "COM+1", "COMx1", "COM99999999999999999999"}) {
        EXPECT_FALSE(ParseComName(bad, number)) << bad;
    }
}

}  // namespace
}  // namespace platform
