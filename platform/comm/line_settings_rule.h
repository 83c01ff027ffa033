#pragma once
// Which device control blocks a serial device takes. Every backend (tty and simulated) asks
// this one rule, so a setting that opens on the simulated devices opens on hardware too, and
// both refuse with the same error.

#include "platform/comm/comm_types.h"

namespace platform {

// 0 when a serial device can take the record, else the error that refuses it
// (ERROR_INVALID_PARAMETER). Only the record is judged; a device may still refuse what its
// hardware cannot make (a bit rate, a format), with the same error.
DWORD CheckLineSettings(const DCB& dcb);

}  // namespace platform
