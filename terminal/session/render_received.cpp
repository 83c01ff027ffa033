#include "terminal/session/render_received.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "terminal/session/view_flags.h"

namespace {

constexpr std::uint8_t kBs = 0x08;
constexpr std::uint8_t kLf = 0x0A;
constexpr std::uint8_t kCr = 0x0D;

bool IsShownAsItself(std::uint8_t byte) {
    return byte >= 0x20 && byte <= 0x7F;
}

// What one byte becomes, in plain text and with markers. A CR and a BS give nothing in plain
// text: they act on the caret instead.
struct ByteTexts {
    std::array<std::string, 256> plain;
    std::array<std::string, 256> markers;
    std::array<char, 256 * 3> hex;

    ByteTexts() {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        for (unsigned value = 0; value < 256; ++value) {
            std::string text;
            if (IsShownAsItself(static_cast<std::uint8_t>(value))) {
                text.assign(1, static_cast<char>(value));
            } else {
                char marker[8];
                std::snprintf(marker, sizeof marker, "<0x%02X>", value);
                text = marker;
            }
            plain[value] = text;
            markers[value] = text;
            hex[value * 3] = ' ';
            hex[value * 3 + 1] = kDigits[value >> 4];
            hex[value * 3 + 2] = kDigits[value & 0x0F];
        }
        plain[kCr].clear();
        plain[kBs].clear();
        plain[kLf] = "\r\n";
        markers[kCr] = "<CR>";
        markers[kLf] = "\r\n<LF>";
        markers[kBs] = "<BS>";
    }
};

const ByteTexts& Texts() {
    static const ByteTexts texts;
    return texts;
}

// Hexadecimal text never looks at the display: it is appended at the end, wherever the caret.
void RenderHex(DisplayBuffer::Locked& edit, std::span<const std::uint8_t> bytes) {
    const auto& hex = Texts().hex;
    std::string text(bytes.size() * 3, ' ');
    char* out = text.data();
    for (const std::uint8_t byte : bytes) {
        std::memcpy(out, &hex[byte * 3u], 3);
        out += 3;
    }
    const auto length = static_cast<long long>(edit.GetTextLength());
    edit.SetSel(length, length);
    edit.ScrollCaret();
    edit.ReplaceSel(text);
}

// A block of carriage returns only: the caret goes back to the start of its line, or on past the
// next line break (adding one at the end when there is none).
void RenderLineReturn(DisplayBuffer::Locked& edit, const RenderModes& modes,
                      const DisplayBuffer::LineReturn& previous) {
    const std::size_t start = edit.SelectionStart();
    const bool chained = previous.valid && previous.generation == edit.Generation() &&
                         previous.lineFeeds == modes.sendLineFeeds;

    const std::string_view text = edit.Text();
    if (!modes.sendLineFeeds) {
        const std::size_t lf = start == 0 ? std::string_view::npos : text.rfind('\n', start - 1);
        const std::size_t to = lf == std::string_view::npos ? 0 : lf + 1;
        edit.SetSel(static_cast<long long>(to), static_cast<long long>(to));
        edit.ScrollCaret();
    } else {
        const std::size_t pair = text.find("\r\n", start);
        if (pair != std::string_view::npos) {
            const auto to = static_cast<long long>(pair + 2);
            edit.SetSel(to, to);
            edit.ScrollCaret();
        } else {
            const auto length = static_cast<long long>(text.size());
            edit.SetSel(length, length);
            edit.ScrollCaret();
            if (!edit.ReplaceSel("\r\n"))
                return;
        }
    }
    DisplayBuffer::LineReturn& pending = edit.PendingLineReturn();
    pending.valid = true;
    pending.lineFeeds = modes.sendLineFeeds;
    pending.from = chained ? previous.from : start;
    pending.generation = edit.Generation();
}

// Writes the block over what follows the caret, one byte at a time as if each had come alone:
// a byte takes the place of one character (a CR too, though it shows nothing), except that it
// never writes over a CR LF line break (it is inserted before it) and at the end of the text it
// is appended. The region touched is replaced in one step.
void RenderOverwrite(DisplayBuffer::Locked& edit, std::span<const std::uint8_t> bytes,
                     const RenderModes& modes) {
    const auto& texts = modes.showCrLfBs ? Texts().markers : Texts().plain;

    const std::size_t start = edit.SelectionStart();
    edit.SetSel(static_cast<long long>(start), static_cast<long long>(start));
    edit.ScrollCaret();
    const std::string_view text = edit.Text();
    const std::size_t length = text.size();
    auto lineBreakAt = [&](std::size_t k) {
        return k + 1 < length && text[k] == '\r' && text[k + 1] == '\n';
    };

    // `out` replaces the original text from the caret to `consumed`.
    std::string out;
    out.reserve(bytes.size() + 16);
    std::size_t consumed = start;

    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t byte = bytes[i];
        if (IsShownAsItself(byte)) {
            // A run of ordinary characters overwrites the text up to the first line break, then
            // is inserted.
            std::size_t end = i + 1;
            while (end < bytes.size() && IsShownAsItself(bytes[end]))
                ++end;
            const std::size_t run = end - i;
            std::size_t take = 0;
            while (take < run && consumed + take < length && !lineBreakAt(consumed + take))
                ++take;
            consumed += take;
            out.append(reinterpret_cast<const char*>(bytes.data() + i), run);
            i = end;
            continue;
        }
        ++i;
        if (consumed < length && !lineBreakAt(consumed))
            ++consumed;
        out.append(texts[byte]);
    }

    edit.SetSel(static_cast<long long>(start), static_cast<long long>(consumed));
    edit.ScrollCaret();
    edit.ReplaceSel(out);
}

