#include "terminal/session/settings_string.h"

#include <gtest/gtest.h>

namespace {

// The record every settings row starts from: values that no row sets by accident.
PortConfig SettingsStart() {
    PortConfig config;
    FillDefaultPortConfig(config);
    config.BaudRate = 1;
    config.ByteSize = 5;
    config.Parity = MARKPARITY;
    config.StopBits = TWOSTOPBITS;
    return config;
}

constexpr DWORD kSameBaud = 1;
constexpr int kSame = -1;

struct SettingsRow {
    const char* name;
    const char* settings;  // the text after "/P"
    DWORD baudRate;
    int byteSize;  // kSame: unchanged
    int parity;
    int stopBits;
};

class SettingsStringTest : public testing::TestWithParam<SettingsRow> {};

TEST_P(SettingsStringTest, SetsOnlyTheFourLineSettings) {
    const SettingsRow& row = GetParam();
    PortConfig config = SettingsStart();
    ApplySettingsString(row.settings, config);

    PortConfig expected = SettingsStart();
    expected.BaudRate = row.baudRate;
    if (row.byteSize != kSame)
        expected.ByteSize = static_cast<BYTE>(row.byteSize);
    if (row.parity != kSame)
        expected.Parity = static_cast<BYTE>(row.parity);
    if (row.stopBits != kSame)
        expected.StopBits = static_cast<BYTE>(row.stopBits);
    EXPECT_EQ(config.BaudRate, expected.BaudRate);
    EXPECT_EQ(config.ByteSize, expected.ByteSize);
    EXPECT_EQ(config.Parity, expected.Parity);
    EXPECT_EQ(config.StopBits, expected.StopBits);
    EXPECT_EQ(EncodeDcb(config), EncodeDcb(expected)) << "another field was written";
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, SettingsStringTest,
    testing::Values(
        SettingsRow{"UnknownParityKept", "19200,8,X,1.5,", 19200, 8, kSame, ONE5STOPBITS},
        SettingsRow{"EmptyPieceNotCounted", "9600,,7,", 9600, 7, kSame, kSame},
        SettingsRow{"AllFour", "9600,7,E,1,", 9600, 7, EVENPARITY, ONESTOPBIT},
        SettingsRow{"SwitchBecomesDataBits", "9600 /MAX,", 9600, 0, kSame, kSame},
        SettingsRow{"FifthPieceIgnored", "4800,6,O,2,/WH,", 4800, 6, ODDPARITY, TWOSTOPBITS},
        SettingsRow{"LeadingSeparators", " ,, 2400", 2400, kSame, kSame, kSame},
        SettingsRow{"SpaceParity", "300,8,S,1", 300, 8, SPACEPARITY, ONESTOPBIT},
        SettingsRow{"NoParity", "300,8,N,2", 300, 8, NOPARITY, TWOSTOPBITS},
        SettingsRow{"MarkParity", "300,8,M", 300, 8, MARKPARITY, kSame},
        SettingsRow{"DataBitsLowByte", "9600,264", 9600, 8, kSame, kSame},
        SettingsRow{"UnknownStopBitsKept", "9600,8,N,3", 9600, 8, NOPARITY, kSame},
        SettingsRow{"StopBitsExactText", "9600,8,N,1.50", 9600, 8, NOPARITY, kSame},
        SettingsRow{"ParityExactText", "9600,8,NONE,1", 9600, 8, kSame, ONESTOPBIT},
        SettingsRow{"LeadingDigitsOnly", "9600X,7Z", 9600, 7, kSame, kSame},
        SettingsRow{"NoDigits", "FAST", 0, kSame, kSame, kSame},
        SettingsRow{"Empty", "", kSameBaud, kSame, kSame, kSame},
        SettingsRow{"OnlySeparators", ", ,", kSameBaud, kSame, kSame, kSame},
        SettingsRow{"HugeRateSaturates", "99999999999", 2147483647u, kSame, kSame, kSame},
        SettingsRow{"NegativeRateKeepsBits", "-5", 0xFFFFFFFBu, kSame, kSame, kSame}),
    [](const testing::TestParamInfo<SettingsRow>& info) { return info.param.name; });

}  // namespace
