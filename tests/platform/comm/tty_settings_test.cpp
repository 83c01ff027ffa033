// The line settings in the kernel's own termios2 record: every character format, rate and flow
// mode lands on its bits, and raw mode is kept. A pseudo-terminal cannot show the format bits
// (its driver forces CS8 without parity), so they are checked on the record.

#include "platform/comm/tty_settings.h"

#include <asm/termbits.h>
#include <gtest/gtest.h>

#include <string>

namespace platform::tty {
namespace {

struct EncodeCase {
    const char* name;
    LineSettings settings;
    tcflag_t cflags;  // of CSIZE, PARENB, PARODD, CMSPAR, CSTOPB, CRTSCTS
    tcflag_t iflags;  // of IXON, IXOFF, INPCK, PARMRK
};

LineSettings Format(DWORD rate, BYTE bits, BYTE parity, bool extraStop) {
    LineSettings s;
    s.bitRate = rate;
    s.byteSize = bits;
    s.parity = parity;
    s.extraStopBits = extraStop;
    return s;
}

LineSettings WithFlow(LineSettings s, bool rtsCts, bool outX, bool inX, bool mark) {
    s.hardwareFlow = rtsCts;
    s.outX = outX;
    s.inX = inX;
    s.markErrors = mark;
    return s;
}

class LineSettingsTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(LineSettingsTest, LandOnTheirBitsAndReadBack) {
    const EncodeCase& c = GetParam();
    termios2 t{};
    // Start from a cooked terminal, as a freshly opened one is.
    t.c_iflag = ICRNL | IXON | IXANY | BRKINT | IMAXBEL | ISTRIP;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    t.c_cflag = B38400 | CS8 | CREAD | PARENB;
    EncodeLineSettings(c.settings, t);

    constexpr tcflag_t kFormat = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    EXPECT_EQ(t.c_cflag & kFormat, c.cflags) << c.name;
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK | PARMRK), c.iflags) << c.name;
    // Input at the output's rate (the speed code itself is the table below's business).
    EXPECT_EQ((t.c_cflag >> IBSHIFT) & CBAUD, t.c_cflag & CBAUD) << c.name;
    EXPECT_EQ(t.c_ospeed, c.settings.bitRate) << c.name;
    EXPECT_EQ(t.c_ispeed, c.settings.bitRate) << c.name;
    // Raw whatever the settings: exactly the wire's bytes.
    EXPECT_EQ(t.c_lflag, 0u) << c.name;
    EXPECT_EQ(t.c_oflag, 0u) << c.name;
    EXPECT_EQ(t.c_iflag & ~(IXON | IXOFF | INPCK | PARMRK), static_cast<tcflag_t>(IGNBRK))
        << c.name;
    EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL)) << c.name;
    EXPECT_EQ(t.c_cc[VMIN], 1) << c.name;
    EXPECT_EQ(t.c_cc[VTIME], 0) << c.name;

    const LineSettings back = DecodeLineSettings(t);
    EXPECT_EQ(back.bitRate, c.settings.bitRate) << c.name;
    EXPECT_EQ(back.byteSize, c.settings.byteSize) << c.name;
    EXPECT_EQ(back.parity, c.settings.parity) << c.name;
    EXPECT_EQ(back.extraStopBits, c.settings.extraStopBits) << c.name;
    EXPECT_EQ(back.hardwareFlow, c.settings.hardwareFlow) << c.name;
    EXPECT_EQ(back.outX, c.settings.outX) << c.name;
    EXPECT_EQ(back.inX, c.settings.inX) << c.name;
    EXPECT_EQ(back.markErrors, c.settings.markErrors) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LineSettingsTest,
    ::testing::Values(
        EncodeCase{"9600 7E1", Format(9600, 7, 2, false), CS7 | PARENB, 0},
        EncodeCase{"115200 8N1", Format(115200, 8, 0, false), CS8, 0},
        EncodeCase{"19200 8O2", Format(19200, 8, 1, true), CS8 | PARENB | PARODD | CSTOPB, 0},
        EncodeCase{"4800 5M1.5", Format(4800, 5, 3, true), CS5 | PARENB | PARODD | CMSPAR | CSTOPB,
                   0},
        EncodeCase{"2400 6S1", Format(2400, 6, 4, false), CS6 | PARENB | CMSPAR, 0},
        EncodeCase{"non-standard rate", Format(123457, 8, 0, false), CS8, 0},
        EncodeCase{"RTS/CTS", WithFlow(Format(9600, 8, 0, false), true, false, false, false),
                   CS8 | CRTSCTS, 0},
        EncodeCase{"XON/XOFF both ways",
                   WithFlow(Format(9600, 8, 0, false), false, true, true, false), CS8,
                   IXON | IXOFF},
        EncodeCase{"parity marks", WithFlow(Format(9600, 7, 2, false), false, false, false, true),
                   CS7 | PARENB, INPCK | PARMRK}));

struct SpeedCase {
    DWORD rate;
    tcflag_t code;  // what the classic interface shows as the speed
};

class SpeedCodeTest : public ::testing::TestWithParam<SpeedCase> {};

// A standard rate written as a custom one reads as "speed 0" (hang up) to other programs.
TEST_P(SpeedCodeTest, StandardRatesTakeTheirCodeOthersTheCustomPath) {
    const SpeedCase& c = GetParam();
    termios2 t{};
    t.c_cflag = B38400 | (B38400 << IBSHIFT) | CS8 | CREAD;
    EncodeLineSettings(Format(c.rate, 8, 0, false), t);
    EXPECT_EQ(t.c_cflag & CBAUD, c.code) << c.rate;
    EXPECT_EQ((t.c_cflag >> IBSHIFT) & CBAUD, c.code) << c.rate;
    EXPECT_EQ(t.c_ospeed, c.rate);
    EXPECT_EQ(t.c_ispeed, c.rate);
    EXPECT_EQ(DecodeLineSettings(t).bitRate, c.rate);
}

INSTANTIATE_TEST_SUITE_P(Rates, SpeedCodeTest,
                         ::testing::Values(SpeedCase{50, B50}, SpeedCase{134, B134},
                                           SpeedCase{300, B300}, SpeedCase{1200, B1200},
                                           SpeedCase{9600, B9600}, SpeedCase{57600, B57600},
                                           SpeedCase{115200, B115200}, SpeedCase{500000, B500000},
                                           SpeedCase{921600, B921600}, SpeedCase{4000000, B4000000},
                                           SpeedCase{9601, BOTHER}, SpeedCase{31250, BOTHER},
                                           SpeedCase{250000, BOTHER}, SpeedCase{123457, BOTHER},
                                           SpeedCase{5000000, BOTHER}),
                         [](const ::testing::TestParamInfo<SpeedCase>& info) {
                             return "Rate" + std::to_string(info.param.rate);
                         });

}  // namespace
}  // namespace platform::tty
