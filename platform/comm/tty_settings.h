#pragma once
// The line settings of a tty in the terms of the device control block, and the few calls that
// need the kernel's own termios record (termios2, for any bit rate). Only tty_settings.cpp
// includes the kernel's terminal headers, which cannot share a file with <termios.h>.

#include "platform/win/win_types.h"

struct termios2;  // the kernel's record, <asm/termbits.h>

namespace platform::tty {

struct LineSettings {
    DWORD bitRate = 9600;
    BYTE byteSize = 8;  // 5..8
    BYTE parity = 0;    // NOPARITY .. SPACEPARITY
    // The second stop-bit setting: two stop bits, or one and a half with five data bits.
    bool extraStopBits = false;
    bool hardwareFlow = false;  // RTS/CTS handshake, both directions
    bool outX = false;          // XON/XOFF on output: the peer's XOFF holds what we send
    bool inX = false;           // XON/XOFF on input: we send XOFF when our input fills
    // Parity and framing errors checked and marked in the input stream (0xFF 0x00 <byte>,
    // a real 0xFF doubled), so the reader can tell an error byte from data.
    bool markErrors = false;
    unsigned char xonChar = 0x11;
    unsigned char xoffChar = 0x13;
};

// The modem-control bit of the UART's internal loopback (TIOCM_LOOP).
extern const int kLoopbackLine;

// Whether the descriptor is a terminal device at all.
bool IsTty(int fd);

// Raw mode: no echo, no canonical input, no signals, no output processing, no CR/LF mapping,
// breaks not turned into NULs, modem lines not able to hang the port up (CLOCAL), reads
// returning what is there. Keeps the bit rate and character format the tty had.
bool MakeRaw(int fd);

bool ReadLineSettings(int fd, LineSettings& settings);

// The settings written into (and read from) the kernel's record, raw mode included. A rate
// that has a speed code (B9600 ...) is written as that code, so every program that reads the
// line settings sees it; only other rates take the custom-rate path (BOTHER).
void EncodeLineSettings(const LineSettings& settings, termios2& t);
LineSettings DecodeLineSettings(const termios2& t);

// Applies the settings in raw mode. When the driver refuses them, or answers with a bit rate
// more than 3% away from the one asked for, or (with `checkFormat`) with another character
// format, the tty is put back as it was and the call fails with errno EINVAL.
bool ApplyLineSettings(int fd, const LineSettings& settings, bool checkFormat);

// Sends one character ahead of the output queue through the driver's flow-control character
// path (the one that carries XON and XOFF), which even held output does not stop. Fails
// (errno EINVAL) for the NUL character, which that path cannot carry.
bool SendPriorityChar(int fd, unsigned char c);

// Output held as if the peer had sent XOFF (hold = true), or released as if XON came.
bool HoldOutput(int fd, bool hold);

// Discards what waits in the input queue, the output queue, or both.
bool FlushQueues(int fd, bool input, bool output);

}  // namespace platform::tty
