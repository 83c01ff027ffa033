// The tty and the simulated devices take and refuse the same device control blocks, with the
// same error: a setting that opens in the demo opens on hardware, and the other way round.

#include <array>
#include <string>

#include "tests/platform/comm/sim_test_support.h"
#include "tests/platform/comm/tty_test_support.h"

namespace platform {
namespace {

// A tty on a pseudo-terminal and a simulated loopback plug, side by side.
class BothBackendsTest : public ttytest::PtyPortTest {
  protected:
    void SetUp() override {
        ttytest::PtyPortTest::SetUp();
        ASSERT_TRUE(sim_);
    }

    struct Outcome {
        bool taken;
        DWORD error;
    };

    // Applies `dcb` after a setting both take, and checks that a refused one changes nothing.
    Outcome Try(CommDevice& device, const DCB& dcb, const char* backend) {
        const DCB start = TestLineSettings(9600, 7, EVENPARITY, ONESTOPBIT, true);
        EXPECT_TRUE(device.SetCommState(start)) << backend << ": " << GetLastError();
        DCB before;
        EXPECT_TRUE(device.GetCommState(before)) << backend;
        SetLastError(0);
        const Outcome outcome{device.SetCommState(dcb) == TRUE, GetLastError()};
        DCB after;
        EXPECT_TRUE(device.GetCommState(after)) << backend;
        if (!outcome.taken) {
            EXPECT_EQ(EncodeDcb(after), EncodeDcb(before)) << backend << ": refused but changed";
        } else {
            EXPECT_EQ(after.ByteSize, dcb.ByteSize) << backend;
            EXPECT_EQ(after.Parity, dcb.Parity) << backend;
            EXPECT_EQ(after.StopBits, dcb.StopBits) << backend;
        }
        return outcome;
    }

    // Both backends must give `taken`, and refuse with the invalid-parameter error.
    void ExpectBoth(const DCB& dcb, bool taken) {
        for (const auto& [device, backend] :
             {std::pair{device_.get(), "tty"}, std::pair{sim_.operator->(), "sim"}}) {
            const Outcome outcome = Try(*device, dcb, backend);
            EXPECT_EQ(outcome.taken, taken) << backend;
            if (!outcome.taken) {
                EXPECT_EQ(outcome.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << backend;
            }
        }
    }

    simtest::Device sim_{"sim:loopback"};
};

struct FormatRow {
    BYTE dataBits;
    // Whether 1, 1.5 and 2 stop bits are taken with these data bits, for every parity.
    std::array<bool, 3> taken;
};

constexpr FormatRow kFormats[] = {
    {4, {false, false, false}}, {5, {true, true, false}}, {6, {true, false, true}},
    {7, {true, false, true}},   {8, {true, false, true}}, {9, {false, false, false}},
};

TEST_F(BothBackendsTest, RefuseTheSameCharacterFormats) {
    for (const FormatRow& row : kFormats) {
        for (BYTE stop : {ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS}) {
            for (BYTE parity = NOPARITY; parity <= SPACEPARITY + 1; ++parity) {
                SCOPED_TRACE("data bits " + std::to_string(row.dataBits) + ", stop bits code " +
                             std::to_string(stop) + ", parity " + std::to_string(parity));
                // No parity code beyond space exists.
                const bool taken = row.taken[stop] && parity <= SPACEPARITY;
                ExpectBoth(TestLineSettings(19200, row.dataBits, parity, stop, true), taken);
            }
        }
    }
}

struct FieldRow {
    const char* name;
    void (*change)(DCB&);
    bool taken;
};

constexpr FieldRow kFields[] = {
    {"rate 0", [](DCB& d) { d.BaudRate = 0; }, false},
    {"DTR mode 3", [](DCB& d) { d.fDtrControl = 3; }, false},
    {"DTR handshake", [](DCB& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; }, true},
    {"RTS toggle", [](DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; }, true},
    {"XON equal to XOFF, input flow",
     [](DCB& d) {
         d.fInX = 1;
         d.XonChar = d.XoffChar = 0x13;
     },
     false},
    {"XON equal to XOFF, no flow control", [](DCB& d) { d.XonChar = d.XoffChar = 0x13; }, true},
};

TEST_F(BothBackendsTest, RefuseTheSameOtherFields) {
    for (const FieldRow& row : kFields) {
        SCOPED_TRACE(row.name);
        DCB dcb = TestLineSettings(19200, 8, NOPARITY, ONESTOPBIT, true);
        row.change(dcb);
        ExpectBoth(dcb, row.taken);
    }
}

}  // namespace
}  // namespace platform
