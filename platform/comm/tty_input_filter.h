#pragma once
// Turns what a tty's line discipline delivers into the bytes a serial device reads. With parity
// checking on, the line discipline marks a byte received with a parity or framing error as
// 0xFF 0x00 <byte> and doubles a real 0xFF; the filter removes the marks and, when asked,
// puts the error character in place of a damaged byte. It can also drop received NULs. A mark
// split across two reads is carried over to the next one.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <utility>

namespace platform::tty {

class InputFilter {
  public:
    struct Mode {
        bool marked = false;         // the stream carries error marks
        bool dropNul = false;        // NUL data bytes are discarded
        bool replaceErrors = false;  // a damaged byte becomes errorChar
        std::uint8_t errorChar = 0;
        // EV_RXFLAG is asked for: every byte that comes out is compared with eventChar.
        bool watchEventChar = false;
        std::uint8_t eventChar = 0;
    };

    // A new mode applies to bytes fed from now on; a mark left incomplete when marking ends
    // is passed on as the data it was.
    void SetMode(const Mode& mode, std::deque<std::uint8_t>& out);
    const Mode& CurrentMode() const { return mode_; }
    // Whether bytes pass through unchanged, so the filter can be skipped.
    bool Transparent() const {
        return !mode_.marked && !mode_.dropNul && !mode_.watchEventChar && pendingCount_ == 0;
    }
    // Whether the event character came out since the last call.
    bool TakeEventCharSeen() { return std::exchange(eventCharSeen_, false); }

    // Appends the bytes `raw` stands for to `out`.
    void Feed(std::span<const std::uint8_t> raw, std::deque<std::uint8_t>& out);
    // Forgets an incomplete mark, for an input purge.
    void Reset() { pendingCount_ = 0; }

  private:
    void Emit(std::uint8_t byte, std::deque<std::uint8_t>& out);

    Mode mode_;
    // 0: no mark open; 1: 0xFF seen; 2: 0xFF 0x00 seen.
    int pendingCount_ = 0;
    bool eventCharSeen_ = false;
};

}  // namespace platform::tty
