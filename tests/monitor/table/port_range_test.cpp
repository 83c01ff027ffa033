#include "monitor/table/port_range.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::uint32_t> Numbers(std::uint32_t first, std::uint32_t last) {
    std::vector<std::uint32_t> v;
    for (std::uint32_t n = first; n <= last; ++n) {
        v.push_back(n);
    }
    return v;
}

std::vector<std::uint32_t> Join(std::initializer_list<std::vector<std::uint32_t>> parts) {
    std::vector<std::uint32_t> v;
    for (const auto& p : parts) {
        v.insert(v.end(), p.begin(), p.end());
    }
    return v;
}

TEST(PortRangeTest, ParsesNumbersRunsAndRejectsMalformedTokens) {
    struct Case {
        std::string text;
        bool valid;
        std::vector<std::uint32_t> numbers;
    };
    const std::vector<Case> cases = {
        {"3-15,21,45,51-56,74", true, Join({Numbers(3, 15), {21, 45}, Numbers(51, 56), {74}})},
        {"7-3", true, {}},
        {"3 - 5", true, {3, 4, 5}},
        {" 3 , 4 ", true, {3, 4}},
        {"3-5-9", true, {3, 4, 5}},
        {"3*,4**", true, {3, 4}},
        {"007", true, {7}},
        {"1001", true, {1001}},
        {"5-5", true, {5}},
        // After a second "-" nothing is read, so the run's end is empty: 0.
        {"3--5", true, {}},
        {"3-", false, {}},
        {"-3", false, {}},
        {"--", false, {}},
        {"-", false, {}},
        {"3,,4", false, {3}},
        {"", false, {}},
        {"   ", false, {}},
        {"3,", false, {3}},
        {",3", false, {}},
        {"3;4", false, {}},
        {"1-2,x", false, {1, 2}},
        {"3\t4", false, {}},
        {"COM3", false, {}},
        // Numbers no port or driver code reaches are refused rather than run through.
        {"1-4294967295", false, {}},
        {"99999999999999999999", false, {}},
        {"99999", true, {99999}},
        {"100000", false, {}},
    };
    for (const Case& c : cases) {
        const PortRangeResult result = ParsePortRange(c.text);
        EXPECT_EQ(result.valid, c.valid) << '"' << c.text << '"';
        EXPECT_EQ(result.numbers, c.numbers) << '"' << c.text << '"';
    }
}

}  // namespace
