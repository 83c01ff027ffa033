#include "terminal/session/test_pattern.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Every byte after the text, to the end of the 8192-byte buffer, is zero.
void ExpectZeroTail(const TestPattern& pattern) {
    const char* data = pattern.Data();
    std::size_t nonZero = 0;
    for (std::size_t i = pattern.Length(); i < TestPattern::kBufferSize; ++i) {
        if (data[i] != '\0')
            ++nonZero;
    }
    EXPECT_EQ(nonZero, 0u);
}

TEST(TestPatternTest, AlphabetBlocks) {
    const TestPattern pattern(false, 'Q');
    ASSERT_EQ(pattern.Length(), TestPattern::kAlphabetLength);
    EXPECT_EQ(pattern.Length(), 4030u);
    EXPECT_EQ(std::strlen(pattern.Data()), pattern.Length());
    ExpectZeroTail(pattern);

    std::string block;
    for (int k = 1; k <= 26; ++k) {
        block += std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZ", k) + "\r\n";
    }
    ASSERT_EQ(block.size(), 403u);
    const std::string_view text = pattern.Text();
    for (std::size_t at = 0; at < text.size(); at += block.size()) {
        EXPECT_EQ(text.substr(at, block.size()), block) << "block at " << at;
    }
    EXPECT_TRUE(text.starts_with("A\r\nAB\r\n"));
    EXPECT_TRUE(text.ends_with("\r\nABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n"));
}

TEST(TestPatternTest, ContinuousCharacterLines) {
    for (const char c : {'A', 'H', 'Z', '[', 'z'}) {
        SCOPED_TRACE(c);
        const TestPattern pattern(true, c);
        ASSERT_EQ(pattern.Length(), TestPattern::kContinuousLength);
        EXPECT_EQ(pattern.Length(), 3640u);
        EXPECT_EQ(std::strlen(pattern.Data()), pattern.Length());
        ExpectZeroTail(pattern);

        const std::string line = std::string(26, c) + "\r\n";
        const std::string_view text = pattern.Text();
        std::size_t lines = 0;
        for (std::size_t at = 0; at < text.size(); at += line.size(), ++lines) {
            EXPECT_EQ(text.substr(at, line.size()), line) << "line " << lines;
        }
        EXPECT_EQ(lines, 130u);
    }
}

}  // namespace
