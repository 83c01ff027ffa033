// Received data arrives in blocks of whatever size the reads happened to return. Where the
// display's rules say a result must not depend on that, feed the same bytes split at every
// offset, at every pair of offsets and at random offsets, and compare with the bytes in one block.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/terminal/session/render_test_support.h"

namespace {

struct Start {
    const char* name;
    std::string text;
    long long caret;
};

const std::vector<Start>& Starts() {
    static const std::vector<Start> starts = {
        {"empty", "", 0},
        {"end", "first line\r\nsecond", 18},
        {"midText", "first line\r\nsecond\r\nthird", 3},
        {"lineStart", "ab\r\ncd\r\nef", 4},
        {"beforeLineBreak", "ab\r\ncd\r\nef", 6},
    };
    return starts;
}

std::vector<std::string> SplitAt(const std::string& bytes, const std::vector<std::size_t>& cuts) {
    std::vector<std::string> blocks;
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
        blocks.push_back(bytes.substr(from, cut - from));
        from = cut;
    }
    blocks.push_back(bytes.substr(from));
    return blocks;
}

// Compares every split of `bytes` with the whole block, from each start; returns the failures.
int CountSplitDifferences(const std::string& bytes, const RenderModes& modes,
                          const std::vector<Start>& starts, unsigned seed) {
    int failures = 0;
    std::mt19937 random(seed);
    for (const Start& start : starts) {
        const Screen whole = RenderBlocks(start.text, start.caret, start.caret, {bytes}, modes);
        auto check = [&](const std::vector<std::size_t>& cuts) {
            const Screen split =
                RenderBlocks(start.text, start.caret, start.caret, SplitAt(bytes, cuts), modes);
            if (split != whole && ++failures <= 5) {
                std::string where;
                for (const std::size_t cut : cuts)
                    where += std::to_string(cut) + " ";
                ADD_FAILURE() << "from " << start.name << ", cut at " << where << ": " << split
                              << " instead of " << whole;
            }
        };
        for (std::size_t i = 1; i < bytes.size(); ++i) {
            check({i});
            for (std::size_t j = i + 1; j < bytes.size(); ++j)
                check({i, j});
        }
        for (int trial = 0; trial < 50; ++trial) {
            std::vector<std::size_t> cuts;
            for (std::size_t i = 1; i < bytes.size(); ++i) {
                if (random() % 3 == 0)
                    cuts.push_back(i);
            }
            check(cuts);
        }
        // One byte at a time.
        std::vector<std::size_t> every;
        for (std::size_t i = 1; i < bytes.size(); ++i)
            every.push_back(i);
        check(every);
    }
    return failures;
}

std::string RandomBytes(std::mt19937& random, const std::string& alphabet, std::size_t length) {
    std::string bytes;
    for (std::size_t i = 0; i < length; ++i)
        bytes += alphabet[random() % alphabet.size()];
    return bytes;
}

// Text, line feeds and bytes shown as markers, in plain text. (A block with backspaces writes
// over only the text before the caret and inserts the rest, so there the blocks do matter; the
// table test pins those cases.)
TEST(RenderSplitTest, PlainTextDoesNotDependOnBlocks) {
    const std::vector<std::string> inputs = {
        "hello world\n\nab\xE9z\n",
        "ABC\n\nDEF",
        std::string("a\x00q\n\x01w", 6),
    };
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(CountSplitDifferences(inputs[i], {}, Starts(), 1 + i), 0);
    }
    std::mt19937 random(42);
    const std::string alphabet = std::string("ab\n\xE9", 4) + std::string(1, '\0');
    for (int n = 0; n < 12; ++n) {
        const std::string bytes = RandomBytes(random, alphabet, 18);
        SCOPED_TRACE(n);
        EXPECT_EQ(CountSplitDifferences(bytes, {}, Starts(), 100 + n), 0);
    }
}

// Lines ended by CR LF, written at the end of the display: the carriage return may come in a
// block of its own and the line feed in the next. (A carriage return alone written behind the
// end of the text is a line return, which a carriage return inside a block is not, so there
// the blocks do matter; a backspace here is always followed at once by the character that
// takes its place, as in an erase-and-retype.)
TEST(RenderSplitTest, CrLfLinesAtTheEndDoNotDependOnBlocks) {
    const std::vector<Start> atEnd = {{"empty", "", 0}, {"end", "first\r\nsecond", 13}};
    for (const bool lineFeeds : {false, true}) {
        SCOPED_TRACE(lineFeeds);
        RenderModes modes;
        modes.sendLineFeeds = lineFeeds;
        EXPECT_EQ(CountSplitDifferences("one\r\ntwo\r\n\r\nthref\be\r\n", modes, atEnd, 7), 0);
        std::mt19937 random(9);
        for (int n = 0; n < 8; ++n) {
            std::string bytes;
            for (int k = 0; k < 8; ++k) {
                const unsigned pick = random() % 4;
                bytes += pick == 0 ? "\r\n" : pick == 1 ? "q" : pick == 2 ? "x" : "yz";
            }
            SCOPED_TRACE(n);
            EXPECT_EQ(CountSplitDifferences(bytes, modes, atEnd, 200 + n), 0);
        }
    }
}

// With markers every byte is text, and a block without a backspace overwrites byte by byte.
TEST(RenderSplitTest, MarkersWithoutBackspaceDoNotDependOnBlocks) {
    RenderModes modes;
    modes.showCrLfBs = true;
    EXPECT_EQ(CountSplitDifferences("ab\r\ncd\rx\n\xE9\x01q", modes, Starts(), 3), 0);
}

// Hexadecimal text is appended whatever the caret and the bytes.
TEST(RenderSplitTest, HexDoesNotDependOnBlocks) {
    RenderModes modes;
    modes.hexDisplay = true;
    modes.showCrLfBs = true;
    std::string bytes;
    for (int value = 0; value < 256; value += 13)
        bytes += static_cast<char>(value);
    bytes += "\r\n\b\b\x7F\x80";
    EXPECT_EQ(CountSplitDifferences(bytes, modes, Starts(), 5), 0);
}

}  // namespace
