#pragma once
// The text a port sends over and over when the user starts sending: a zero-terminated text at
// the start of a zeroed 8192-byte buffer, filled once when the port window is created.

#include <array>
#include <cstddef>
#include <string_view>

class TestPattern {
  public:
    static constexpr std::size_t kBufferSize = 8192;
    // Ten blocks of 26 lines "A", "AB", ... "A..Z", each ended by CR LF.
    static constexpr std::size_t kAlphabetLength = 4030;
    // 130 lines of 26 copies of the continuous character, each ended by CR LF.
    static constexpr std::size_t kContinuousLength = 3640;

    // The alphabet blocks, or the continuous character's lines when one was given.
    TestPattern(bool continuousCharacter, char character);

    const char* Data() const { return buffer_.data(); }
    std::size_t Length() const { return length_; }
    std::string_view Text() const { return {buffer_.data(), length_}; }

  private:
    std::array<char, kBufferSize> buffer_{};
    std::size_t length_ = 0;
};
