// The filter between the line discipline and the reader: error marks removed, damaged bytes
// replaced when asked, NULs dropped when asked, whatever way the bytes were split into reads.

#include "platform/comm/tty_input_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform::tty {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Filtered(const InputFilter::Mode& mode, const Bytes& raw, std::size_t split) {
    InputFilter filter;
    std::deque<std::uint8_t> out;
    filter.SetMode(mode, out);
    filter.Feed(std::span<const std::uint8_t>(raw.data(), split), out);
    filter.Feed(std::span<const std::uint8_t>(raw.data() + split, raw.size() - split), out);
    return Bytes(out.begin(), out.end());
}

struct FilterCase {
    const char* name;
    InputFilter::Mode mode;
    Bytes raw;
    Bytes expected;
};

class InputFilterTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(InputFilterTest, SameResultForEverySplit) {
    const FilterCase& c = GetParam();
    for (std::size_t split = 0; split <= c.raw.size(); ++split) {
        EXPECT_EQ(Filtered(c.mode, c.raw, split), c.expected) << c.name << ", split at " << split;
    }
}

constexpr InputFilter::Mode kMarked{true, false, false, 0};
constexpr InputFilter::Mode kMarkedReplacing{true, false, true, '?'};
constexpr InputFilter::Mode kDropNul{false, true, false, 0};
constexpr InputFilter::Mode kMarkedDropNul{true, true, false, 0};

INSTANTIATE_TEST_SUITE_P(
    Streams, InputFilterTest,
    ::testing::Values(
        FilterCase{"plain", {}, {0xFF, 0x00, 0x41, 0x0D}, {0xFF, 0x00, 0x41, 0x0D}},
        FilterCase{
            "doubled 0xFF is one data byte", kMarked, {0x41, 0xFF, 0xFF, 0x42}, {0x41, 0xFF, 0x42}},
        FilterCase{"damaged byte kept as received",
                   kMarked,
                   {0x41, 0xFF, 0x00, 0x37, 0x42},
                   {0x41, 0x37, 0x42}},
        FilterCase{
            "damaged byte replaced", kMarkedReplacing, {0xFF, 0x00, 0x37, 0x41}, {'?', 0x41}},
        FilterCase{
            "damaged 0xFF and NUL", kMarked, {0xFF, 0x00, 0xFF, 0xFF, 0x00, 0x00}, {0xFF, 0x00}},
        FilterCase{"run of data 0xFF", kMarked, {0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF}},
        FilterCase{"unknown sequence kept", kMarked, {0xFF, 0x41}, {0xFF, 0x41}},
        FilterCase{"NULs dropped", kDropNul, {0x00, 0x41, 0x00, 0x00, 0x42}, {0x41, 0x42}},
        FilterCase{"NULs dropped, marks still read",
                   kMarkedDropNul,
                   {0x00, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00},
                   {0x00, 0xFF}}));

TEST(InputFilterModeTest, UnfinishedMarkBecomesDataWhenMarkingEnds) {
    InputFilter filter;
    std::deque<std::uint8_t> out;
    filter.SetMode(kMarked, out);
    const Bytes raw = {0x41, 0xFF, 0x00};
    filter.Feed(raw, out);
    EXPECT_EQ(Bytes(out.begin(), out.end()), Bytes({0x41}));
    EXPECT_FALSE(filter.Transparent());
    filter.SetMode(InputFilter::Mode{}, out);
    EXPECT_EQ(Bytes(out.begin(), out.end()), Bytes({0x41, 0xFF, 0x00}));
    EXPECT_TRUE(filter.Transparent());
}

TEST(InputFilterModeTest, ResetForgetsAnUnfinishedMark) {
    InputFilter filter;
    std::deque<std::uint8_t> out;
    filter.SetMode(kMarked, out);
    const Bytes first = {0xFF};
    filter.Feed(first, out);
    filter.Reset();  // the input was purged
    const Bytes second = {0x00, 0x42};
    filter.Feed(second, out);
    // Without the reset the stale 0xFF would have made 0x42 a damaged byte and eaten the NUL.
    EXPECT_EQ(Bytes(out.begin(), out.end()), Bytes({0x00, 0x42}));
}

}  // namespace
}  // namespace platform::tty
