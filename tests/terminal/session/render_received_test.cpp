#include "terminal/session/render_received.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "terminal/session/view_flags.h"
#include "tests/terminal/session/render_test_support.h"

namespace {

constexpr RenderModes kPlain{};
constexpr RenderModes kMarkers{true, false, false};
constexpr RenderModes kHex{false, true, false};
constexpr RenderModes kHexAndMarkers{true, true, false};
constexpr RenderModes kLineFeeds{false, false, true};

struct RenderCase {
    const char* name;
    std::string text;  // the display before the blocks
    long long selStart;
    long long selEnd;
    RenderModes modes;
    std::vector<std::string> blocks;
    Screen expected;
};

void PrintTo(const RenderCase& c, std::ostream* os) {
    *os << c.name;
}

class RenderReceivedTable : public ::testing::TestWithParam<RenderCase> {};

TEST_P(RenderReceivedTable, GivesTheExpectedScreen) {
    const RenderCase& c = GetParam();
    EXPECT_EQ(RenderBlocks(c.text, c.selStart, c.selEnd, c.blocks, c.modes), c.expected);
}

const std::string kLong(20, 'x');

INSTANTIATE_TEST_SUITE_P(
    Modes, RenderReceivedTable,
    ::testing::Values(
        // Plain text: the CR gives nothing, the LF a line break.
        RenderCase{"PlainLineBreak", "", 0, 0, kPlain, {"AB\r\nCD"}, Caret("AB\r\nCD", 6)},
        RenderCase{"PlainAppends", "12", 2, 2, kPlain, {"ab", "c"}, Caret("12abc", 5)},
        RenderCase{"PlainCrInsideBlock", "XY", 2, 2, kPlain, {"A\rB"}, Caret("XYAB", 4)},
        RenderCase{"PlainLoneLf", "A", 1, 1, kPlain, {"\n"}, Caret("A\r\n", 3)},
        RenderCase{"MarkersLineBreak", "", 0, 0, kMarkers, {"A\r\n"}, Caret("A<CR>\r\n<LF>", 11)},
        RenderCase{"MarkersCrAloneIsText", "HELLO", 5, 5, kMarkers, {"\r"}, Caret("HELLO<CR>", 9)},
        RenderCase{"MarkersOverwrite", "abcdefgh", 0, 0, kMarkers, {"\r"}, Caret("<CR>bcdefgh", 4)},
        // A block with a backspace is inserted at the caret when markers are shown.
        RenderCase{
            "MarkersBackspaceInserts", "HELLO", 2, 2, kMarkers, {"\bX"}, Caret("HE<BS>XLLO", 7)},
        RenderCase{"MarkersSingleBackspace", "AB", 2, 2, kMarkers, {"\b"}, Caret("AB<BS>", 6)},
        // Hexadecimal text is appended at the end wherever the caret is.
        RenderCase{"HexAppendsAtEnd", "XYZ", 0, 0, kHex, {"A\r\n"}, Caret("XYZ 41 0D 0A", 12)},
        RenderCase{"HexIgnoresSelection", "XYZ", 1, 2, kHex, {"A"}, Caret("XYZ 41", 6)},
        RenderCase{"HexBackspace", "", 0, 0, kHex, {"\bC"}, Caret(" 08 43", 6)},
        RenderCase{"HexBoundaryBytes",
                   "",
                   0,
                   0,
                   kHex,
                   {std::string("\x00\x7F\x80\xFF", 4)},
                   Caret(" 00 7F 80 FF", 12)},
        RenderCase{"HexWinsOverMarkers", "", 0, 0, kHexAndMarkers, {"\r\n"}, Caret(" 0D 0A", 6)},
        RenderCase{"HexCrAloneIsText", "AB", 0, 0, kHex, {"\r"}, Caret("AB 0D", 5)},
        // Bytes that are not shown as themselves, taken unsigned.
        RenderCase{"PlainHighByte", "", 0, 0, kPlain, {"\xE9"}, Caret("<0xE9>", 6)},
        RenderCase{"PlainBoundaryBytes",
                   "",
                   0,
                   0,
                   kPlain,
                   {std::string("\x00\x1F\x20\x7F\x80\xFF", 6)},
                   Caret("<0x00><0x1F> \x7F<0x80><0xFF>", 26)},
        RenderCase{"MarkersHighByte", "", 0, 0, kMarkers, {"\xE9\x01"}, Caret("<0xE9><0x01>", 12)},
        // A block of carriage returns only goes back to the start of the line.
        RenderCase{"ReturnThenOverwrite", "HELLO", 5, 5, kPlain, {"\r", "J"}, Caret("JELLO", 1)},
        RenderCase{"ReturnToSecondLine",
                   "ONE\r\nTWO",
                   8,
                   8,
                   kPlain,
                   {"\r\r", "Z"},
                   Caret("ONE\r\nZWO", 6)},
        RenderCase{"ReturnAtLineStart", "ONE\r\n", 5, 5, kPlain, {"\r"}, Caret("ONE\r\n", 5)},
        RenderCase{
            "ReturnWithLineFeeds", "HELLO", 5, 5, kLineFeeds, {"\r", "J"}, Caret("HELLO\r\nJ", 8)},
        RenderCase{"ReturnWithLineFeedsToNextLine",
                   "ONE\r\nTWO",
                   1,
                   1,
                   kLineFeeds,
                   {"\r", "X"},
                   Caret("ONE\r\nXWO", 6)},
        RenderCase{"ReturnEmptyDisplay", "", 0, 0, kPlain, {"\r"}, Caret("", 0)},
        RenderCase{
            "ReturnAndBackspaceAtZero", "AB", 0, 0, kLineFeeds, {"\r\b"}, Caret("AB\r\n", 4)},
        // Overwriting stops before a line break and inserts from there.
        RenderCase{
            "OverwriteStopsAtLineBreak", "A\r\nB", 0, 0, kPlain, {"XY"}, Caret("XY\r\nB", 2)},
        RenderCase{"OverwriteLongStopsAtLineBreak",
                   "ab\r\ncd",
                   0,
                   0,
                   kPlain,
                   {"WXYZ"},
                   Caret("WXYZ\r\ncd", 4)},
        RenderCase{
            "OverwriteWithLineFeed", "abcdef", 0, 0, kPlain, {"X\nY"}, Caret("X\r\nYdef", 4)},
        RenderCase{"OverwriteRunsPastEnd", "abc", 1, 1, kPlain, {"WXYZ"}, Caret("aWXYZ", 5)},
        RenderCase{"OverwriteMarkerTakesOneCharacter",
                   "abcd",
                   1,
                   1,
                   kPlain,
                   {"\x01"},
                   Caret("a<0x01>cd", 7)},
        // Every byte of a block takes up a character, a CR too.
        RenderCase{"OverwriteCountsCr", "abcdef", 0, 0, kPlain, {"A\rB"}, Caret("ABdef", 2)},
        RenderCase{"SelectionCollapsesToStart", "HELLO", 1, 4, kPlain, {"ab"}, Caret("HabLO", 3)},
        // Backspaces.
        RenderCase{"SingleBackspaceMovesCaret", "ABC", 3, 3, kPlain, {"\b"}, Caret("ABC", 2)},
        RenderCase{
            "SingleBackspaceThenOverwrite", "ABC", 3, 3, kPlain, {"\b", "x"}, Caret("ABx", 3)},
        RenderCase{"BackspaceAtStart", "ABC", 0, 0, kPlain, {"\b"}, Caret("ABC", 0)},
        RenderCase{"BackspacesInBlock", "ABC", 3, 3, kPlain, {"\b\bxy"}, Caret("Axy", 3)},
        RenderCase{"EraseIdiom", "abc", 3, 3, kPlain, {"\b \b", "d"}, Caret("abd", 3)},
        RenderCase{"BackspacesOnly", "ABCD", 4, 4, kPlain, {"\b\b\b"}, Caret("ABCD", 1)},
        RenderCase{"MoreBackspacesThanText", "AB", 2, 2, kPlain, {"\b\b\b\bX"}, Caret("XB", 1)},
        RenderCase{"BackspaceOverOwnText", "", 0, 0, kPlain, {"XY\b\bZ"}, Caret("ZY", 1)},
        // A block with backspaces writes over the text before the caret that its backspaces
        // reach; what it writes past the caret is inserted, so the text after the caret stays.
        RenderCase{"BackspaceMidText", "ABCDE", 3, 3, kPlain, {"\bXY"}, Caret("ABXYDE", 4)},
        RenderCase{"BackspaceAndReturnMidText", "HELLO", 2, 2, kPlain, {"\r\b"}, Caret("HELLO", 1)},
        RenderCase{"BackspaceWithReturnInBlockKeepsFollowingText",
                   "ABCDEF",
                   4,
                   4,
                   kPlain,
                   {"\bX\rY"},
                   Caret("ABCXYEF", 5)},
        RenderCase{"BackspaceMarkerInBlock", "ab", 2, 2, kPlain, {"\b\xE9"}, Caret("a<0xE9>", 7)},
        // A line break is one step for a backspace and is never split.
        RenderCase{
            "BackspaceOverLineBreak", "AB\r\n", 4, 4, kPlain, {"\b", "x"}, Caret("ABx\r\n", 3)},
        RenderCase{"BackspacesOverLineBreakInBlock",
                   "AB\r\n",
                   4,
                   4,
                   kPlain,
                   {"\b\bX"},
                   Caret("AX\r\n", 2)},
        RenderCase{"BackspaceOverNewLineBreak", "", 0, 0, kPlain, {"A\n\bB"}, Caret("AB\r\n", 2)},
        // A carriage return alone and the line feed as the next block still end the line.
        RenderCase{"SplitCrLf", "A", 1, 1, kPlain, {"\r", "\nB"}, Caret("A\r\nB", 4)},
        RenderCase{
            "SplitCrCrLf", "HELLO", 5, 5, kPlain, {"\r", "\r", "\r\nX"}, Caret("HELLO\r\nX", 8)},
        RenderCase{"SplitCrLfWithLineFeeds",
                   "HELLO",
                   5,
                   5,
                   kLineFeeds,
                   {"\r", "\n", "X"},
                   Caret("HELLO\r\nX", 8)},
        RenderCase{
            "SplitCrLfOnlyLfWithLineFeeds", "A", 1, 1, kLineFeeds, {"\r", "\n"}, Caret("A\r\n", 3)},
        RenderCase{"CrEndsBlockLfStartsNext", "", 0, 0, kPlain, {"A\r", "\nB"}, Caret("A\r\nB", 4)},
        // Status texts and event markers follow the mode.
        RenderCase{"StatusTextPlain",
                   "",
                   0,
                   0,
                   kPlain,
                   {"Halvo2 Can't open the port!\r\n"},
                   Caret("Halvo2 Can't open the port!\r\n", 29)},
        RenderCase{"StatusTextMarkers",
                   "",
                   0,
                   0,
                   kMarkers,
                   {"Halvo2 Can't open the port!\r\n"},
                   Caret("Halvo2 Can't open the port!<CR>\r\n<LF>", 37)},
        RenderCase{
            "EventMarkerHex", "", 0, 0, kHex, {"<EV_ERR>"}, Caret(" 3C 45 56 5F 45 52 52 3E", 24)},
        RenderCase{"EmptyBlock", "AB", 1, 1, kPlain, {""}, Caret("AB", 1)}),
    [](const ::testing::TestParamInfo<RenderCase>& info) { return std::string(info.param.name); });

// The line feed after a lone carriage return only ends the line while the display is as the
// carriage return left it; a caret the user moved in between is where the line feed goes.
TEST(RenderReceivedTest, LineFeedAfterMovedCaretWritesAtTheCaret) {
    DisplayBuffer display;
    Prepare(display, "HELLO", 5, 5);
    Feed(display, "\r", kPlain);
    display.SetSel(2, 2);
    Feed(display, "\n", kPlain);
    EXPECT_EQ(ReadScreen(display), Caret("HE\r\nLO", 4));
}

TEST(RenderReceivedTest, LineFeedAfterOtherTextIsNotTakenAsLineEnd) {
    DisplayBuffer display;
    Prepare(display, "HELLO", 5, 5);
    Feed(display, "\r", kPlain);
    Feed(display, "J", kPlain);
    Feed(display, "\n", kPlain);
    EXPECT_EQ(ReadScreen(display), Caret("J\r\nLLO", 3));
}

struct LimitCase {
    const char* name;
    std::size_t filled;  // characters in the display, the caret at `caret`
    std::size_t caret;
    RenderModes modes;
    std::string block;
    std::size_t expectedLength;
};

void PrintTo(const LimitCase& c, std::ostream* os) {
    *os << c.name;
}

class RenderLimitTable : public ::testing::TestWithParam<LimitCase> {};

TEST_P(RenderLimitTable, FullDisplayEmptiesItself) {
    const LimitCase& c = GetParam();
    DisplayBuffer display;
    Prepare(display, std::string(c.filled, 'a'), static_cast<long long>(c.caret),
            static_cast<long long>(c.caret));
    display.TakeChanges();
    Feed(display, c.block, c.modes);
    const DisplayBuffer::Changes changes = display.TakeChanges();
    EXPECT_EQ(display.GetTextLength(), c.expectedLength);
    EXPECT_EQ(changes.emptiedWhenFull, c.expectedLength == 0);
    if (c.expectedLength == 0) {
        // The next block starts an empty display.
        Feed(display, "xyz", c.modes);
        EXPECT_EQ(display.GetText(), c.modes.hexDisplay ? " 78 79 7A" : "xyz");
    }
}

constexpr std::size_t kLimit = DisplayBuffer::kTextLimit;

INSTANTIATE_TEST_SUITE_P(
    Limit, RenderLimitTable,
    ::testing::Values(
        LimitCase{"OneBelowTakesOne", kLimit - 1, kLimit - 1, kPlain, "b", kLimit},
        LimitCase{"OneBelowTakesNotTwo", kLimit - 1, kLimit - 1, kPlain, "bc", 0},
        LimitCase{"AtLimitTakesNothing", kLimit, kLimit, kPlain, "b", 0},
        LimitCase{"AtLimitOverwriteSameLength", kLimit, 0, kPlain, "XY", kLimit},
        LimitCase{"AtLimitOverwriteLonger", kLimit, 0, kPlain, "\x01", 0},
        LimitCase{"AtLimitBackspaceOverwrite", kLimit, kLimit, kPlain, "\bZ", kLimit},
        LimitCase{"LineBreakDoesNotFit", kLimit - 1, kLimit - 1, kPlain, "\n", 0},
        LimitCase{"LineBreakFits", kLimit - 2, kLimit - 2, kPlain, "\n", kLimit},
        LimitCase{"HexFits", kLimit - 3, 0, kHex, "A", kLimit},
        LimitCase{"HexDoesNotFit", kLimit - 2, 0, kHex, "A", 0},
        LimitCase{"ReturnWithLineFeedsDoesNotFit", kLimit - 1, kLimit - 1, kLineFeeds, "\r", 0},
        LimitCase{"ReturnWithoutLineFeedsFits", kLimit, kLimit, kPlain, "\r", kLimit}),
    [](const ::testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

TEST(RenderReceivedTest, FullDisplayDropsTheRestOfTheBlock) {
    DisplayBuffer display;
    Prepare(display, std::string(kLimit - 1, 'a'), kLimit - 1, kLimit - 1);
    Feed(display, "\b\bxyzw", kPlain);
    EXPECT_EQ(ReadScreen(display), Caret("", 0));
}

// The entry point of the port: -1 takes a zero-terminated text, the flags are the process's.
TEST(RenderReceivedTest, EntryPointReadsLengthRuleAndProcessFlags) {
    DisplayFlags& flags = ProcessDisplayFlags();
    const bool hex = flags.hexDisplay;
    const bool markers = flags.showCrLfBs;
    DisplayBuffer display;
    flags.hexDisplay = false;
    flags.showCrLfBs = false;
    RenderReceived(display, "<EV_BREAK>", -1);
    RenderReceived(display, "ignored", 0);
    RenderReceived(display, "ignored", -2);
    RenderReceived(display, nullptr, 4);
    RenderReceived(display, "AB\0CD", 5);
    flags.hexDisplay = true;
    RenderReceived(display, "\xFF", -1);
    flags.hexDisplay = hex;
    flags.showCrLfBs = markers;
    EXPECT_EQ(display.GetText(), "<EV_BREAK>AB<0x00>CD FF");
}

}  // namespace
