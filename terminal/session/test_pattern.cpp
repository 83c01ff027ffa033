#include "terminal/session/test_pattern.h"

namespace {

constexpr int kLetters = 26;
constexpr int kAlphabetBlocks = 10;
constexpr int kContinuousLines = 130;

}  // namespace

TestPattern::TestPattern(bool continuousCharacter, char character) {
    std::size_t at = 0;
    auto endLine = [&] {
        buffer_[at++] = '\r';
        buffer_[at++] = '\n';
    };
    if (continuousCharacter) {
        for (int line = 0; line < kContinuousLines; ++line) {
            for (int i = 0; i < kLetters; ++i)
                buffer_[at++] = character;
            endLine();
        }
    } else {
        for (int block = 0; block < kAlphabetBlocks; ++block) {
            for (int k = 1; k <= kLetters; ++k) {
                for (int i = 0; i < k; ++i)
                    buffer_[at++] = static_cast<char>('A' + i);
                endLine();
            }
        }
    }
    // The rest of the buffer is still zero, the terminator included.
    buffer_[at] = '\0';
    length_ = at;
}
