#pragma once
// Writes received bytes, status texts and serial-event markers into a port's display, as a
// small terminal screen would: text overwrites what follows the caret (stopping before a line
// break), a line feed starts a new line, a block of carriage returns only goes back to the start
// of the line (or on to the next one when line ends are sent with line feeds), and a backspace
// moves the caret back. In hexadecimal display every byte is appended as " %02X".
//
// The whole sequence runs under the display's lock on the calling thread, so the receive worker,
// the port window's thread and the event watcher never interleave and never wait for the GUI.

#include <cstddef>
#include <cstdint>
#include <span>

#include "terminal/session/display_buffer.h"

// The three process-wide flags that decide how a block is shown.
struct RenderModes {
    bool showCrLfBs = false;     // markers for CR, LF and BS
    bool hexDisplay = false;     // every byte as hexadecimal digits; wins over the markers
    bool sendLineFeeds = false;  // a block of carriage returns only goes to the next line
};

// The flags as the menus set them now.
RenderModes CurrentRenderModes();

// The display's entry point: a length of -1 takes `bytes` as a zero-terminated text, a length of
// 0 (or any other negative length, or no bytes) does nothing. Reads the process-wide flags.
void RenderReceived(DisplayBuffer& edit, const char* bytes, int length);

// The same with the modes given, for callers that already hold them.
void RenderReceived(DisplayBuffer& edit, std::span<const std::uint8_t> bytes,
                    const RenderModes& modes);
