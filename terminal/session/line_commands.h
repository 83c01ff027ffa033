#pragma once
// The line commands of a serial port window: what each asks of the driver, what it tells the
// user on a closed port and when the driver refuses, and which status pane shows its result.
// Three of them toggle a line the port remembers (DTR, RTS and the internal loopback); the
// others act once (XON/XOFF, break, toggle low, the four purges, the immediate character).

#include "platform/comm/comm_device.h"
#include "platform/win/win_types.h"
#include "terminal/session/port_messages.h"

struct PortShared;

// How a command reaches the driver.
enum class DriverCall { Escape, Purge, Control, ImmediateChar };

// The remembered line a command toggles.
enum class ToggledLine { None, Dtr, Rts, Loopback };

struct LineCommand {
    int id;
    DriverCall call;
    DWORD function;     // the escape function, purge flags or control code (for a toggled
                        // line: the one that turns it on)
    DWORD offFunction;  // a toggled line's function that turns it off
    ToggledLine line;
    const char* closedTrace;  // the debugger text on a closed port; null: none
    const char* closedText;   // the error box on a closed port
    const char* failureText;
    const char* failureTrace;  // null: none
    int indicator;             // 0: none
    LPARAM state;              // the pane after a one-shot command succeeded
};

// The command with the menu id `id`, or null.
const LineCommand* FindLineCommand(int id);

// Asks `device` for `function` the way `call` says; TRUE on success, else the device's error
// is the thread's last error.
BOOL CallDriver(platform::CommDevice& device, DriverCall call, DWORD function);

// Runs the line command `id` on the port: on a closed port its texts, else the driver's answer
// in its pane or its error box; a toggled line's flag follows what the driver kept. Called on
// the port thread and by the port tests' short threads. False when `id` is no line command.
bool RunLineCommand(PortShared& shared, int id);

// The immediate character the command sends.
constexpr char kImmediateChar = '@';
