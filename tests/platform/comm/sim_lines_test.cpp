// The lines of the simulated devices: how each far end wires RTS and DTR to the input lines,
// the communication events, hardware and software flow control, and the settings a device
// refuses.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <tuple>

#include "tests/platform/comm/sim_test_support.h"

namespace platform::simtest {
namespace {

using namespace std::chrono;
using Bytes = std::vector<BYTE>;

constexpr DWORD kLineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;

// A wait that must still be running: nothing of its mask has happened.
void ExpectWaitPending(Device& device) {
    Event done(true, false);
    DWORD mask = 0;
    EXPECT_FALSE(device->WaitCommEvent(&mask, &done));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_FALSE(device->GetCommEventResult());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));
    ASSERT_TRUE(device->SetCommMask(kLineEvents));  // ends it before `done` goes away
    EXPECT_TRUE(done.IsSet());
    EXPECT_EQ(mask, 0u);
}

struct WiringCase {
    const char* what;
    std::string driverName;
    std::optional<std::string> observerName;  // none: the driver watches its own inputs
    DWORD fromRts;                            // modem status that RTS alone gives
    DWORD fromDtr;
};

TEST(SimLines, EachFarEndWiresTheOutputsToTheInputs) {
    const std::string pair = FreshPair();
    const WiringCase cases[] = {
        {"loopback plug", "sim:loopback", {}, MS_CTS_ON, MS_DSR_ON | MS_RLSD_ON},
        {"plug with RING", "sim:loopback-ring", {}, MS_CTS_ON | MS_RING_ON, MS_DSR_ON | MS_RLSD_ON},
        {"null modem", pair + "/A", pair + "/B", MS_CTS_ON, MS_DSR_ON | MS_RLSD_ON},
        {"null modem back", pair + "/B", pair + "/A", MS_CTS_ON, MS_DSR_ON | MS_RLSD_ON},
        {"pnp modem", "sim:pnp", {}, MS_CTS_ON, MS_DSR_ON},
        {"open line", "sim:open", {}, 0, 0},
    };
    const auto eventsOf = [](DWORD status) {
        return ((status & MS_CTS_ON) ? EV_CTS : 0) | ((status & MS_DSR_ON) ? EV_DSR : 0) |
               ((status & MS_RLSD_ON) ? EV_RLSD : 0) | ((status & MS_RING_ON) ? EV_RING : 0);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Device driver(c.driverName);
        std::optional<Device> other;
        if (c.observerName) {
            other.emplace(*c.observerName);
        }
        Device& observer = other ? *other : driver;
        EXPECT_EQ(Modem(observer), 0u);  // DTR and RTS start off
        ASSERT_TRUE(observer->SetCommMask(kLineEvents));
        const std::pair<DWORD, DWORD> lines[] = {{SETRTS, CLRRTS}, {SETDTR, CLRDTR}};
        for (const auto& [raise, drop] : lines) {
            const DWORD expected = raise == SETRTS ? c.fromRts : c.fromDtr;
            for (const DWORD function : {raise, drop}) {
                ASSERT_TRUE(driver->EscapeCommFunction(function));
                EXPECT_EQ(Modem(observer), function == raise ? expected : 0u) << function;
                // Both edges raise the events of the lines that changed.
                if (expected != 0) {
                    EXPECT_EQ(WaitEvents(observer), eventsOf(expected)) << function;
                } else {
                    ExpectWaitPending(observer);
                }
            }
        }
    }
}

