// The simulated devices as the programs use them: opening by name, data across the plug and
// the null-modem cable at the line rate, mismatched settings, break, internal loopback, the
// plug-and-play modem, time-outs and the calls that abort outstanding reads and writes.

#include "platform/comm/sim_device.h"

#include <gtest/gtest.h>

#include "platform/comm/sim_peers.h"
#include "tests/platform/comm/sim_test_support.h"

namespace platform::simtest {
namespace {

using namespace std::chrono;
using Bytes = std::vector<BYTE>;

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// A read that must come back empty after waiting at least its time-out.
void ExpectNothingArrives(Device& device, DWORD milliseconds = 200) {
    SetTimeouts(device, 0, 0, milliseconds);
    BYTE buffer[16];
    DWORD got = 0;
    const auto start = steady_clock::now();
    EXPECT_TRUE(device->ReadFile(buffer, sizeof buffer, got));
    EXPECT_EQ(got, 0u);
    EXPECT_GE(steady_clock::now() - start, milliseconds * 1ms);
}

TEST(SimDevice, NamesThatAreNoSimulatedDeviceAreNotFound) {
    for (const char* name :
         {"", "sim:", "sim:loop", "sim:loopback ", "sim:PNP", "COM1", "sim:null-modem",
          "sim:null-modem/x", "sim:null-modem//A", "sim:null-modem/x/C", "sim:null-modem/a/b/A"}) {
        SetLastError(0);
        EXPECT_EQ(OpenSimulatedDevice(name), nullptr) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << name;
    }
}

TEST(SimDevice, EachNameIsOneDeviceUntilClosed) {
    const std::string pair = FreshPair();
    const std::vector<std::string> names = {"sim:loopback", "sim:loopback-ring", "sim:pnp",
                                            "sim:open", pair + "/A"};
    for (const std::string& name : names) {
        {
            Device first(name);
            SetLastError(0);
            EXPECT_EQ(OpenSimulatedDevice(name), nullptr) << name;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY)) << name;
        }
        Device again(name);
        EXPECT_TRUE(again) << name;
    }
}

TEST(SimDevice, LoopbackPlugEchoesAPatternExactly) {
    Device plug("sim:loopback");
    Apply(plug, Settings(115200));
    const Bytes data = Pattern(4030);
    std::thread writer([&] { Write(plug, data); });
    const Bytes got = ReadBytes(plug, 4030);
    writer.join();
    EXPECT_EQ(got, data);
    DWORD errors = 0;
    Status(plug, &errors);
    EXPECT_EQ(errors, 0u);
}

