#include "terminal/app/command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "terminal/session/port_name.h"

namespace {

struct LineSettings {
    DWORD baudRate;
    BYTE byteSize;
    BYTE parity;
    BYTE stopBits;
};

struct Row {
    const char* name;
    std::string line;
    CommandLinePlan plan;
    std::optional<LineSettings> settings;  // none: the settings record is untouched
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << '"' << row.line << '"';
}

PortConfig Defaults() {
    PortConfig config;
    FillDefaultPortConfig(config);
    return config;
}

void ExpectPlan(const CommandLinePlan& actual, const CommandLinePlan& expected) {
    EXPECT_EQ(actual.showUsage, expected.showUsage);
    EXPECT_EQ(actual.portNames, expected.portNames);
    EXPECT_EQ(actual.maximize, expected.maximize);
    EXPECT_EQ(actual.arrangeWindows, expected.arrangeWindows);
    if (expected.arrangeWindows) {
        EXPECT_EQ(actual.arrangement, expected.arrangement);
    }
    EXPECT_EQ(actual.continuousCharacter, expected.continuousCharacter);
    if (expected.continuousCharacter) {
        EXPECT_EQ(actual.character, expected.character);
    }
    EXPECT_EQ(actual.settingsApplied, expected.settingsApplied);
    EXPECT_EQ(actual.showInvalidParameter, expected.showInvalidParameter);
}

void ExpectSettings(const PortConfig& config, const std::optional<LineSettings>& settings) {
    PortConfig expected = Defaults();
    if (settings) {
        expected.BaudRate = settings->baudRate;
        expected.ByteSize = settings->byteSize;
        expected.Parity = settings->parity;
        expected.StopBits = settings->stopBits;
    }
    EXPECT_EQ(config.BaudRate, expected.BaudRate);
    EXPECT_EQ(config.ByteSize, expected.ByteSize);
    EXPECT_EQ(config.Parity, expected.Parity);
    EXPECT_EQ(config.StopBits, expected.StopBits);
    EXPECT_EQ(EncodeDcb(config), EncodeDcb(expected));
}

class CommandLineTest : public testing::TestWithParam<Row> {};

TEST_P(CommandLineTest, Plan) {
    const Row& row = GetParam();
    PortConfig config = Defaults();
    const CommandLinePlan plan = ProcessCommandLine(row.line, config);
    ExpectPlan(plan, row.plan);
    ExpectSettings(config, row.settings);
}

using Names = std::vector<std::string>;
constexpr auto kHorizontal = Arrangement::Horizontal;
constexpr auto kCascade = Arrangement::Cascade;
constexpr std::nullopt_t kUntouched = std::nullopt;
const CommandLinePlan kNothing = {};
const CommandLinePlan kWarning = {.showInvalidParameter = true};
const CommandLinePlan kUsage = {.showUsage = true};

CommandLinePlan Ports(Names names, Arrangement arrangement = Arrangement::Vertical) {
    return {.portNames = std::move(names), .arrangeWindows = true, .arrangement = arrangement};
}
CommandLinePlan Continuous(char character, CommandLinePlan plan = {}) {
    plan.continuousCharacter = true;
    plan.character = character;
    return plan;
}
CommandLinePlan Maximized(CommandLinePlan plan = {}) {
    plan.maximize = true;
    return plan;
}
CommandLinePlan Applied(CommandLinePlan plan) {
    plan.settingsApplied = true;
    return plan;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Switches, CommandLineTest,
    testing::Values(
        Row{"Empty", "", kNothing, kUntouched},
        Row{"TwoPortsTiledVertically", "COM1,COM2", Ports({"COM1", "COM2"}), kUntouched},
        Row{"TileHorizontally", "COM3 /WH", Ports({"COM3"}, kHorizontal), kUntouched},
        Row{"Cascade", "COM3 /WC", Ports({"COM3"}, kCascade), kUntouched},
        Row{"LowerCase", "com3 /wv", Ports({"COM3"}), kUntouched},
        Row{"ArrangeSwitchLast", "COM3 /W", Ports({"COM3"}), kUntouched},
        Row{"PortListMustComeFirst", "/MAX COM1", Maximized(), kUntouched},
        Row{"Settings", "COM1 /P9600,8,N,1", Applied(Ports({"COM1"})),
            LineSettings{9600, 8, NOPARITY, ONESTOPBIT}},
        Row{"SettingsWithoutSeparatorJoinTheToken", "COM1/P9600", Applied(Ports({"COM19600"})),
            LineSettings{9600, 8, NOPARITY, ONESTOPBIT}},
        Row{"SettingsRunToTheEnd", "COM1 /P9600 /MAX", Maximized(Applied(Ports({"COM1"}))),
            LineSettings{9600, 0, NOPARITY, ONESTOPBIT}},
        Row{"SettingsAfterArrangement", "COM2 /WH /p19200,7,e,2",
            Applied(Ports({"COM2"}, kHorizontal)), LineSettings{19200, 7, EVENPARITY, TWOSTOPBITS}},
        Row{"SettingsIgnoredWithoutPorts", "/P9600 /MAX", Maximized(), kUntouched},
        Row{"ArrangementAloneIsInvalid", "/WH", kWarning, kUntouched},
        Row{"SettingsAloneAreInvalid", "/P9600", kWarning, kUntouched},
        Row{"ContinuousLowerCaseLetter", "/Fa", Continuous('A'), kUntouched},
        Row{"ContinuousOutOfRange", "/F!", Continuous('H'), kUntouched},
        Row{"ContinuousSwitchLast", "/F", Continuous('H'), kUntouched},
        Row{"ContinuousBetweenZAndA", "/F[", Continuous('['), kUntouched},
        Row{"ContinuousAboveRange", "/F{", Continuous('H'), kUntouched},
        Row{"ContinuousHighByte", "/F\xE4", Continuous('H'), kUntouched},
        Row{"ContinuousSpace", "/F MAX", Continuous('H'), kUntouched},
        Row{"ContinuousWithPorts", "COM4,COM5 /Fz", Continuous('Z', Ports({"COM4", "COM5"})),
            kUntouched},
        Row{"Unrecognised", "XYZ", kWarning, kUntouched},
        Row{"OnlyBlanks", "   ", kWarning, kUntouched},
        Row{"UsageEndsEvenWithPorts", "COM1 /P9600 /?", kUsage, kUntouched},
        Row{"UsageAlone", "/?", kUsage, kUntouched},
        Row{"UsageAfterUnknown", "XYZ /? /MAX", kUsage, kUntouched},
        Row{"SeparatorsInARow", "COM1 COM2,,COM3", Ports({"COM1", "COM2", "COM3"}), kUntouched},
        Row{"OtherTokensSkipped", "COM1 X7 CO COM2", Ports({"COM1", "COM2"}), kUntouched},
        Row{"OtherCharactersNotCollected", "COMPUTER", Ports({"COM"}), kUntouched},
        Row{"TabIsNoSeparator", "COM1\tCOM2", Ports({"COM1COM2"}), kUntouched},
        Row{"PortZeroStillAWindow", "COM0", Ports({"COM0"}), kUntouched},
        Row{"ZeroByteEndsTheLine", std::string("COM1\0 /MAX", 10), Ports({"COM1"}), kUntouched}),
    [](const testing::TestParamInfo<Row>& info) { return info.param.name; });
// clang-format on

// The longest command lines the 80-byte buffer takes, and one character more.
TEST(CommandLineLengthTest, FitsOrIsRefusedWhole) {
    auto padded = [](std::string line, std::size_t length) {
        line.resize(length, ' ');
        return line;
    };
    struct LengthRow {
        std::string line;
        bool refused;
    };
    const LengthRow rows[] = {
        {padded("/MAX /FB", 79), false},
        {padded("/MAX /FB", 80), true},
        {padded("COM1 /MAX /FB /P9600", 78), false},
        {padded("COM1 /MAX /FB /P9600", 79), true},
        {padded("com1 /MAX /FB /P9600", 79), true},
        {padded("COM1 /MAX /FB /P9600", 4096), true},
    };
    for (const LengthRow& row : rows) {
        SCOPED_TRACE(testing::Message() << row.line.size() << " characters: " << row.line);
        PortConfig config = Defaults();
        const CommandLinePlan plan = ProcessCommandLine(row.line, config);
        EXPECT_EQ(plan.showInvalidParameter, row.refused);
        if (row.refused) {
            // Nothing else of a refused command line takes effect.
            EXPECT_FALSE(plan.showUsage);
            EXPECT_TRUE(plan.portNames.empty());
            EXPECT_FALSE(plan.maximize);
            EXPECT_FALSE(plan.arrangeWindows);
            EXPECT_FALSE(plan.continuousCharacter);
            EXPECT_FALSE(plan.settingsApplied);
            ExpectSettings(config, kUntouched);
        } else {
            EXPECT_TRUE(plan.maximize);
            EXPECT_TRUE(plan.continuousCharacter);
            EXPECT_EQ(plan.character, 'B');
        }
    }
}

// Help asked for on a command line too long for the buffer still gets the usage text, not the
// warning: wherever "/?" stands in what was typed.
TEST(CommandLineLengthTest, UsageShownForAnOverLongCommandLine) {
    const std::string longLine = "COM1,COM2 /P9600,8,N,1 " + std::string(100, 'X');
    const std::string lines[] = {
        "/? " + longLine,
        longLine + " /?",
        "com1 /max /p9600 " + std::string(62, ' ') + "/?",
    };
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        ASSERT_GT(line.size(), kCommandLineBufferSize - 1);
        PortConfig config = Defaults();
        const CommandLinePlan plan = ProcessCommandLine(line, config);
        EXPECT_TRUE(plan.showUsage);
        EXPECT_FALSE(plan.showInvalidParameter);
        // Nothing else of the command line takes effect.
        EXPECT_TRUE(plan.portNames.empty());
        EXPECT_FALSE(plan.maximize);
        ExpectSettings(config, kUntouched);
    }
}

