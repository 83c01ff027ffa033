// Opening serial devices through the port map, and the settings and line controls of the tty
// device, checked on real pseudo-terminals.

#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include "platform/comm/port_map.h"
#include "tests/platform/comm/tty_test_support.h"

namespace platform::ttytest {
namespace {

TEST_F(PtyPortTest, OpensExclusivelyUnderEitherName) {
    for (const char* name : {"\\\\.\\COM5", "COM5", "com5"}) {
        EXPECT_EQ(CreateCommDevice(name), nullptr) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY)) << name;
    }
    device_->Close();
    device_ = CreateCommDevice("com5");
    ASSERT_NE(device_, nullptr) << "closing did not release the port: " << GetLastError();
}

TEST(TtyOpenTest, NamesThatAreNoPortAreNotFound) {
    TempConfig config;
    for (const char* name :
         {"\\\\.\\COM0", "COM0", "COM", "\\\\.\\COM", "COMx", "\\\\.\\COM-1", "COM2147483648",
          "LPT1", "", "\\\\.\\", "\\\\?\\COM1", "COM1x", "\\\\.\\\\.\\COM1"}) {
        SetLastError(0);
        EXPECT_EQ(CreateCommDevice(name), nullptr) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << name;
    }
    EXPECT_EQ(CreateCommDevice(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(TtyOpenTest, WhatIsNotThereIsNotFound) {
    TempConfig config;
    config.WritePortMap("COM6 = /nonexistent/ttyUSB9\n");
    EXPECT_EQ(CreateCommDevice("\\\\.\\COM6"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // Unmapped: /dev/ttyS1999, which no host has.
    EXPECT_EQ(CreateCommDevice("\\\\.\\COM2000"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(TtyOpenTest, APathThatIsNoTerminalIsRefused) {
    TempConfig config;
    const std::string file = config.Dir() + "/not-a-port";
    std::ofstream(file) << "data";
    config.WritePortMap("COM7 = " + file + "\n");
    EXPECT_EQ(CreateCommDevice("COM7"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
}

TEST(TtyOpenTest, AnEditedMapTakesEffectAtTheNextOpen) {
    TempConfig config;
    Pty first;
    Pty second;
    config.WritePortMap("COM3 = " + first.Path() + "\n");
    auto device = CreateCommDevice("COM3");
    ASSERT_NE(device, nullptr);
    device->Close();

    config.WritePortMap("COM3 = " + second.Path() + "   # moved\n");
    device = CreateCommDevice("COM3");
    ASSERT_NE(device, nullptr);
    DWORD written = 0;
    ASSERT_TRUE(device->WriteFile("moved", 5, written));
    EXPECT_EQ(second.Receive(5), "moved");
    EXPECT_EQ(first.Arrived(), 0);
    device->Close();
}

TEST(TtyOpenTest, SimulatedNamesOpenTheSimulatedDevice) {
    TempConfig config;
    config.WritePortMap("COM8 = sim:loopback\n");
    auto device = CreateCommDevice("\\\\.\\COM8");
    ASSERT_NE(device, nullptr) << GetLastError();
    ASSERT_TRUE(device->SetCommState(Settings(115200)));
    // A loopback plug: what goes out comes back.
    DWORD written = 0;
    ASSERT_TRUE(device->WriteFile("ping", 4, written));
    COMMTIMEOUTS t = Timeouts(0, 0, 20000);
    ASSERT_TRUE(device->SetCommTimeouts(t));
    char buffer[4] = {};
    DWORD read = 0;
    EXPECT_TRUE(device->ReadFile(buffer, 4, read));
    EXPECT_EQ(std::string(buffer, read), "ping");
    device->Close();
}

TEST_F(PtyPortTest, OpenLeavesTheLineRaw) {
    const termios t = pty_.SlaveSettings();
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | BRKINT), 0u);
    EXPECT_NE(t.c_cflag & CLOCAL, 0u);  // a dropped carrier must not hang the port up
    EXPECT_NE(t.c_cflag & CREAD, 0u);
}

struct FormatCase {
    DWORD baud;
    BYTE bits;
    BYTE parity;
    BYTE stop;
    unsigned speed;        // bit/s on the tty
    tcflag_t parityFlags;  // of PARENB, PARODD, CMSPAR
    bool cstopb;
};

class TtyFormatTest : public PtyPortTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(TtyFormatTest, ReachesTheTty) {
    const FormatCase& c = GetParam();
    Apply(Settings(c.baud, c.bits, c.parity, c.stop));
    const termios t = pty_.SlaveSettings();
    EXPECT_EQ(OutputSpeed(pty_.Slave()), c.speed);
    // A pseudo-terminal's driver forces eight data bits and clears PARENB whatever is asked
    // (tty_settings_test checks those bits on the kernel record itself); the rest stays.
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), c.parityFlags & ~PARENB);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.cstopb);
    // Still raw after every change.
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IXON), 0u);

    DCB now;
    ASSERT_TRUE(device_->GetCommState(now));
    EXPECT_EQ(now.DCBlength, 28u);
    EXPECT_EQ(now.BaudRate, c.baud);
    EXPECT_EQ(now.ByteSize, c.bits);
    EXPECT_EQ(now.Parity, c.parity);
    EXPECT_EQ(now.StopBits, c.stop);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, TtyFormatTest,
    ::testing::Values(FormatCase{9600, 7, EVENPARITY, ONESTOPBIT, 9600, PARENB, false},
                      FormatCase{115200, 8, NOPARITY, ONESTOPBIT, 115200, 0, false},
                      FormatCase{19200, 8, ODDPARITY, TWOSTOPBITS, 19200, PARENB | PARODD, true},
                      FormatCase{4800, 5, MARKPARITY, ONE5STOPBITS, 4800, PARENB | PARODD | CMSPAR,
                                 true},
                      FormatCase{2400, 6, SPACEPARITY, ONESTOPBIT, 2400, PARENB | CMSPAR, false},
                      FormatCase{1200, 7, NOPARITY, ONESTOPBIT, 1200, 0, false},
                      // 300 stands for the fast rate; the record keeps saying 300.
                      FormatCase{300, 8, NOPARITY, ONESTOPBIT, 500000, 0, false},
                      FormatCase{250000, 8, NOPARITY, ONESTOPBIT, 250000, 0, false},
                      FormatCase{31250, 8, NOPARITY, ONESTOPBIT, 31250, 0, false}));

struct RateCase {
    DWORD baud;
    const char* seenByOthers;  // `stty speed` in another process; null: no speed code exists
    unsigned speed;            // bit/s in the kernel's record
};

class TtyRateTest : public PtyPortTest, public ::testing::WithParamInterface<RateCase> {};

// Other programs read the classic termios, where a custom rate shows as speed 0 (hang up).
TEST_P(TtyRateTest, OtherProgramsSeeTheRate) {
    const RateCase& c = GetParam();
    Apply(Settings(c.baud));
    EXPECT_EQ(OutputSpeed(pty_.Slave()), c.speed);
    if (c.seenByOthers != nullptr) {
        EXPECT_EQ(SpeedSeenByStty(pty_.Slave()), c.seenByOthers);
        EXPECT_FALSE(TtyUsesCustomRate(pty_.Slave()));
        const termios t = pty_.SlaveSettings();
        EXPECT_NE(cfgetospeed(&t), static_cast<speed_t>(B0));
        EXPECT_EQ(cfgetospeed(&t), cfgetispeed(&t));
    } else {
        EXPECT_TRUE(TtyUsesCustomRate(pty_.Slave()));
    }
    DCB now;
    ASSERT_TRUE(device_->GetCommState(now));
    EXPECT_EQ(now.BaudRate, c.baud);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, TtyRateTest,
    ::testing::Values(RateCase{9600, "9600", 9600}, RateCase{115200, "115200", 115200},
                      RateCase{1200, "1200", 1200}, RateCase{921600, "921600", 921600},
                      // 300 stands for the fast rate, which has a code of its own.
                      RateCase{300, "500000", 500000}, RateCase{250000, nullptr, 250000},
                      RateCase{31250, nullptr, 31250}),
    [](const ::testing::TestParamInfo<RateCase>& info) {
        return "Baud" + std::to_string(info.param.baud);
    });

struct FlowCase {
    const char* name;
    std::function<void(DCB&)> change;
    tcflag_t cflags;  // of CRTSCTS
    tcflag_t iflags;  // of IXON, IXOFF, INPCK, PARMRK
};

class TtyFlowTest : public PtyPortTest, public ::testing::WithParamInterface<FlowCase> {};

TEST_P(TtyFlowTest, ReachesTheTty) {
    const FlowCase& c = GetParam();
    DCB dcb = Settings(9600);
    dcb.XonChar = 0x05;
    dcb.XoffChar = 0x06;
    c.change(dcb);
    Apply(dcb);
    const termios t = pty_.SlaveSettings();
    EXPECT_EQ(t.c_cflag & CRTSCTS, c.cflags) << c.name;
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK | PARMRK), c.iflags) << c.name;
    EXPECT_EQ(t.c_cc[VSTART], 0x05) << c.name;
    EXPECT_EQ(t.c_cc[VSTOP], 0x06) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, TtyFlowTest,
    ::testing::Values(FlowCase{"none", [](DCB&) {}, 0, 0},
                      FlowCase{"CTS output flow", [](DCB& d) { d.fOutxCtsFlow = 1; }, CRTSCTS, 0},
                      FlowCase{"RTS handshake",
                               [](DCB& d) { d.fRtsControl = RTS_CONTROL_HANDSHAKE; }, CRTSCTS, 0},
                      FlowCase{"XON/XOFF output", [](DCB& d) { d.fOutX = 1; }, 0, IXON},
                      FlowCase{"XON/XOFF input", [](DCB& d) { d.fInX = 1; }, 0, IXOFF},
                      FlowCase{"parity check", [](DCB& d) { d.fParity = 1; }, 0, INPCK | PARMRK},
                      FlowCase{"all",
                               [](DCB& d) {
                                   d.fOutxCtsFlow = 1;
                                   d.fOutX = 1;
                                   d.fInX = 1;
                                   d.fParity = 1;
                               },
                               CRTSCTS, IXON | IXOFF | INPCK | PARMRK}));

struct RefusedCase {
    const char* name;
    std::function<void(DCB&)> spoil;
};

class TtyRefusedTest : public PtyPortTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(TtyRefusedTest, LeavesTheDeviceAsItWas) {
    const RefusedCase& c = GetParam();
    Apply(Settings(9600, 7, EVENPARITY));
    const termios before = pty_.SlaveSettings();
    DCB stateBefore;
    ASSERT_TRUE(device_->GetCommState(stateBefore));

    DCB bad = Settings(115200);
    c.spoil(bad);
    SetLastError(0);
    EXPECT_FALSE(device_->SetCommState(bad)) << c.name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.name;

    const termios after = pty_.SlaveSettings();
    EXPECT_EQ(after.c_cflag, before.c_cflag) << c.name;
    EXPECT_EQ(after.c_iflag, before.c_iflag) << c.name;
    EXPECT_EQ(OutputSpeed(pty_.Slave()), 9600u) << c.name;
    DCB stateAfter;
    ASSERT_TRUE(device_->GetCommState(stateAfter));
    EXPECT_EQ(EncodeDcb(stateAfter), EncodeDcb(stateBefore)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Settings, TtyRefusedTest,
    ::testing::Values(RefusedCase{"9 data bits", [](DCB& d) { d.ByteSize = 9; }},
                      RefusedCase{"4 data bits", [](DCB& d) { d.ByteSize = 4; }},
                      RefusedCase{"0 data bits", [](DCB& d) { d.ByteSize = 0; }},
                      RefusedCase{"parity 5", [](DCB& d) { d.Parity = 5; }},
                      RefusedCase{"stop bits 3", [](DCB& d) { d.StopBits = 3; }},
                      RefusedCase{"rate 0", [](DCB& d) { d.BaudRate = 0; }},
                      RefusedCase{"1.5 stop bits with 8 data bits",
                                  [](DCB& d) { d.StopBits = ONE5STOPBITS; }},
                      RefusedCase{"2 stop bits with 5 data bits",
                                  [](DCB& d) {
                                      d.ByteSize = 5;
                                      d.StopBits = TWOSTOPBITS;
                                  }},
                      RefusedCase{"XON equal to XOFF", [](DCB& d) {
                                      d.fOutX = 1;
                                      d.XonChar = d.XoffChar = 0x11;
                                  }}));

TEST_F(PtyPortTest, StateShowsWhatTheTtyReallyHas) {
    Apply(Settings(9600, 7, EVENPARITY));
    // Someone changes the line behind the device's back.
    termios t = pty_.SlaveSettings();
    t.c_cflag |= CSTOPB | CRTSCTS;
    t.c_iflag |= IXON;
    t.c_cc[VSTART] = 0x01;
    cfsetospeed(&t, B19200);
    cfsetispeed(&t, B19200);
    ASSERT_EQ(::tcsetattr(pty_.Slave(), TCSANOW, &t), 0);

    DCB now;
    ASSERT_TRUE(device_->GetCommState(now));
    EXPECT_EQ(now.BaudRate, 19200u);
    EXPECT_EQ(now.StopBits, TWOSTOPBITS);
    EXPECT_EQ(now.fOutX, 1u);
    EXPECT_EQ(now.XonChar, 0x01);
    EXPECT_EQ(now.fOutxCtsFlow, 1u);
    EXPECT_EQ(now.fRtsControl, RTS_CONTROL_HANDSHAKE);
    // What the tty cannot tell (and, on a pseudo-terminal, the character format) stays.
    EXPECT_EQ(now.ByteSize, 7);
    EXPECT_EQ(now.Parity, EVENPARITY);
    EXPECT_EQ(now.fDtrControl, DTR_CONTROL_ENABLE);
    EXPECT_EQ(now.DCBlength, 28u);
}

TEST_F(PtyPortTest, ModemLinesOfAPseudoTerminalReadAsOff) {
    DWORD status = 0xFFFF;
    EXPECT_TRUE(device_->GetCommModemStatus(status));
    EXPECT_EQ(status, 0u);
}

TEST_F(PtyPortTest, EscapeFunctions) {
    struct {
        DWORD function;
        bool ok;
    } const cases[] = {{SETRTS, true},   {CLRRTS, true},   {SETDTR, true},  {CLRDTR, true},
                       {SETBREAK, true}, {CLRBREAK, true}, {SETXOFF, true}, {SETXON, true},
                       {0, false},       {7, false},       {10, false},     {99, false}};
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_EQ(device_->EscapeCommFunction(c.function), c.ok ? TRUE : FALSE) << c.function;
        if (!c.ok) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.function;
        }
    }
    // In handshake mode the driver owns RTS.
    DCB dcb = Settings(9600);
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    Apply(dcb);
    EXPECT_FALSE(device_->EscapeCommFunction(SETRTS));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(device_->EscapeCommFunction(SETDTR));
}

