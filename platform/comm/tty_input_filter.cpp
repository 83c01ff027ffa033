#include "platform/comm/tty_input_filter.h"

namespace platform::tty {

void InputFilter::Emit(std::uint8_t byte, std::deque<std::uint8_t>& out) {
    if (byte == 0 && mode_.dropNul) {
        return;
    }
    eventCharSeen_ = eventCharSeen_ || (mode_.watchEventChar && byte == mode_.eventChar);
    out.push_back(byte);
}

void InputFilter::SetMode(const Mode& mode, std::deque<std::uint8_t>& out) {
    if (mode_.marked && !mode.marked) {
        // What was read as the start of a mark was data after all.
        if (pendingCount_ >= 1) {
            Emit(0xFF, out);
        }
        if (pendingCount_ == 2) {
            Emit(0x00, out);
        }
        pendingCount_ = 0;
    }
    mode_ = mode;
}

void InputFilter::Feed(std::span<const std::uint8_t> raw, std::deque<std::uint8_t>& out) {
    for (std::uint8_t byte : raw) {
        if (!mode_.marked) {
            Emit(byte, out);
            continue;
        }
        switch (pendingCount_) {
            case 0:
                if (byte == 0xFF) {
                    pendingCount_ = 1;
                } else {
                    Emit(byte, out);
                }
                break;
            case 1:
                if (byte == 0xFF) {
                    Emit(0xFF, out);  // a doubled 0xFF is one data byte
                    pendingCount_ = 0;
                } else if (byte == 0x00) {
                    pendingCount_ = 2;
                } else {
                    // Not a mark the line discipline writes; keep both bytes as data.
                    Emit(0xFF, out);
                    Emit(byte, out);
                    pendingCount_ = 0;
                }
                break;
            default: {
                // The byte that arrived with a parity or framing error.
                // It is kept even when it is a NUL: the error must not vanish with the byte.
                const std::uint8_t kept = mode_.replaceErrors ? mode_.errorChar : byte;
                eventCharSeen_ =
                    eventCharSeen_ || (mode_.watchEventChar && kept == mode_.eventChar);
                out.push_back(kept);
                pendingCount_ = 0;
                break;
            }
        }
    }
}

}  // namespace platform::tty
