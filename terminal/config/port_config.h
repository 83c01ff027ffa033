#pragma once
// The line-settings record a serial port is opened with, and the one process-wide record every
// new port window copies its own settings from.

#include "platform/comm/comm_types.h"

// The record has the device control block's layout and is handed unchanged to the device.
using PortConfig = DCB;

// The built-in line settings: 115200 baud, 8 data bits, no parity, one stop bit, DTR and RTS
// on, no flow control, XON 0x11 and XOFF 0x13, limits 2048 and 512. Only BaudRate, the flag
// word, the two limits and the eight bytes ByteSize..EvtChar are assigned; DCBlength and the
// two reserved words keep what the record holds.
void FillDefaultPortConfig(PortConfig& config);

// The flag word of the built-in settings: fBinary, fDtrControl = 1 and fRtsControl = 1.
constexpr DWORD kDefaultPortConfigFlags = 0x1011;

// The process-wide record new port windows start from. It is written at start-up and by the
// command line's settings on the GUI thread before any port window exists; once port windows
// run, it is read and written only whole, under its lock, with the two calls below (a settings
// dialog's short thread writes it while port threads read it).
PortConfig& DefaultPortConfig();

// A copy of the whole process-wide record, taken under its lock.
PortConfig CopyDefaultPortConfig();
// Replaces the whole process-wide record under its lock.
void StoreDefaultPortConfig(const PortConfig& config);