TEST(CommandLineLengthTest, LongestPortListKeepsItsLastPort) {
    // 78 characters of port names; only the appended ',' ends the last one.
    std::string line;
    Names expected;
    for (int number = 10; number < 22; ++number) {
        expected.push_back("COM" + std::to_string(number));
        line += expected.back() + ',';
    }
    expected.push_back("COM999");
    line += expected.back();
    ASSERT_EQ(line.size(), 78u);

    PortConfig config = Defaults();
    const CommandLinePlan plan = ProcessCommandLine(line, config);
    EXPECT_FALSE(plan.showInvalidParameter);
    EXPECT_EQ(plan.portNames, expected);
}

TEST(CommandLineTest, ArgumentsJoinIntoTheCommandLine) {
    const char* const withArguments[] = {"/usr/bin/halvo2", "com1,com2", "/wh", nullptr};
    EXPECT_EQ(CommandLineFromArguments({withArguments, 3}), "com1,com2 /wh");
    const char* const withoutArguments[] = {"/usr/bin/halvo2", nullptr};
    EXPECT_EQ(CommandLineFromArguments({withoutArguments, 1}), "");
    EXPECT_EQ(CommandLineFromArguments({}), "");

    PortConfig config = Defaults();
    const CommandLinePlan plan =
        ProcessCommandLine(CommandLineFromArguments({withArguments, 3}), config);
    EXPECT_EQ(plan.portNames, (Names{"COM1", "COM2"}));
    EXPECT_EQ(plan.arrangement, Arrangement::Horizontal);
}

}  // namespace