TEST(SimDevice, NullModemDeliversEveryByteInOrderAndNoSoonerThanTheLine) {
    for (const DWORD baud : {921600u, 9600u}) {
        SCOPED_TRACE(baud);
        const std::string pair = FreshPair();
        Device a(pair + "/A");
        Device b(pair + "/B");
        Apply(a, Settings(baud));
        Apply(b, Settings(baud));
        SetTimeouts(b, MAXDWORD, 0, 0);
        const Bytes data = Pattern(10000);
        Bytes got;
        const auto start = steady_clock::now();
        std::thread writer([&] { Write(a, data); });
        while (got.size() < data.size() && steady_clock::now() - start < 3 * kPatience) {
            BYTE buffer[4096];
            DWORD n = 0;
            if (!b->ReadFile(buffer, sizeof buffer, n)) {
                ADD_FAILURE() << "read failed: " << GetLastError();
                break;
            }
            got.insert(got.end(), buffer, buffer + n);
            if (got.size() < data.size()) {
                std::this_thread::sleep_for(25ms);
            }
        }
        const auto elapsed = steady_clock::now() - start;
        writer.join();
        EXPECT_EQ(got, data);
        // Ten bits a character: the last one cannot be there before 10000 * 10 bit times.
        EXPECT_GE(elapsed, nanoseconds(100000ull * 1'000'000'000ull / baud));
        DWORD errors = 0;
        Status(b, &errors);
        EXPECT_EQ(errors, 0u);
    }
}

struct MismatchCase {
    const char* what;
    DCB sender;
    DCB receiver;
    DWORD errors;
    bool sameData;
};

TEST(SimDevice, MismatchedSettingsFlagEveryCharacter) {
    const MismatchCase cases[] = {
        {"same settings", Settings(19200), Settings(19200), 0, true},
        {"other rate", Settings(19200), Settings(38400), CE_FRAME, false},
        {"other data bits", Settings(19200, 8), Settings(19200, 7), CE_FRAME, false},
        {"other stop bits", Settings(19200), Settings(19200, 8, NOPARITY, TWOSTOPBITS), CE_FRAME,
         true},
        {"even against odd", Settings(19200, 8, EVENPARITY), Settings(19200, 8, ODDPARITY),
         CE_RXPARITY, true},
        {"none against even", Settings(19200), Settings(19200, 8, EVENPARITY), CE_RXPARITY, true},
    };
    const Bytes data = Text("\xC1Mismatch\xF0");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string pair = FreshPair();
        Device a(pair + "/A");
        Device b(pair + "/B");
        Apply(a, c.sender);
        Apply(b, c.receiver);
        Write(a, data);
        const Bytes got = ReadBytes(b, static_cast<DWORD>(data.size()));
        EXPECT_EQ(got.size(), data.size());  // flagged, but every character arrives
        EXPECT_EQ(got == data, c.sameData);
        DWORD errors = 0;
        Status(b, &errors);
        EXPECT_EQ(errors, c.errors);
        Status(b, &errors);
        EXPECT_EQ(errors, 0u);  // reported once, then cleared
    }
}

TEST(SimDevice, ReceiveOptionsApplyToEachCharacter) {
    const std::string pair = FreshPair();
    Device a(pair + "/A");
    Device b(pair + "/B");
    DCB rx = Settings(19200, 8, ODDPARITY);
    rx.fErrorChar = 1;
    rx.ErrorChar = '?';
    Apply(a, Settings(19200, 8, EVENPARITY));
    Apply(b, rx);
    Write(a, Text("ok"));
    EXPECT_EQ(ReadBytes(b, 2), Text("??"));

    rx = Settings(19200);
    rx.fNull = 1;
    Apply(a, Settings(19200));
    Apply(b, rx);
    Write(a, Bytes{'a', 0, 'b', 0});
    EXPECT_EQ(ReadBytes(b, 2), Text("ab"));
    EXPECT_EQ(Status(b).cbInQue, 0u);

    // DSR sensitivity: nothing is taken while the peer's DTR is off.
    rx = Settings(19200);
    rx.fDsrSensitivity = 1;
    Apply(b, rx);
    Write(a, Text("lost"));
    ASSERT_TRUE(a->EscapeCommFunction(SETDTR));
    Write(a, Text("kept"));
    EXPECT_EQ(ReadBytes(b, 4), Text("kept"));
    EXPECT_EQ(Status(b).cbInQue, 0u);
}

TEST(SimDevice, AbortOnErrorFailsReadsUntilTheErrorIsCleared) {
    const std::string pair = FreshPair();
    Device a(pair + "/A");
    Device b(pair + "/B");
    DCB rx = Settings(19200, 8, ODDPARITY);
    rx.fAbortOnError = 1;
    Apply(a, Settings(19200, 8, EVENPARITY));
    Apply(b, rx);
    Write(a, Text("x"));
    BYTE byte = 0;
    DWORD n = 0;
    EXPECT_FALSE(b->ReadFile(&byte, 1, n));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    DWORD errors = 0;
    Status(b, &errors);
    EXPECT_EQ(errors, CE_RXPARITY);
    EXPECT_EQ(ReadBytes(b, 1), Text("x"));
}

TEST(SimDevice, BreakHoldsTheLineAndIsSeenAtTheFarEnd) {
    const std::string pair = FreshPair();
    Device a(pair + "/A");
    Device b(pair + "/B");
    ASSERT_TRUE(b->SetCommMask(EV_BREAK | EV_CTS));
    ASSERT_TRUE(a->EscapeCommFunction(SETBREAK));
    EXPECT_EQ(WaitEvents(b), EV_BREAK);
    DWORD errors = 0;
    Status(b, &errors);
    EXPECT_EQ(errors, CE_BREAK);

    std::thread writer([&] { Write(a, Text("after")); });
    EXPECT_TRUE(WaitUntil([&] { return Status(a).cbOutQue == 5; }));
    ExpectNothingArrives(b);
    ASSERT_TRUE(a->EscapeCommFunction(CLRBREAK));
    writer.join();
    EXPECT_EQ(ReadBytes(b, 5), Text("after"));
}

TEST(SimDevice, InternalLoopbackKeepsTheOutputInsideTheDevice) {
    const std::string pair = FreshPair();
    Device a(pair + "/A");
    Device b(pair + "/B");
    DCB dcb = Settings(115200);
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    Apply(a, dcb);
    Apply(b, Settings(115200));
    EXPECT_EQ(Modem(b), MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);

    DWORD returned = 99;
    ASSERT_TRUE(
        a->DeviceIoControl(IOCTL_SERIAL_INTERNAL_LOOPBACK_ON, nullptr, 0, nullptr, 0, returned));
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(Modem(a), MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
    EXPECT_EQ(Modem(b), 0u);
    Write(a, Text("inside"));
    EXPECT_EQ(ReadBytes(a, 6), Text("inside"));
    ExpectNothingArrives(b);
    Write(b, Text("ignored"));
    ExpectNothingArrives(a);

    ASSERT_TRUE(
        a->DeviceIoControl(IOCTL_SERIAL_INTERNAL_LOOPBACK_OFF, nullptr, 0, nullptr, 0, returned));
    EXPECT_EQ(Modem(b), MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
    Write(a, Text("out"));
    EXPECT_EQ(ReadBytes(b, 3), Text("out"));
}

TEST(SimDevice, PnpModemAnswersTheIdentificationSequence) {
    struct Case {
        DCB host;
        DWORD errors;
    };
    const Case cases[] = {{Settings(1200, 7), 0}, {Settings(9600), CE_FRAME}};
    const std::string& id = sim::PnpIdentification();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host.BaudRate);
        Device host("sim:pnp");
        Apply(host, c.host);
        ASSERT_TRUE(host->EscapeCommFunction(SETDTR));
        EXPECT_EQ(Modem(host), MS_DSR_ON);
        ASSERT_TRUE(host->EscapeCommFunction(SETRTS));
        EXPECT_EQ(Modem(host), MS_DSR_ON | MS_CTS_ON);
        const Bytes got = ReadBytes(host, static_cast<DWORD>(id.size()));
        EXPECT_EQ(got.size(), id.size());
        if (c.errors == 0) {
            EXPECT_EQ(std::string(got.begin(), got.end()), id);
        }
        DWORD errors = 0;
        Status(host, &errors);
        EXPECT_EQ(errors, c.errors);
    }
}

TEST(SimDevice, PnpModemKeepsQuietForOtherLineSequences) {
    Device host("sim:pnp");
    Apply(host, Settings(1200, 7));
    ASSERT_TRUE(host->EscapeCommFunction(SETRTS));  // RTS before DTR
    ASSERT_TRUE(host->EscapeCommFunction(SETDTR));
    ExpectNothingArrives(host, 300);
    DCB both = Settings(1200, 7);
    both.fDtrControl = DTR_CONTROL_DISABLE;
    both.fRtsControl = RTS_CONTROL_DISABLE;
    Apply(host, both);
    both.fDtrControl = DTR_CONTROL_ENABLE;  // both lines at once
    both.fRtsControl = RTS_CONTROL_ENABLE;
    Apply(host, both);
    ExpectNothingArrives(host, 300);
    // What the host sends is not answered either.
    Write(host, Text("ATI\r"));
    ExpectNothingArrives(host, 300);
}

TEST(SimDevice, ReadTimeoutsEndReadsWithWhatHasArrived) {
    const std::string pair = FreshPair();
    Device a(pair + "/A");
    Device b(pair + "/B");
    Apply(a, Settings(115200));
    Apply(b, Settings(115200));
    Write(a, Text("abc"));
    BYTE buffer[10];
    DWORD got = 0;
    SetTimeouts(b, 0, 0, 300);
    auto start = steady_clock::now();
    EXPECT_TRUE(b->ReadFile(buffer, 10, got));
    EXPECT_EQ(got, 3u);
    EXPECT_GE(steady_clock::now() - start, 300ms);

    // Interval MAXDWORD with a total constant: what is queued, at once.
    Write(a, Text("de"));
    SetTimeouts(b, MAXDWORD, MAXDWORD, 20000);
    EXPECT_TRUE(b->ReadFile(buffer, 10, got));
    EXPECT_EQ(Bytes(buffer, buffer + got), Text("de"));
}

TEST(SimDevice, WriteTimeoutEndsAHeldWriteWithTheBytesSent) {
    const std::string pair = FreshPair();
    Device a(pair + "/A");
    Device b(pair + "/B");
    DCB dcb = Settings(115200);
    dcb.fOutxCtsFlow = 1;
    Apply(a, dcb);
    SetTimeouts(a, 0, 0, 0, /*writeConstant=*/150);
    const Bytes data = Text("held");
    DWORD written = 99;
    const auto start = steady_clock::now();
    EXPECT_TRUE(a->WriteFile(data.data(), 4, written));
    EXPECT_EQ(written, 0u);
    EXPECT_GE(steady_clock::now() - start, 150ms);
    EXPECT_EQ(Status(a).cbOutQue, 0u);
}

// A read that has taken one of its bytes is certainly outstanding: `end` then ends it.
void ExpectBlockedReadAborted(const std::function<void(Device&)>& end) {
    const std::string pair = FreshPair();
    Device a(pair + "/A");
    Device b(pair + "/B");
    Apply(a, Settings(115200));
    Apply(b, Settings(115200));
    BOOL ok = TRUE;
    DWORD error = 0;
    DWORD got = 0;
    std::thread reader([&] {
        BYTE buffer[10];
        ok = a->ReadFile(buffer, sizeof buffer, got);
        error = GetLastError();
    });
    Write(b, Text("1"));
    EXPECT_TRUE(WaitUntil([&] { return Status(a).cbInQue == 0; }));
    end(a);
    reader.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(got, 1u);
}

TEST(SimDevice, CloseAndRxAbortEndABlockedRead) {
    ExpectBlockedReadAborted([](Device& a) { a->Close(); });
    ExpectBlockedReadAborted([](Device& a) { ASSERT_TRUE(a->PurgeComm(PURGE_RXABORT)); });
}

TEST(SimDevice, TxAbortEndsAHeldWriteAndCloseEndsTheWaitAndTheHandle) {
    const std::string pair = FreshPair();
    Device a(pair + "/A");
    Device b(pair + "/B");
    DCB dcb = Settings(115200);
    dcb.fOutxCtsFlow = 1;
    Apply(a, dcb);
    BOOL ok = TRUE;
    DWORD error = 0;
    std::thread writer([&] {
        const Bytes data = Text("never");
        DWORD written = 0;
        ok = a->WriteFile(data.data(), 5, written);
        error = GetLastError();
    });
    EXPECT_TRUE(WaitUntil([&] { return Status(a).cbOutQue == 5; }));
    ASSERT_TRUE(a->PurgeComm(PURGE_TXABORT));
    writer.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));

    ASSERT_TRUE(a->SetCommMask(EV_RXCHAR));
    Event done(true, false);
    DWORD mask = 12345;
    ASSERT_FALSE(a->WaitCommEvent(&mask, &done));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    a->Close();
    EXPECT_TRUE(done.IsSet());
    EXPECT_EQ(mask, 12345u);  // an aborted wait reports no events

    a->Close();
    DWORD n = 0;
    BYTE byte = 0;
    for (const BOOL ok : {a->GetCommState(dcb), a->ReadFile(&byte, 1, n),
                          a->EscapeCommFunction(SETRTS), a->GetCommEventResult()}) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

}  // namespace
}  // namespace platform::simtest