TEST_F(PtyPortTest, PrivateControlsAreMissingOnATty) {
    for (DWORD code :
         {IOCTL_SERIAL_INTERNAL_LOOPBACK_ON, IOCTL_SERIAL_INTERNAL_LOOPBACK_OFF,
          IOCTL_SERIAL_SET_TOGGLE_LOW, IOCTL_SERIAL_CLEAR_TOGGLE_LOW, SerialControlCode(0x800)}) {
        DWORD returned = 7;
        SetLastError(0);
        EXPECT_FALSE(device_->DeviceIoControl(code, nullptr, 0, nullptr, 0, returned)) << code;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION)) << code;
        EXPECT_EQ(returned, 0u);
    }
    EXPECT_EQ(FormatErrorMessage(ERROR_INVALID_FUNCTION), "Inappropriate ioctl for device");
}

TEST_F(PtyPortTest, QueueSizesLastUntilTheDeviceIsClosed) {
    COMMPROP props;
    ASSERT_TRUE(device_->GetCommProperties(props));
    EXPECT_EQ(props.wPacketLength, sizeof(COMMPROP));
    EXPECT_EQ(props.dwMaxBaud, BAUD_USER);
    EXPECT_EQ(props.wSettableData & (DATABITS_5 | DATABITS_8), DATABITS_5 | DATABITS_8);
    EXPECT_NE(props.dwProvCapabilities & PCF_RTSCTS, 0u);
    const DWORD defaultRx = props.dwCurrentRxQueue;

    ASSERT_TRUE(device_->SetupComm(8192, 1024));
    ASSERT_TRUE(device_->GetCommProperties(props));
    EXPECT_EQ(props.dwCurrentRxQueue, 8192u);
    EXPECT_EQ(props.dwCurrentTxQueue, 1024u);

    device_->Close();
    device_ = CreateCommDevice("COM5");
    ASSERT_NE(device_, nullptr);
    ASSERT_TRUE(device_->GetCommProperties(props));
    EXPECT_EQ(props.dwCurrentRxQueue, defaultRx);
}

