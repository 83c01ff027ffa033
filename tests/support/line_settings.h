#pragma once
// A device record for tests: the given line format, XON/XOFF characters and limits as the
// defaults have them, no flow control, and DTR and RTS as asked.

#include "platform/comm/comm_types.h"

inline DCB TestLineSettings(DWORD baud, BYTE bits, BYTE parity, BYTE stop, bool linesOn) {
    DCB dcb;
    dcb.DCBlength = kDcbSize;
    dcb.BaudRate = baud;
    dcb.fBinary = 1;
    dcb.fDtrControl = linesOn ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = linesOn ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    dcb.ByteSize = bits;
    dcb.Parity = parity;
    dcb.StopBits = stop;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    return dcb;
}
