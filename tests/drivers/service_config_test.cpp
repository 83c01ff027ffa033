// The configuration file: what each good line becomes, and that every bad line is reported
// with its file and line number and skipped without losing the good ones.

#include "drivers/service_config.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/temp_config.h"

using namespace portcount;

namespace {

TEST(ServiceConfig, GoodLinesBecomePorts) {
    std::vector<std::string> problems;
    const ServiceConfig config = ParseConfig(
        "# family  port   backing\n"
        "hubline COM3 sim rate=1200 errors=0.001 cd-period=30 open=yes\n"
        "\n"
        "hubline  COM4\tdevice=/dev/ttyUSB0   # a real card port\n"
        "talon COM10 sim rate=115200/9600 lines=dtr,cts open-on=5 open-off=2 seed=7 vary=0.5\n"
        "talon COM11 sim\r\n"
        "fail talon 31\n",
        "a.conf", problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    ASSERT_EQ(config.Ports(Family::Hubline).size(), 2u);
    ASSERT_EQ(config.Ports(Family::Talon).size(), 2u);

    const PortEntry& com3 = config.Ports(Family::Hubline)[0];
    EXPECT_EQ(com3.name, "COM3");
    EXPECT_TRUE(com3.device.empty());
    EXPECT_EQ(com3.sim.txRate, 1200);
    EXPECT_EQ(com3.sim.rxRate, 1200);
    EXPECT_EQ(com3.sim.errorRate, 0.001);
    EXPECT_EQ(com3.sim.cdOn, 30);
    EXPECT_EQ(com3.sim.cdOff, 30);

    EXPECT_EQ(config.Ports(Family::Hubline)[1].device, "/dev/ttyUSB0");

    const PortEntry& com10 = config.Ports(Family::Talon)[0];
    EXPECT_EQ(com10.sim.txRate, 115200);
    EXPECT_EQ(com10.sim.rxRate, 9600);
    EXPECT_EQ(com10.sim.lines, 0x0001 | 0x0020);
    EXPECT_EQ(com10.sim.openOn, 5);
    EXPECT_EQ(com10.sim.openOff, 2);
    EXPECT_EQ(com10.sim.seed, 7u);
    EXPECT_EQ(com10.sim.variation, 0.5);

    EXPECT_EQ(config.Ports(Family::Talon)[1].sim, SimSettings{});  // "sim" alone: defaults
    EXPECT_EQ(config.failCode[static_cast<int>(Family::Talon)], 31u);
    EXPECT_EQ(config.failCode[static_cast<int>(Family::Hubline)], 0u);
}

TEST(ServiceConfig, BadLinesAreReportedWithFileAndLineAndSkipped) {
    struct Row {
        const char* line;
        const char* says;  // part of the message
    } rows[] = {
        {"swift COM3 sim", "unknown family 'swift'"},
        {"hubline", "expected"},
        {"hubline COM3", "expected"},
        {"hubline COM123456789 sim", "bad port name"},  // 12 characters
        {"hubline COM3 serial", "expected 'sim' or 'device=PATH'"},
        {"hubline COM3 sim rate=fast", "bad value for rate"},
        {"hubline COM3 sim rate=-5", "bad value for rate"},
        {"hubline COM3 sim rate=10/", "bad value for rate"},
        {"hubline COM3 sim errors=1.5", "bad value for errors"},
        {"hubline COM3 sim colour=blue", "unknown option 'colour'"},
        {"hubline COM3 sim rate", "expected key=value"},
        {"hubline COM3 sim lines=dtr,ri", "bad value for lines"},
        {"hubline COM3 sim open=maybe", "bad value for open"},
        {"hubline COM3 device=ttyS0", "absolute path"},
        {"hubline COM3 device=/dev/ttyS0 extra", "unexpected 'extra'"},
        {"fail hubline", "expected: fail FAMILY CODE"},
        {"fail swift 31", "expected: fail FAMILY CODE"},
        {"fail talon 99999999999", "expected: fail FAMILY CODE"},
        {"talon COM1 sim\ntalon COM1 sim rate=5", "COM1 is already a talon port"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        std::vector<std::string> problems;
        const std::string text =
            std::string("hubline COM9 sim rate=1\n") + row.line + "\ntalon COM20 sim\n";
        const ServiceConfig config = ParseConfig(text, "/etc/p.conf", problems);
        ASSERT_EQ(problems.size(), 1u);
        const bool duplicate = std::string_view(row.line).find('\n') != std::string_view::npos;
        const std::string where = duplicate ? "/etc/p.conf:3: " : "/etc/p.conf:2: ";
        EXPECT_EQ(problems[0].rfind(where, 0), 0u) << problems[0];
        EXPECT_NE(problems[0].find(row.says), std::string::npos) << problems[0];
        // The lines around the bad one still count.
        ASSERT_GE(config.Ports(Family::Hubline).size(), 1u);
        EXPECT_EQ(config.Ports(Family::Hubline)[0].name, "COM9");
        EXPECT_EQ(config.Ports(Family::Talon).back().name, "COM20");
    }
}

TEST(ServiceConfig, ElevenCharacterNameIsTheLongest) {
    std::vector<std::string> problems;
    const ServiceConfig config = ParseConfig("talon COM12345678 sim\n", "x", problems);
    EXPECT_TRUE(problems.empty());
    ASSERT_EQ(config.Ports(Family::Talon).size(), 1u);
    EXPECT_EQ(config.Ports(Family::Talon)[0].name.size(), 11u);
}

TEST(ServiceConfig, FilesAreReadOrReportedAsUnreadable) {
    TempConfig dir;
    const std::string path = dir.Dir() + "/portcountd.conf";
    std::ofstream(path) << "hubline COM1 sim\nhubline COM2 sim rate=x\n";
    std::vector<std::string> problems;
    const auto config = LoadConfigFile(path, problems);
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->Ports(Family::Hubline).size(), 1u);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].rfind(path + ":2: ", 0), 0u);

    problems.clear();
    EXPECT_FALSE(LoadConfigFile(dir.Dir() + "/missing.conf", problems).has_value());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("missing.conf: cannot be read"), std::string::npos);
}

TEST(ServiceConfig, TheEmbeddedCards) {
    const ServiceConfig card = DefaultCard();
    std::vector<std::string> names;
    for (const PortEntry& p : card.Ports(Family::Hubline)) {
        names.push_back(p.name);
    }
    names.push_back("|");
    for (const PortEntry& p : card.Ports(Family::Talon)) {
        names.push_back(p.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"COM3", "COM4", "COM5", "|", "COM10", "COM11"}));
    for (const auto& family : card.ports) {
        for (const PortEntry& p : family) {
            EXPECT_GT(p.sim.txRate + p.sim.rxRate, 0) << p.name;
        }
    }
    const ServiceConfig big = SimulatedCard(512);
    ASSERT_EQ(big.Ports(Family::Talon).size(), 512u);
    EXPECT_EQ(big.Ports(Family::Talon).front().name, "COM1");
    EXPECT_EQ(big.Ports(Family::Talon).back().name, "COM512");
    EXPECT_TRUE(SimulatedCard(0).Ports(Family::Hubline).empty());
}

}  // namespace
