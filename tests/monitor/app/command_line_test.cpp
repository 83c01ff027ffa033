// The monitor's command line: the four forms, switches found anywhere and combined, and the
// port-list tokens built from the letters of "COM" and digits only.

#include "monitor/app/command_line.h"

#include <gtest/gtest.h>

namespace {

struct PortListCase {
    const char* line;
    std::vector<std::string> ports;
};

TEST(MonitorCommandLine, PortListsKeepOnlyComTokens) {
    const PortListCase cases[] = {
        {"COM3,COM12", {"COM3", "COM12"}},
        {"COM3, com7", {"COM3", "COM7"}},
        {"COM 5", {"COM5"}},
        {"COM3-COM5", {"COM3COM5"}},  // one token, which no driver will know
        {"com1,,com2,", {"COM1", "COM2"}},
        {"COM1,X,COM2", {"COM1", "COM2"}},
        {"COM1,7,COM2", {"COM1", "COM2"}},
        {"COM12345678", {"COM12345678"}},  // eleven characters: a port name
        {"COM123456789,COM4", {"COM4"}},   // twelve: names no port, is not cut to another
        {"  COM9  ", {"COM9"}},
    };
    for (const PortListCase& c : cases) {
        const MonitorCommandLine parsed = ParseMonitorCommandLine(c.line);
        EXPECT_EQ(parsed.kind, CommandLineKind::PortList) << c.line;
        EXPECT_EQ(parsed.ports, c.ports) << c.line;
    }
}

struct SwitchCase {
    const char* line;
    bool hubline, talon, zenith, help;
};

TEST(MonitorCommandLine, SwitchesAreFoundAnywhereAndCombine) {
    const SwitchCase cases[] = {
        {"/HUBLINE", true, false, false, false},
        {"/talon /zenith", false, true, true, false},
        {"/?", false, false, false, true},
        {"/ZENITH junk /HUBLINE", true, false, true, false},
        {"/TALON/?", false, true, false, true},
        {"/nothing", false, false, false, false},
    };
    for (const SwitchCase& c : cases) {
        const MonitorCommandLine parsed = ParseMonitorCommandLine(c.line);
        EXPECT_EQ(parsed.kind, CommandLineKind::Switches) << c.line;
        EXPECT_EQ(parsed.hubline, c.hubline) << c.line;
        EXPECT_EQ(parsed.talon, c.talon) << c.line;
        EXPECT_EQ(parsed.zenith, c.zenith) << c.line;
        EXPECT_EQ(parsed.help, c.help) << c.line;
        EXPECT_TRUE(parsed.ports.empty()) << c.line;
    }
}

TEST(MonitorCommandLine, EmptyAndInvalidForms) {
    EXPECT_EQ(ParseMonitorCommandLine("").kind, CommandLineKind::Empty);
    EXPECT_EQ(ParseMonitorCommandLine("   ").kind, CommandLineKind::Empty);
    for (const char* line : {"session.sls", "-HUBLINE", "CO", "XCOM1", "5"}) {
        EXPECT_EQ(ParseMonitorCommandLine(line).kind, CommandLineKind::Invalid) << line;
    }
}

TEST(MonitorCommandLine, ALongLineIsReadWhole) {
    std::string line;
    for (int n = 1; n <= 30; ++n) {
        line += "COM" + std::to_string(n) + ",";
    }
    ASSERT_GT(line.size(), 79u);
    const MonitorCommandLine parsed = ParseMonitorCommandLine(line);
    ASSERT_EQ(parsed.ports.size(), 30u);
    EXPECT_EQ(parsed.ports.back(), "COM30");
}

}  // namespace