TEST_F(PtyPortTest, AClosedDeviceRefusesEveryCall) {
    device_->Close();
    device_->Close();  // idempotent
    DCB dcb;
    COMMTIMEOUTS t;
    COMMPROP props;
    DWORD value = 0;
    DWORD mask = 0;
    char byte = 0;
    const std::pair<const char*, std::function<BOOL()>> calls[] = {
        {"GetCommState", [&] { return device_->GetCommState(dcb); }},
        {"SetCommState", [&] { return device_->SetCommState(Settings(9600)); }},
        {"GetCommTimeouts", [&] { return device_->GetCommTimeouts(t); }},
        {"SetCommMask", [&] { return device_->SetCommMask(EV_RXCHAR); }},
        {"WaitCommEvent", [&] { return device_->WaitCommEvent(&mask, nullptr); }},
        {"ReadFile", [&] { return device_->ReadFile(&byte, 1, value); }},
        {"WriteFile", [&] { return device_->WriteFile("x", 1, value); }},
        {"ClearCommError", [&] { return device_->ClearCommError(value, nullptr); }},
        {"GetCommModemStatus", [&] { return device_->GetCommModemStatus(value); }},
        {"EscapeCommFunction", [&] { return device_->EscapeCommFunction(SETDTR); }},
        {"PurgeComm", [&] { return device_->PurgeComm(PURGE_RXCLEAR); }},
        {"GetCommProperties", [&] { return device_->GetCommProperties(props); }},
        {"TransmitCommChar", [&] { return device_->TransmitCommChar('@'); }},
        {"GetCommEventResult", [&] { return device_->GetCommEventResult(); }},
    };
    for (const auto& [name, call] : calls) {
        SetLastError(0);
        EXPECT_FALSE(call()) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << name;
    }
    // The port itself is free again.
    auto other = CreateCommDevice("COM5");
    EXPECT_NE(other, nullptr);
}

}  // namespace
}  // namespace platform::ttytest