// A block holding backspaces, in plain text. Its text starts with the characters before the caret
// that its backspaces can reach; each backspace moves a write position in it one character back
// (over a whole CR LF line break, which is never split), a character or marker that comes while
// the write position is behind the end takes the place of the character there, and the rest is
// appended. That text replaces only the range before the caret it started with, so what the
// block writes past the caret is inserted and the text after the caret stays. The caret ends at
// the write position: backspaces that later characters did not take up leave it further back.
void RenderBackspaces(DisplayBuffer::Locked& edit, std::span<const std::uint8_t> bytes) {
    const auto& texts = Texts().plain;

    const std::size_t start = edit.SelectionStart();
    edit.SetSel(static_cast<long long>(start), static_cast<long long>(start));
    edit.ScrollCaret();
    const std::string_view text = edit.Text();

    // Each backspace can reach back two characters at most (a whole line break); the part of
    // this prefix that no backspace reaches is put back as it was.
    const auto count = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), kBs));
    std::size_t from = start >= 2 * count ? start - 2 * count : 0;
    if (from > 0 && text[from - 1] == '\r' && text[from] == '\n')
        --from;

    std::string out(text.substr(from, start - from));
    out.reserve(out.size() + bytes.size() + 16);
    std::size_t write = out.size();
    auto lineBreakAt = [&](std::size_t k) {
        return k + 1 < out.size() && out[k] == '\r' && out[k + 1] == '\n';
    };

    for (const std::uint8_t byte : bytes) {
        if (byte == kBs) {
            if (write >= 2 && lineBreakAt(write - 2))
                write -= 2;
            else if (write > 0)
                --write;
            continue;
        }
        const std::string& piece = texts[byte];
        if (piece.empty())
            continue;  // a CR shows nothing and takes no place
        if (write == out.size() || lineBreakAt(write))
            out.insert(write, piece);
        else
            out.replace(write, 1, piece);
        write += piece.size();
    }

    edit.SetSel(static_cast<long long>(from), static_cast<long long>(start));
    edit.ScrollCaret();
    if (!edit.ReplaceSel(out))
        return;  // the display was full and has been emptied
    const auto caret = static_cast<long long>(from + write);
    edit.SetSel(caret, caret);
    edit.ScrollCaret();
}

// With markers shown a backspace is a marker like any other, and such a block is inserted at
// the caret without writing over what follows.
void RenderInsert(DisplayBuffer::Locked& edit, std::span<const std::uint8_t> bytes) {
    const auto& texts = Texts().markers;
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes)
        out += texts[byte];
    const auto start = static_cast<long long>(edit.SelectionStart());
    edit.SetSel(start, start);
    edit.ScrollCaret();
    edit.ReplaceSel(out);
}

}  // namespace

RenderModes CurrentRenderModes() {
    const DisplayFlags& flags = ProcessDisplayFlags();
    RenderModes modes;
    modes.showCrLfBs = flags.showCrLfBs.load();
    modes.hexDisplay = flags.hexDisplay.load();
    modes.sendLineFeeds = flags.sendLineFeeds.load();
    return modes;
}

void RenderReceived(DisplayBuffer& edit, const char* bytes, int length) {
    if (bytes == nullptr || length == 0 || length < -1)
        return;
    const std::size_t size = length == -1 ? std::strlen(bytes) : static_cast<std::size_t>(length);
    RenderReceived(edit, {reinterpret_cast<const std::uint8_t*>(bytes), size},
                   CurrentRenderModes());
}

void RenderReceived(DisplayBuffer& edit, std::span<const std::uint8_t> bytes,
                    const RenderModes& modes) {
    if (bytes.empty())
        return;
    DisplayBuffer::Locked locked = edit.Lock();
    if (modes.hexDisplay) {
        RenderHex(locked, bytes);
        return;
    }
    if (modes.showCrLfBs) {
        if (std::find(bytes.begin(), bytes.end(), kBs) != bytes.end())
            RenderInsert(locked, bytes);
        else
            RenderOverwrite(locked, bytes, modes);
        return;
    }

    // A line feed that comes as the next block after carriage returns alone still ends the line
    // the carriage returns went back over, as it would have in one block, instead of writing its
    // line break over that line's first character.
    const DisplayBuffer::LineReturn pending = locked.PendingLineReturn();
    locked.PendingLineReturn().valid = false;
    if (pending.valid && pending.generation == locked.Generation()) {
        std::size_t k = 0;
        while (k < bytes.size() && bytes[k] == kCr)
            ++k;
        if (k < bytes.size() && bytes[k] == kLf) {
            if (pending.lineFeeds) {
                // The carriage returns already went on to the next line.
                bytes = bytes.subspan(k + 1);
                if (bytes.empty())
                    return;
            } else {
                const auto from = static_cast<long long>(pending.from);
                locked.SetSel(from, from);
            }
        }
    }

    bool onlyReturns = true;
    bool hasCr = false;
    bool hasBs = false;
    for (const std::uint8_t byte : bytes) {
        hasCr = hasCr || byte == kCr;
        hasBs = hasBs || byte == kBs;
        onlyReturns = onlyReturns && (byte == kCr || byte == kBs);
    }
    // Nothing to write and a carriage return among the bytes: the caret goes to a line start.
    // Backspaces that have no text before the caret to step back over change nothing then.
    if (onlyReturns && hasCr && (!hasBs || locked.SelectionStart() == 0)) {
        RenderLineReturn(locked, modes, pending);
        return;
    }
    if (hasBs)
        RenderBackspaces(locked, bytes);
    else
        RenderOverwrite(locked, bytes, modes);
}
