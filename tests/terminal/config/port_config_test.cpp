#include "terminal/config/port_config.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <thread>

namespace {

using Bytes = std::array<std::uint8_t, kDcbSize>;

// The defaults as the device receives them, with the three fields the defaults leave alone
// marked 0xFF: DCBlength, wReserved and wReserved1.
constexpr Bytes kDefaultsOverFilledRecord = {
    0xFF, 0xFF, 0xFF, 0xFF,  // DCBlength, untouched
    0x00, 0xC2, 0x01, 0x00,  // BaudRate 115200
    0x11, 0x10, 0x00, 0x00,  // flag word 0x1011
    0xFF, 0xFF,              // wReserved, untouched
    0x00, 0x08,              // XonLim 2048
    0x00, 0x02,              // XoffLim 512
    0x08, 0x00, 0x00,        // ByteSize 8, no parity, one stop bit
    0x11, 0x13,              // XON, XOFF
    0x00, 0x00, 0x00,        // ErrorChar, EofChar, EvtChar
    0xFF, 0xFF,              // wReserved1, untouched
};

PortConfig FilledRecord() {
    Bytes ones;
    ones.fill(0xFF);
    return DecodeDcb(ones);
}

TEST(PortConfigTest, DefaultsAssignEveryFieldButLengthAndReservedWords) {
    PortConfig config = FilledRecord();
    FillDefaultPortConfig(config);
    EXPECT_EQ(EncodeDcb(config), kDefaultsOverFilledRecord);
    EXPECT_EQ(DcbFlagWord(config), kDefaultPortConfigFlags);
    EXPECT_EQ(kDefaultPortConfigFlags, 0x1011u);
}

TEST(PortConfigTest, ProcessRecordKeepsLengthAndReservedWordsZero) {
    // Filled on another thread, as start-up does before port threads read it.
    std::thread([] { FillDefaultPortConfig(DefaultPortConfig()); }).join();
    const PortConfig& config = DefaultPortConfig();
    EXPECT_EQ(config.DCBlength, 0u);
    EXPECT_EQ(config.wReserved, 0u);
    EXPECT_EQ(config.wReserved1, 0u);
    EXPECT_EQ(config.BaudRate, 115200u);
    EXPECT_EQ(config.fDtrControl, DTR_CONTROL_ENABLE);
    EXPECT_EQ(config.fRtsControl, RTS_CONTROL_ENABLE);
    EXPECT_EQ(config.fOutxCtsFlow, 0u);
    EXPECT_EQ(config.fOutX, 0u);
    EXPECT_EQ(config.fInX, 0u);
    EXPECT_EQ(&config, &DefaultPortConfig());
}

}  // namespace
