// The line arithmetic of the simulated devices: character times, what a differently set
// receiver reads, how time-outs shape a read, and the modem's identification string.

#include "platform/comm/sim_wire.h"

#include <gtest/gtest.h>

#include <cctype>

#include "platform/comm/sim_peers.h"

namespace platform::sim {
namespace {

using std::chrono::nanoseconds;

struct CharTimeCase {
    FrameFormat format;
    double bits;
};

TEST(SimWire, CharacterTimeCountsEveryBitOfTheFrame) {
    const CharTimeCase cases[] = {
        {{9600, 8, NOPARITY, ONESTOPBIT}, 10},   {{9600, 7, EVENPARITY, ONESTOPBIT}, 10},
        {{9600, 8, ODDPARITY, TWOSTOPBITS}, 12}, {{9600, 5, NOPARITY, ONE5STOPBITS}, 7.5},
        {{1200, 7, NOPARITY, ONESTOPBIT}, 9},    {{115200, 8, MARKPARITY, ONESTOPBIT}, 11},
    };
    for (const auto& c : cases) {
        const double exact = c.bits * 1e9 / c.format.bitRate;
        const auto t = CharacterTime(c.format).count();
        // Rounded up, never down: the wire must not be faster than the rate.
        EXPECT_GE(static_cast<double>(t), exact) << c.bits << " bits at " << c.format.bitRate;
        EXPECT_LT(static_cast<double>(t), exact + 1.0) << c.bits << " bits";
    }
}

TEST(SimWire, BaudRate300StandsFor500000BitsPerSecond) {
    DCB dcb;
    dcb.BaudRate = 300;
    dcb.ByteSize = 8;
    EXPECT_EQ(CharacterTime(FormatOf(dcb)), nanoseconds(20000));
    dcb.BaudRate = 600;
    EXPECT_EQ(FormatOf(dcb).bitRate, 600u);
}

struct ReceiveCase {
    const char* what;
    FrameFormat tx;
    FrameFormat rx;
    BYTE sent;
    BYTE expectedValue;
    DWORD expectedErrors;
};

TEST(SimWire, ReceiverReadsWhatItsOwnSettingsMakeOfTheFrame) {
    const ReceiveCase cases[] = {
        {"same settings", {9600, 8, 0, 0}, {9600, 8, 0, 0}, 0xA5, 0xA5, 0},
        {"same 7-bit settings keep the low bits", {9600, 7, 2, 0}, {9600, 7, 2, 0}, 0xC1, 0x41, 0},
        {"parity only", {9600, 8, EVENPARITY, 0}, {9600, 8, ODDPARITY, 0}, 0x5A, 0x5A, CE_RXPARITY},
        {"parity against none",
         {9600, 8, NOPARITY, 0},
         {9600, 8, EVENPARITY, 0},
         0x33,
         0x33,
         CE_RXPARITY},
        // The 8-bit receiver takes the 7-bit sender's stop bit for its top data bit.
        {"7 bits into 8", {9600, 7, 0, 0}, {9600, 8, 0, 0}, 0x41, 0xC1, CE_FRAME},
        {"8 bits into 7", {9600, 8, 0, 0}, {9600, 7, 0, 0}, 0xC1, 0x41, CE_FRAME},
        {"stop bits", {9600, 8, 0, 0}, {9600, 8, 0, TWOSTOPBITS}, 0x7E, 0x7E, CE_FRAME},
        // Sampling eight times faster, the receiver sees only the start bit.
        {"slow sender", {1200, 7, 0, 0}, {9600, 8, 0, 0}, 0x28, 0x00, CE_FRAME},
        // At half the rate it samples every second sender bit: data bits 2, 4 and 6, then the
        // stop bit and the idle line.
        {"fast sender", {19200, 8, 0, 0}, {9600, 8, 0, 0}, 0xAA, 0xF8, CE_FRAME},
        {"fast sender, other bits", {19200, 8, 0, 0}, {9600, 8, 0, 0}, 0x55, 0xFF, CE_FRAME},
    };
    for (const auto& c : cases) {
        const ReceivedCharacter got = ReceiveCharacter(c.sent, c.tx, c.rx);
        EXPECT_EQ(got.value, c.expectedValue) << c.what;
        EXPECT_EQ(got.errors, c.expectedErrors) << c.what;
    }
}

TEST(SimWire, TimeoutsOfCenturiesMeanNoLimitRatherThanAnOverflowingDeadline) {
    COMMTIMEOUTS t;
    t.WriteTotalTimeoutMultiplier = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = MAXDWORD;
    t.ReadTotalTimeoutConstant = 1;
    EXPECT_FALSE(WriteLimit(t, MAXDWORD).has_value());
    EXPECT_FALSE(PlanRead(t, MAXDWORD).total.has_value());
    t.ReadTotalTimeoutMultiplier = 10;
    EXPECT_EQ(PlanRead(t, 20).total->count(), 201);
}

TEST(SimWire, PnpIdentificationIsWellFormed) {
    const std::string& id = PnpIdentification();
    ASSERT_GE(id.size(), 12u);
    EXPECT_EQ(id.front(), '(');
    EXPECT_EQ(id.back(), ')');
    EXPECT_EQ(id[1], '\x01');
    EXPECT_EQ(id[2], '\x24');
    // Manufacturer: three capitals; product: four hexadecimal digits.
    for (int i = 3; i < 6; ++i) {
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(id[i]))) << i;
    }
    for (int i = 6; i < 10; ++i) {
        EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(id[i]))) << i;
    }
    EXPECT_EQ(id[10], '\\');
    // Everything fits in seven data bits.
    for (char c : id) {
        EXPECT_LT(static_cast<unsigned char>(c), 0x80u);
    }
    // The two characters before ')' are the 8-bit sum of all the others, in hexadecimal.
    unsigned sum = 0;
    for (std::size_t i = 0; i < id.size(); ++i) {
        if (i + 3 != id.size() && i + 2 != id.size()) {
            sum += static_cast<unsigned char>(id[i]);
        }
    }
    EXPECT_EQ(std::stoul(id.substr(id.size() - 3, 2), nullptr, 16), sum & 0xFFu);
}

}  // namespace
}  // namespace platform::sim
