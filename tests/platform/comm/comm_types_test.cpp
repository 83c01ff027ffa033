// The device control block as the device receives it: 28 bytes, little-endian, in field order,
// with the flag word's bit fields each at its own bit.

#include "platform/comm/comm_types.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>

#include "platform/comm/comm_device.h"

namespace {

TEST(CommTypesTest, DcbHasTheRecordLayout) {
    EXPECT_EQ(sizeof(DCB), kDcbSize);
    EXPECT_EQ(offsetof(DCB, DCBlength), 0u);
    EXPECT_EQ(offsetof(DCB, BaudRate), 4u);
    EXPECT_EQ(offsetof(DCB, wReserved), 12u);
    EXPECT_EQ(offsetof(DCB, XonLim), 14u);
    EXPECT_EQ(offsetof(DCB, XoffLim), 16u);
    EXPECT_EQ(offsetof(DCB, ByteSize), 18u);
    EXPECT_EQ(offsetof(DCB, Parity), 19u);
    EXPECT_EQ(offsetof(DCB, StopBits), 20u);
    EXPECT_EQ(offsetof(DCB, XonChar), 21u);
    EXPECT_EQ(offsetof(DCB, XoffChar), 22u);
    EXPECT_EQ(offsetof(DCB, ErrorChar), 23u);
    EXPECT_EQ(offsetof(DCB, EofChar), 24u);
    EXPECT_EQ(offsetof(DCB, EvtChar), 25u);
    EXPECT_EQ(offsetof(DCB, wReserved1), 26u);
}

struct FlagCase {
    const char* field;
    std::function<void(DCB&)> set;  // sets the field to its largest value
    DWORD word;
};

class DcbFlagTest : public ::testing::TestWithParam<FlagCase> {};

TEST_P(DcbFlagTest, FieldLandsAtItsBits) {
    const FlagCase& c = GetParam();
    DCB dcb;
    c.set(dcb);
    EXPECT_EQ(DcbFlagWord(dcb), c.word) << c.field;

    // Read back from the word alone, the field is the only one set.
    DCB decoded;
    SetDcbFlagWord(decoded, c.word);
    EXPECT_EQ(DcbFlagWord(decoded), c.word) << c.field;
    // And the encoded record carries the word at offset 8.
    const auto bytes = EncodeDcb(dcb);
    const DWORD atEight =
        bytes[8] | (bytes[9] << 8) | (bytes[10] << 16) | (static_cast<DWORD>(bytes[11]) << 24);
    EXPECT_EQ(atEight, c.word) << c.field;
}

INSTANTIATE_TEST_SUITE_P(
    EachField, DcbFlagTest,
    ::testing::Values(FlagCase{"fBinary", [](DCB& d) { d.fBinary = 1; }, 1u << 0},
                      FlagCase{"fParity", [](DCB& d) { d.fParity = 1; }, 1u << 1},
                      FlagCase{"fOutxCtsFlow", [](DCB& d) { d.fOutxCtsFlow = 1; }, 1u << 2},
                      FlagCase{"fOutxDsrFlow", [](DCB& d) { d.fOutxDsrFlow = 1; }, 1u << 3},
                      FlagCase{"fDtrControl", [](DCB& d) { d.fDtrControl = 3; }, 3u << 4},
                      FlagCase{"fDsrSensitivity", [](DCB& d) { d.fDsrSensitivity = 1; }, 1u << 6},
                      FlagCase{"fTXContinueOnXoff", [](DCB& d) { d.fTXContinueOnXoff = 1; },
                               1u << 7},
                      FlagCase{"fOutX", [](DCB& d) { d.fOutX = 1; }, 1u << 8},
                      FlagCase{"fInX", [](DCB& d) { d.fInX = 1; }, 1u << 9},
                      FlagCase{"fErrorChar", [](DCB& d) { d.fErrorChar = 1; }, 1u << 10},
                      FlagCase{"fNull", [](DCB& d) { d.fNull = 1; }, 1u << 11},
                      FlagCase{"fRtsControl", [](DCB& d) { d.fRtsControl = 3; }, 3u << 12},
                      FlagCase{"fAbortOnError", [](DCB& d) { d.fAbortOnError = 1; }, 1u << 14},
                      FlagCase{"fDummy2", [](DCB& d) { d.fDummy2 = 0x1FFFF; }, 0x1FFFFu << 15}));

TEST(CommTypesTest, DefaultPortFlagsAreBinaryWithDtrAndRtsOn) {
    DCB dcb;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    EXPECT_EQ(DcbFlagWord(dcb), 0x1011u);
}

TEST(CommTypesTest, EncodingIsLittleEndianInFieldOrder) {
    DCB dcb;
    dcb.DCBlength = 28;
    dcb.BaudRate = 0x0001C200;  // 115200
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.wReserved = 0x0102;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 8;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = '?';
    dcb.EofChar = 0x1A;
    dcb.EvtChar = static_cast<char>(0xFE);
    dcb.wReserved1 = 0xBEEF;
    const std::array<std::uint8_t, kDcbSize> expected = {
        28,   0,    0,    0,           // DCBlength
        0x00, 0xC2, 0x01, 0x00,        // BaudRate
        0x11, 0x10, 0x00, 0x00,        // flag word 0x1011
        0x02, 0x01,                    // wReserved
        0x00, 0x08,                    // XonLim
        0x00, 0x02,                    // XoffLim
        8,    2,    2,                 // ByteSize, Parity, StopBits
        0x11, 0x13, '?',  0x1A, 0xFE,  // XonChar .. EvtChar
        0xEF, 0xBE};                   // wReserved1
    EXPECT_EQ(EncodeDcb(dcb), expected);
}

TEST(CommTypesTest, DecodeUndoesEncodeForEveryByte) {
    // Every byte different, so a field read from the wrong offset cannot go unnoticed.
    std::array<std::uint8_t, kDcbSize> bytes{};
    for (std::size_t i = 0; i < kDcbSize; ++i) {
        bytes[i] = static_cast<std::uint8_t>(0xA0 + i * 3);
    }
    const DCB dcb = DecodeDcb(bytes);
    EXPECT_EQ(EncodeDcb(dcb), bytes);
    EXPECT_EQ(dcb.BaudRate, 0xB5B2AFACu);  // bytes 4..7, least significant first
    EXPECT_EQ(static_cast<std::uint8_t>(dcb.EvtChar), bytes[25]);
}

TEST(CommTypesTest, ComstatHoldBitsFormTheFirstWord) {
    COMSTAT stat;
    EXPECT_EQ(ComstatFlagWord(stat), 0u);
    stat.fXoffHold = 1;
    EXPECT_EQ(ComstatFlagWord(stat), 0x8u);
    stat.fXoffSent = 1;
    stat.fCtsHold = 1;
    EXPECT_EQ(ComstatFlagWord(stat), 0x19u);
    stat = COMSTAT{};
    stat.fTxim = 1;
    stat.fDsrHold = 1;
    EXPECT_EQ(ComstatFlagWord(stat), 0x42u);
}

TEST(CommTypesTest, BaudRate300StandsForTheFastRate) {
    struct {
        DWORD baud;
        DWORD bits;
    } const cases[] = {{300, 500000},    {299, 299},       {301, 301}, {9600, 9600},
                       {500000, 500000}, {250000, 250000}, {1, 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(platform::LineBitRate(c.baud), c.bits) << c.baud;
    }
}

}  // namespace