TEST(SimLines, RtsOnOneEndCompletesTheOtherEndsWait) {
    const std::string pair = FreshPair();
    Device a(pair + "/A");
    Device b(pair + "/B");
    ASSERT_TRUE(b->SetCommMask(EV_CTS));
    Event done(true, false);
    DWORD mask = 0;
    ASSERT_FALSE(b->WaitCommEvent(&mask, &done));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    // One wait at a time.
    DWORD second = 0;
    EXPECT_FALSE(b->WaitCommEvent(&second, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ASSERT_TRUE(a->EscapeCommFunction(SETRTS));
    ASSERT_EQ(WaitForSingleObject(done, 20000), WAIT_OBJECT_0);
    EXPECT_EQ(mask, EV_CTS);
    EXPECT_TRUE(b->GetCommEventResult());
}

TEST(SimLines, SetCommMaskCompletesAPendingWaitWithNoEvents) {
    Device plug("sim:loopback");
    ASSERT_TRUE(plug->SetCommMask(EV_RXCHAR));
    Event done(true, false);
    DWORD mask = 77;
    ASSERT_FALSE(plug->WaitCommEvent(&mask, &done));
    ASSERT_TRUE(plug->SetCommMask(EV_RXCHAR | EV_CTS));
    EXPECT_TRUE(done.IsSet());
    EXPECT_EQ(mask, 0u);
    EXPECT_TRUE(plug->GetCommEventResult());
    // An empty mask starts no wait at all.
    ASSERT_TRUE(plug->SetCommMask(0));
    EXPECT_FALSE(plug->WaitCommEvent(&mask, &done));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(SimLines, EventsWhileNoWaitIsPendingCompleteTheNextWaitAtOnce) {
    Device plug("sim:loopback");
    Apply(plug, Settings(115200));
    ASSERT_TRUE(plug->SetCommMask(EV_DSR));
    ASSERT_TRUE(plug->EscapeCommFunction(SETRTS));  // CTS is not in the mask: forgotten
    ASSERT_TRUE(plug->EscapeCommFunction(SETDTR));
    ASSERT_TRUE(plug->SetCommMask(EV_DSR | EV_CTS | EV_RXFLAG | EV_TXEMPTY));
    Event done(true, false);
    DWORD mask = 0;
    EXPECT_TRUE(plug->WaitCommEvent(&mask, &done));
    EXPECT_EQ(mask, EV_DSR);
    EXPECT_TRUE(done.IsSet());

    DCB dcb = Settings(115200);
    dcb.EvtChar = '\n';
    Apply(plug, dcb);
    const Bytes line = {'o', 'k', '\n'};
    Write(plug, line);
    EXPECT_EQ(ReadBytes(plug, 3), line);
    // SetCommState dropped RTS and DTR (modes 0) and the line went out and came back.
    EXPECT_EQ(WaitEvents(plug), EV_DSR | EV_CTS | EV_RXFLAG | EV_TXEMPTY);
}

TEST(SimLines, RefusedSettingsKeepTheOldState) {
    Device device("sim:open");
    Apply(device, Settings(19200, 7, EVENPARITY));
    const std::pair<const char*, std::function<void(DCB&)>> refused[] = {
        {"rate 0", [](DCB& d) { d.BaudRate = 0; }},
        {"4 data bits", [](DCB& d) { d.ByteSize = 4; }},
        {"9 data bits", [](DCB& d) { d.ByteSize = 9; }},
        {"parity 5", [](DCB& d) { d.Parity = 5; }},
        {"stop bits 3", [](DCB& d) { d.StopBits = 3; }},
        {"DTR mode 3", [](DCB& d) { d.fDtrControl = 3; }},
        {"XON equal to XOFF",
         [](DCB& d) {
             d.fOutX = 1;
             d.XonChar = d.XoffChar;
         }},
    };
    for (const auto& [what, change] : refused) {
        DCB dcb = Settings(115200);
        change(dcb);
        SetLastError(0);
        EXPECT_FALSE(device->SetCommState(dcb)) << what;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << what;
        DCB now;
        ASSERT_TRUE(device->GetCommState(now));
        EXPECT_EQ(now.BaudRate, 19200u) << what;
        EXPECT_EQ(now.ByteSize, 7) << what;
        EXPECT_EQ(now.DCBlength, kDcbSize) << what;
    }
}

TEST(SimLines, CallsTheDeviceRefuses) {
    Device device("sim:open");
    DCB dcb = Settings(9600);
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    Apply(device, dcb);
    DWORD returned = 0;
    const std::tuple<const char*, std::function<BOOL()>, LONG> calls[] = {
        {"SETRTS in handshake", [&] { return device->EscapeCommFunction(SETRTS); },
         ERROR_INVALID_PARAMETER},
        {"CLRDTR in handshake", [&] { return device->EscapeCommFunction(CLRDTR); },
         ERROR_INVALID_PARAMETER},
        {"escape 7", [&] { return device->EscapeCommFunction(7); }, ERROR_INVALID_PARAMETER},
        {"purge 0x10", [&] { return device->PurgeComm(0x10); }, ERROR_INVALID_PARAMETER},
        {"empty input queue", [&] { return device->SetupComm(0, 4096); }, ERROR_INVALID_PARAMETER},
        {"unknown control",
         [&] { return device->DeviceIoControl(0x001B0004, nullptr, 0, nullptr, 0, returned); },
         ERROR_INVALID_FUNCTION},
    };
    for (const auto& [what, call, error] : calls) {
        SetLastError(0);
        EXPECT_FALSE(call()) << what;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(error)) << what;
    }
}

struct HoldCase {
    const char* what;
    std::function<void(DCB&)> flow;
    DWORD release;  // escape function on B that ends the hold
    std::function<bool(const COMSTAT&)> held;
};

TEST(SimLines, HardwareFlowControlHoldsTheOutput) {
    const HoldCase cases[] = {
        {"CTS", [](DCB& d) { d.fOutxCtsFlow = 1; }, SETRTS,
         [](const COMSTAT& s) { return s.fCtsHold == 1; }},
        {"DSR", [](DCB& d) { d.fOutxDsrFlow = 1; }, SETDTR,
         [](const COMSTAT& s) { return s.fDsrHold == 1; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string pair = FreshPair();
        Device a(pair + "/A");
        Device b(pair + "/B");
        DCB dcb = Settings(115200);
        c.flow(dcb);
        Apply(a, dcb);
        Apply(b, Settings(115200));
        const Bytes data = Pattern(100);
        std::thread writer([&] { Write(a, data); });
        EXPECT_TRUE(WaitUntil([&] { return Status(a).cbOutQue == 100; }));
        EXPECT_TRUE(c.held(Status(a)));
        SetTimeouts(b, 0, 0, 200);
        BYTE buffer[8];
        DWORD got = 0;
        EXPECT_TRUE(b->ReadFile(buffer, sizeof buffer, got));
        EXPECT_EQ(got, 0u);
        ASSERT_TRUE(b->EscapeCommFunction(c.release));
        writer.join();
        EXPECT_FALSE(c.held(Status(a)));
        EXPECT_EQ(ReadBytes(b, 100), data);
    }
}

TEST(SimLines, XoffHoldsTheOutputUntilXon) {
    struct Case {
        const char* what;
        bool fromPeer;  // the peer sends XOFF and XON, or the device's own escape functions
    };
    for (const Case c : {Case{"from the peer", true}, Case{"by escape", false}}) {
        SCOPED_TRACE(c.what);
        const std::string pair = FreshPair();
        Device a(pair + "/A");
        Device b(pair + "/B");
        DCB dcb = Settings(115200);
        dcb.fOutX = 1;
        Apply(a, dcb);
        Apply(b, Settings(115200));
        if (c.fromPeer) {
            Write(b, Bytes{0x13});
        } else {
            ASSERT_TRUE(a->EscapeCommFunction(SETXOFF));
        }
        EXPECT_TRUE(WaitUntil([&] { return Status(a).fXoffHold == 1; }));
        const Bytes data = Pattern(50);
        std::thread writer([&] { Write(a, data); });
        EXPECT_TRUE(WaitUntil([&] { return Status(a).cbOutQue == 50; }));
        // The immediate character goes ahead of the held data.
        ASSERT_TRUE(a->TransmitCommChar('@'));
        EXPECT_EQ(ReadBytes(b, 1), Bytes{'@'});
        EXPECT_EQ(Status(a).cbOutQue, 50u);
        if (c.fromPeer) {
            Write(b, Bytes{0x11});
        } else {
            ASSERT_TRUE(a->EscapeCommFunction(SETXON));
        }
        writer.join();  // the pending write finishes once released
        EXPECT_EQ(Status(a).fXoffHold, 0u);
        EXPECT_EQ(Status(a).cbInQue, 0u);  // XOFF and XON are no data
        EXPECT_EQ(ReadBytes(b, 50), data);
    }
}

TEST(SimLines, ReceiveFlowControlStopsThePeerBeforeTheQueueOverflows) {
    struct Case {
        const char* what;
        std::function<void(DCB& receiver, DCB& sender)> flow;
        std::function<bool(const COMSTAT& receiver, const COMSTAT& sender)> stopped;
    };
    const Case cases[] = {
        {"XON/XOFF",
         [](DCB& rx, DCB& tx) {
             rx.fInX = 1;
             tx.fOutX = 1;
         },
         [](const COMSTAT& rx, const COMSTAT& tx) { return rx.fXoffSent && tx.fXoffHold; }},
        {"RTS handshake",
         [](DCB& rx, DCB& tx) {
             rx.fRtsControl = RTS_CONTROL_HANDSHAKE;
             tx.fOutxCtsFlow = 1;
         },
         [](const COMSTAT&, const COMSTAT& tx) { return tx.fCtsHold == 1; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string pair = FreshPair();
        Device a(pair + "/A");
        Device b(pair + "/B");
        DCB tx = Settings(38400);
        DCB rx = Settings(38400);
        rx.XoffLim = 512;  // stop with 1536 of 2048 bytes queued
        rx.XonLim = 256;
        c.flow(rx, tx);
        ASSERT_TRUE(b->SetupComm(2048, 2048));
        Apply(b, rx);
        Apply(a, tx);
        const Bytes data = Pattern(6000);
        std::thread writer([&] { Write(a, data); });
        EXPECT_TRUE(WaitUntil([&] { return c.stopped(Status(b), Status(a)); }));
        const Bytes got = ReadBytes(b, 6000);
        writer.join();
        EXPECT_EQ(got, data);
        DWORD errors = 0;
        const COMSTAT end = Status(b, &errors);
        EXPECT_EQ(errors, 0u);  // nothing lost
        EXPECT_EQ(end.fXoffSent, 0u);
        EXPECT_FALSE(c.stopped(end, Status(a)));
    }
}

TEST(SimLines, AnXoffSentStopsTheOwnOutputUnlessToldToContinue) {
    for (const bool goOn : {false, true}) {
        SCOPED_TRACE(goOn);
        const std::string pair = FreshPair();
        Device a(pair + "/A");
        Device b(pair + "/B");
        DCB rx = Settings(115200);
        rx.fInX = 1;
        rx.fTXContinueOnXoff = goOn ? 1 : 0;
        rx.XoffLim = 32;
        rx.XonLim = 8;
        ASSERT_TRUE(b->SetupComm(64, 64));
        Apply(b, rx);
        Apply(a, Settings(115200));
        Write(a, Pattern(40));  // A has no flow control: B's XOFF reaches it as data
        EXPECT_EQ(Status(b).fXoffSent, 1u);
        std::thread writer([&] { Write(b, Bytes{'x'}); });
        if (goOn) {
            writer.join();
            EXPECT_EQ(ReadBytes(a, 2), (Bytes{0x13, 'x'}));
            continue;
        }
        EXPECT_TRUE(WaitUntil([&] { return Status(b).cbOutQue == 1; }));
        SetTimeouts(a, 0, 0, 200);
        BYTE buffer[2];
        DWORD got = 0;
        EXPECT_TRUE(a->ReadFile(buffer, 2, got));
        EXPECT_EQ(Bytes(buffer, buffer + got), Bytes{0x13});
        // Draining the queue sends the XON, and only then B's own data.
        EXPECT_EQ(ReadBytes(b, 40), Pattern(40));
        writer.join();
        EXPECT_EQ(ReadBytes(a, 2), (Bytes{0x11, 'x'}));
    }
}

TEST(SimLines, AFullReceiveQueueLosesTheRestAsOverrun) {
    const std::string pair = FreshPair();
    Device a(pair + "/A");
    Device b(pair + "/B");
    Apply(a, Settings(115200));
    Apply(b, Settings(115200));
    ASSERT_TRUE(b->SetupComm(64, 64));
    ASSERT_TRUE(b->SetCommMask(EV_ERR));
    const Bytes data = Pattern(100);
    Write(a, data);
    DWORD errors = 0;
    EXPECT_EQ(Status(b, &errors).cbInQue, 64u);
    EXPECT_EQ(errors, CE_RXOVER);
    EXPECT_EQ(WaitEvents(b), EV_ERR);
    EXPECT_EQ(ReadBytes(b, 64), Bytes(data.begin(), data.begin() + 64));
}

TEST(SimLines, ToggleModeRaisesRtsOnlyWhileSending) {
    const std::string pair = FreshPair();
    Device a(pair + "/A");
    Device b(pair + "/B");
    DCB dcb = Settings(9600);
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    Apply(a, dcb);
    Apply(b, Settings(9600));
    ASSERT_TRUE(b->SetCommMask(EV_CTS));
    EXPECT_EQ(Modem(b), 0u);
    Write(a, Pattern(20));
    // RTS went up for the characters and goes down again once the last one is out; the write
    // itself may return while the transmitter still holds its final bytes.
    EXPECT_EQ(WaitEvents(b), EV_CTS);
    EXPECT_TRUE(WaitUntil([&] { return Modem(b) == 0u; }));
    EXPECT_EQ(ReadBytes(b, 20).size(), 20u);

    // Toggle low turns the levels round: on while idle.
    DWORD returned = 0;
    ASSERT_TRUE(a->DeviceIoControl(IOCTL_SERIAL_SET_TOGGLE_LOW, nullptr, 0, nullptr, 0, returned));
    EXPECT_EQ(Modem(b), MS_CTS_ON);
    Write(a, Pattern(5));
    EXPECT_TRUE(WaitUntil([&] { return Status(a).cbOutQue == 0; }));
    EXPECT_EQ(Modem(b), MS_CTS_ON);
    ASSERT_TRUE(
        a->DeviceIoControl(IOCTL_SERIAL_CLEAR_TOGGLE_LOW, nullptr, 0, nullptr, 0, returned));
    EXPECT_EQ(Modem(b), 0u);
}

TEST(SimLines, ClosingAnEndTurnsThePeersInputsOff) {
    const std::string pair = FreshPair();
    Device b(pair + "/B");
    ASSERT_TRUE(b->SetCommMask(kLineEvents));
    {
        Device a(pair + "/A");
        DCB dcb = Settings(9600);
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        Apply(a, dcb);
        EXPECT_EQ(Modem(b), MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
        EXPECT_EQ(WaitEvents(b), EV_CTS | EV_DSR | EV_RLSD);
    }
    EXPECT_EQ(Modem(b), 0u);
    EXPECT_EQ(WaitEvents(b), EV_CTS | EV_DSR | EV_RLSD);
    // The cable is there for a new A.
    Device a(pair + "/A");
    ASSERT_TRUE(a->EscapeCommFunction(SETRTS));
    EXPECT_EQ(Modem(b), MS_CTS_ON);
}

}  // namespace
}  // namespace platform::simtest
