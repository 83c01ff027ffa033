// The tty and the simulated devices take and refuse the same device control blocks, with the
// same error: a setting that opens in the demo opens on hardware, and the other way round.

#include "platform/comm/line_settings_rule.h"

#include <array>
#include <string>
#include <tuple>

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

    // Each backend must give its own answer; a refusal is the invalid-parameter error.
    void ExpectEach(const DCB& dcb, bool ttyTakes, bool simTakes) {
        for (const auto& [device, backend, taken] :
             {std::tuple{device_.get(), "tty", ttyTakes},
              std::tuple{sim_.operator->(), "sim", simTakes}}) {
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

// What the Miscellaneous settings set either works on the device or is refused: the simulated
// line does all of it; a tty refuses what its driver has no means for (DTR handshake, DSR
// sensitivity, abort on error, input flow limits of its own), never takes it to ignore it.
struct ModeRow {
    const char* name;
    void (*change)(DCB&);
    bool ttyTakes;
    bool simTakes;
};

constexpr ModeRow kModes[] = {
    {"DTR handshake", [](DCB& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; }, false, true},
    {"DSR sensitivity", [](DCB& d) { d.fDsrSensitivity = 1; }, false, true},
    {"abort on error", [](DCB& d) { d.fAbortOnError = 1; }, false, true},
    {"NUL strip", [](DCB& d) { d.fNull = 1; }, true, true},
    {"error character with parity check",
     [](DCB& d) {
         d.fParity = 1;
         d.fErrorChar = 1;
         d.ErrorChar = '?';
     },
     true, true},
    {"event character", [](DCB& d) { d.EvtChar = '\n'; }, true, true},
    {"XON/XOFF input, usual limits", [](DCB& d) { d.fInX = 1; }, true, true},
    {"XON/XOFF input, other limits",
     [](DCB& d) {
         d.fInX = 1;
         d.XonLim = 100;
         d.XoffLim = 200;
     },
     false, true},
    {"RTS handshake, other limits",
     [](DCB& d) {
         d.fRtsControl = RTS_CONTROL_HANDSHAKE;
         d.fOutxCtsFlow = 1;
         d.XoffLim = 1000;
     },
     false, true},
    {"other limits, no input flow control", [](DCB& d) { d.XonLim = 100; }, true, true},
    {"XON/XOFF input, limit beyond the input queue",
     [](DCB& d) {
         d.fInX = 1;
         d.XonLim = 60000;
     },
     false, false},
};

TEST_F(BothBackendsTest, TakeOnlyTheModesTheyCarryOut) {
    for (const ModeRow& row : kModes) {
        SCOPED_TRACE(row.name);
        DCB dcb = TestLineSettings(19200, 8, NOPARITY, ONESTOPBIT, true);
        row.change(dcb);
        ExpectEach(dcb, row.ttyTakes, row.simTakes);
    }
}

// Queue sizes: none for the input, or more than any device holds, is refused by both; and a
// queue may not shrink below the flow-control limits in force.
TEST_F(BothBackendsTest, RefuseTheSameQueueSizes) {
    struct Row {
        DWORD in;
        DWORD out;
        bool taken;
    };
    const Row rows[] = {
        {0, 4096, false}, {kMaxCommQueue + 1, 4096, false}, {4096, kMaxCommQueue + 1, false},
        {8192, 0, true},  {kMaxCommQueue, 1024, true},
    };
    for (const auto& [device, backend] :
         {std::pair{device_.get(), "tty"}, std::pair{sim_.operator->(), "sim"}}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(backend) + " " + std::to_string(row.in) + "/" +
                         std::to_string(row.out));
            ASSERT_TRUE(device->SetupComm(5000, 3000));
            SetLastError(0);
            EXPECT_EQ(device->SetupComm(row.in, row.out) == TRUE, row.taken);
            COMMPROP props;
            ASSERT_TRUE(device->GetCommProperties(props));
            if (row.taken) {
                EXPECT_EQ(props.dwCurrentRxQueue, row.in);
                EXPECT_EQ(props.dwCurrentTxQueue, row.out);
            } else {
                EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
                EXPECT_EQ(props.dwCurrentRxQueue, 5000u);
                EXPECT_EQ(props.dwCurrentTxQueue, 3000u);
            }
        }
        // XON/XOFF on input with its limits of 2048 and 512: a queue of 1024 cannot hold them.
        ASSERT_TRUE(device->SetupComm(4096, 4096));
        DCB dcb = TestLineSettings(19200, 8, NOPARITY, ONESTOPBIT, true);
        dcb.fInX = 1;
        ASSERT_TRUE(device->SetCommState(dcb)) << backend << " " << GetLastError();
        EXPECT_FALSE(device->SetupComm(1024, 4096)) << backend;
        EXPECT_TRUE(device->SetupComm(2048, 4096)) << backend;
        dcb.fInX = 0;
        ASSERT_TRUE(device->SetCommState(dcb)) << backend;
    }
}

// The event character raises EV_RXFLAG on a tty as on the simulated line, and only it does;
// NUL strip drops the NULs from what is read.
TEST_F(BothBackendsTest, TtyCarriesOutEventCharacterAndNulStrip) {
    DCB dcb = TestLineSettings(19200, 8, NOPARITY, ONESTOPBIT, true);
    dcb.EvtChar = '\n';
    dcb.fNull = 1;
    Apply(dcb);
    SetTimeouts(ttytest::Timeouts(MAXDWORD, 0, 0));
    ASSERT_TRUE(device_->SetCommMask(EV_RXFLAG));
    Event done(true, false);
    DWORD mask = 0;
    ASSERT_FALSE(device_->WaitCommEvent(&mask, &done));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));

    pty_.Send(std::string("ab\0c", 4));
    std::string got;
    ASSERT_TRUE(WaitUntil([&] {
        char buffer[16];
        DWORD n = 0;
        if (device_->ReadFile(buffer, sizeof buffer, n)) {
            got.append(buffer, n);
        }
        return got.size() >= 3;
    }));
    EXPECT_EQ(got, "abc");
    // Bytes without the event character, all read: the wait is still on.
    EXPECT_FALSE(device_->GetCommEventResult());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));

    pty_.Send("d\n");
    ASSERT_EQ(WaitForSingleObject(done, 20000), WAIT_OBJECT_0);
    EXPECT_TRUE(device_->GetCommEventResult());
    EXPECT_EQ(mask, static_cast<DWORD>(EV_RXFLAG));
    ASSERT_TRUE(WaitUntil([&] { return InQueue() == 2; }));
}

}  // namespace
}  // namespace platform
