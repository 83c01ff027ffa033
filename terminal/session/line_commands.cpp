#include "terminal/session/line_commands.h"

#include <atomic>

#include "platform/system/debug_output.h"
#include "platform/system/last_error.h"
#include "terminal/resources/halvo_resources.h"
#include "terminal/session/port_error_box.h"
#include "terminal/session/port_messages.h"
#include "terminal/session/port_workers.h"

namespace {

constexpr const char* kClosedTrace = "Port is closed!\n";
constexpr const char* kNotOpen = "Port is not open!\t";
constexpr const char* kNotOpenCapital = "Port is not Open!\t";

using enum DriverCall;

// The closed texts differ in one capital letter from command to command; each is as the user
// has always seen it.
constexpr LineCommand kCommands[] = {
    {ID_DTR, Escape, SETDTR, CLRDTR, ToggledLine::Dtr, "Can't Set DTR, because the port is closed",
     kNotOpen, "Port can't override the DTR!\t", "Halvo2 can't change the DTR!\n", ID_INDICATOR_DTR,
     0},
    {ID_RTS, Escape, SETRTS, CLRRTS, ToggledLine::Rts, "Can't Set RTS, because the port is closed",
     kNotOpen, "Port can't override the RTS!\t", "Halvo2 can't change the RTS!\n", ID_INDICATOR_RTS,
     0},
    {ID_INTERNAL_LOOPBACK, Control, IOCTL_SERIAL_INTERNAL_LOOPBACK_ON,
     IOCTL_SERIAL_INTERNAL_LOOPBACK_OFF, ToggledLine::Loopback, kClosedTrace, kNotOpen,
     "LoopBack failed!\t", nullptr, ID_INDICATOR_LPBK, 0},
    {ID_SET_XON, Escape, SETXON, 0, ToggledLine::None, kClosedTrace, kNotOpenCapital,
     "SET_XON failed!\t", nullptr, ID_INDICATOR_XOFF, 0},
    {ID_SET_XOFF, Escape, SETXOFF, 0, ToggledLine::None, kClosedTrace, kNotOpenCapital,
     "SET_XOFF failed!\t", nullptr, ID_INDICATOR_XOFF, 1},
    {ID_BREAK_ON, Escape, SETBREAK, 0, ToggledLine::None, kClosedTrace, kNotOpenCapital,
     "SET_BREAK failed!\t", nullptr, ID_INDICATOR_BRK, 1},
    {ID_BREAK_OFF, Escape, CLRBREAK, 0, ToggledLine::None, kClosedTrace, kNotOpenCapital,
     "CLEAR_BREAK failed!\t", nullptr, ID_INDICATOR_BRK, 0},
    {ID_SET_TOGGLE_LOW, Control, IOCTL_SERIAL_SET_TOGGLE_LOW, 0, ToggledLine::None, kClosedTrace,
     kNotOpenCapital, "SET_TOGGLE_LOW failed!\t", nullptr, ID_INDICATOR_TGL, 1},
    {ID_CLEAR_TOGGLE_LOW, Control, IOCTL_SERIAL_CLEAR_TOGGLE_LOW, 0, ToggledLine::None,
     kClosedTrace, kNotOpenCapital, "CLEAR_TOGGLE_LOW failed!\t", nullptr, ID_INDICATOR_TGL, 0},
    {ID_PURGE_TX_ABORT, Purge, PURGE_TXABORT, 0, ToggledLine::None, kClosedTrace, kNotOpenCapital,
     "PURGE_TXABORT failed!\t", nullptr, 0, 0},
    {ID_PURGE_TX_CLEAR, Purge, PURGE_TXCLEAR, 0, ToggledLine::None, kClosedTrace, kNotOpen,
     "PURGE_TXCLEAR failed!\t", nullptr, 0, 0},
    {ID_PURGE_RX_ABORT, Purge, PURGE_RXABORT, 0, ToggledLine::None, kClosedTrace, kNotOpen,
     "PURGE_RXABORT failed!\t", nullptr, 0, 0},
    {ID_PURGE_RX_CLEAR, Purge, PURGE_RXCLEAR, 0, ToggledLine::None, nullptr, kNotOpenCapital,
     "PURGE_RXCLEAR failed!\t", nullptr, 0, 0},
    {ID_SEND_IMMEDIATE_CHAR, ImmediateChar, 0, 0, ToggledLine::None, kClosedTrace, kNotOpenCapital,
     "SEND_IMMEDIATE_CHAR failed!\t", nullptr, 0, 0},
};

std::atomic<int>* FlagOf(PortShared& shared, ToggledLine line) {
    switch (line) {
        case ToggledLine::Dtr:
            return &shared.dtrOn;
        case ToggledLine::Rts:
            return &shared.rtsOn;
        case ToggledLine::Loopback:
            return &shared.loopbackOn;
        case ToggledLine::None:
            break;
    }
    return nullptr;
}

void ErrorBox(const PortShared& shared, const char* message, long code) {
    const PortTransport* transport = shared.transport.get();
    ShowPortErrorBox(shared.prompts, FormatPortErrorText(message, code),
                     transport != nullptr ? transport->Caption() : std::string());
}

}  // namespace

const LineCommand* FindLineCommand(int id) {
    for (const LineCommand& command : kCommands) {
        if (command.id == id) {
            return &command;
        }
    }
    return nullptr;
}

BOOL CallDriver(platform::CommDevice& device, DriverCall call, DWORD function) {
    switch (call) {
        case DriverCall::Escape:
            return device.EscapeCommFunction(function);
        case DriverCall::Purge:
            return device.PurgeComm(function);
        case DriverCall::Control: {
            DWORD returned = 0;
            return device.DeviceIoControl(function, nullptr, 0, nullptr, 0, returned);
        }
        case DriverCall::ImmediateChar:
            return device.TransmitCommChar(kImmediateChar);
    }
    return FALSE;
}

bool RunLineCommand(PortShared& shared, int id) {
    const LineCommand* command = FindLineCommand(id);
    if (command == nullptr) {
        return false;
    }
    if (!shared.transport || !shared.transport->IsOpen()) {
        if (command->closedTrace != nullptr) {
            platform::OutputDebugStringA(command->closedTrace);
        }
        ErrorBox(shared, command->closedText, 0);
        return true;
    }
    std::atomic<int>* flag = FlagOf(shared, command->line);
    const bool on = flag == nullptr || flag->load() == 0;
    if (flag != nullptr) {
        *flag = on ? 1 : 0;
    }
    const platform::CommDeviceHandle device = shared.transport->SerialDevice();
    BOOL ok = FALSE;
    DWORD error = ERROR_INVALID_HANDLE;
    if (device) {
        ok = CallDriver(*device, command->call, on ? command->function : command->offFunction);
        error = ok ? 0 : platform::GetLastError();
    }
    if (!ok && !shared.transport->IsOpen()) {
        // The port closed while the command ran (a test's thread drives the lines beside the
        // port thread): the close has put every line down and has nothing more to report.
        if (flag != nullptr) {
            *flag = 0;
        }
        return true;
    }
    if (!ok) {
        if (flag != nullptr) {
            *flag = on ? 0 : 1;
        }
        if (command->failureTrace != nullptr) {
            platform::OutputDebugStringA(command->failureTrace);
        }
        ErrorBox(shared, command->failureText, static_cast<long>(error));
    }
    // A toggled line's pane shows what the driver kept, also after a failure.
    if (flag != nullptr) {
        shared.PostIndicator(command->indicator, flag->load());
    } else if (ok && command->indicator != 0) {
        shared.PostIndicator(command->indicator, command->state);
    }
    return true;
}
