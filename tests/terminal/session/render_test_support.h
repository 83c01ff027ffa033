#pragma once
// Drives a real DisplayBuffer through RenderReceived block by block and reads back what a user
// would see: the text and the caret.

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "terminal/session/display_buffer.h"
#include "terminal/session/render_received.h"

struct Screen {
    std::string text;
    std::size_t selStart = 0;
    std::size_t selEnd = 0;

    bool operator==(const Screen&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Screen& screen) {
    os << '"';
    for (const char c : screen.text) {
        if (c == '\r')
            os << "\\r";
        else if (c == '\n')
            os << "\\n";
        else
            os << c;
    }
    return os << "\" sel " << screen.selStart << ".." << screen.selEnd;
}

inline Screen ReadScreen(DisplayBuffer& display) {
    DisplayBuffer::Locked edit = display.Lock();
    return {edit.GetText(), edit.SelectionStart(), edit.SelectionEnd()};
}

inline void Feed(DisplayBuffer& display, const std::string& block, const RenderModes& modes) {
    RenderReceived(display,
                   std::span<const std::uint8_t>(
                       reinterpret_cast<const std::uint8_t*>(block.data()), block.size()),
                   modes);
}

// A display holding `text` with the selection start..end, as the user or earlier blocks left it.
inline void Prepare(DisplayBuffer& display, const std::string& text, long long start,
                    long long end) {
    DisplayBuffer::Locked edit = display.Lock();
    edit.SetText(text);
    edit.SetSel(start, end);
}

inline Screen RenderBlocks(const std::string& text, long long start, long long end,
                           const std::vector<std::string>& blocks, const RenderModes& modes) {
    DisplayBuffer display;
    Prepare(display, text, start, end);
    for (const std::string& block : blocks)
        Feed(display, block, modes);
    return ReadScreen(display);
}

inline Screen Caret(std::string text, std::size_t caret) {
    return {std::move(text), caret, caret};
}
