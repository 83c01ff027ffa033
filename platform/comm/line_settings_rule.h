#pragma once
// Which device control blocks and queue sizes a serial device takes. Every backend (tty and
// simulated) asks this one rule, so a setting that opens on the simulated devices opens on
// hardware too, and both refuse with the same error.

#include "platform/comm/comm_types.h"

namespace platform {

// The largest input or output queue SetupComm takes on any device.
constexpr DWORD kMaxCommQueue = DWORD{1} << 24;

// 0 when a serial device can take the record, else the error that refuses it
// (ERROR_INVALID_PARAMETER). Only the record is judged; a device may still refuse what its
// hardware cannot make (a bit rate, a format, a mode), with the same error.
DWORD CheckLineSettings(const DCB& dcb);

// Whether the record asks the device to hold the peer back when its input fills: XON/XOFF on
// input, or DTR or RTS handshake. Only then do XonLim and XoffLim mean anything.
bool UsesInputFlowControl(const DCB& dcb);

// With input flow control, both limits count bytes of the input queue: a limit beyond a queue
// of `inQueue` bytes could never be reached, so the peer would never be held back (XoffLim)
// or never let go (XonLim). 0 when the record fits the queue, else ERROR_INVALID_PARAMETER.
DWORD CheckFlowLimits(const DCB& dcb, DWORD inQueue);

// SetupComm's sizes: an input queue of no bytes would lose every character, and neither queue
// may be larger than kMaxCommQueue. 0 when taken, else ERROR_INVALID_PARAMETER.
DWORD CheckQueueSizes(DWORD inQueue, DWORD outQueue);

}  // namespace platform
