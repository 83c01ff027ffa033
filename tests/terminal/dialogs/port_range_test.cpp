#include "terminal/dialogs/port_range.h"

#include <gtest/gtest.h>

#include <numeric>
#include <optional>
#include <string>
#include <vector>

namespace {

std::vector<int> PortsFromTo(int first, int last) {
    std::vector<int> ports(static_cast<std::size_t>(last - first + 1));
    std::iota(ports.begin(), ports.end(), first);
    return ports;
}

std::vector<int> Join(std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Row {
    std::string text;
    std::optional<std::vector<int>> ports;  // nothing: the text is refused
};

TEST(RangeSpecTest, ParsesOrRefusesWholeTexts) {
    const std::string longRun(40, '9');
    const Row rows[] = {
        // Order and repeats are kept.
        {"3-15,21", Join(PortsFromTo(3, 15), {21})},
        {"21,3-15", Join({21}, PortsFromTo(3, 15))},
        {"5,5", std::vector<int>{5, 5}},
        {"3-15,21,45,51-56,74",
         Join(Join(Join(PortsFromTo(3, 15), {21, 45}), PortsFromTo(51, 56)), {74})},
        // Spaces anywhere and asterisks are dropped before reading.
        {"3 - 5 , 7", std::vector<int>{3, 4, 5, 7}},
        {"  12  ", std::vector<int>{12}},
        {"3*5", std::vector<int>{35}},
        {"*3,4*", std::vector<int>{3, 4}},
        // A run backwards is accepted and adds nothing; the first hyphen splits an item.
        {"9-4", std::vector<int>{}},
        {"9-4,2", std::vector<int>{2}},
        {"3-5-7", std::vector<int>{3, 4, 5}},
        {"3--5", std::vector<int>{}},
        {"3---5", std::vector<int>{}},
        {"5-5", std::vector<int>{5}},
        {"0", std::vector<int>{0}},
        {"007,0-2", std::vector<int>{7, 0, 1, 2}},
        // Malformed texts.
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"*", std::nullopt},
        {",3", std::nullopt},
        {"3,", std::nullopt},
        {"3,,4", std::nullopt},
        {"-3", std::nullopt},
        {"3-", std::nullopt},
        {"-", std::nullopt},
        {"3,-,4", std::nullopt},
        {"a", std::nullopt},
        {"3a", std::nullopt},
        {"3;4", std::nullopt},
        {"3-5,7,x", std::nullopt},  // earlier items are dropped too
        {"3\t4", std::nullopt},
        {"+3", std::nullopt},
        {"3,4\xC3\xA9", std::nullopt},
        // Limits: numbers beyond five digits and more than 1024 ports in all.
        {"99999", std::vector<int>{99999}},
        {"099999", std::vector<int>{99999}},
        {"100000", std::nullopt},
        {"99990-99999", PortsFromTo(99990, 99999)},
        {"99990-100000", std::nullopt},
        {"100000-5", std::nullopt},
        {"3--100000", std::nullopt},
        {"1-1024", PortsFromTo(1, 1024)},
        {"1-1025", std::nullopt},
        {"1-1000,2000-2023", Join(PortsFromTo(1, 1000), PortsFromTo(2000, 2023))},
        {"1-1000,2000-2023,7", std::nullopt},
        {"1-2147483647", std::nullopt},
        {"2147483647", std::nullopt},
        {"2147483648", std::nullopt},
        {"4294967299", std::nullopt},  // wraps onto 3 if read modulo 2^32
        {longRun, std::nullopt},
        {"1-" + longRun, std::nullopt},
        {longRun + "-1", std::nullopt},
        {"4-" + longRun + "1", std::nullopt},
    };
    for (const Row& row : rows) {
        std::vector<int> ports{-77};  // leftovers from an earlier OK must go
        const bool ok = ParseRangeSpec(row.text, ports);
        EXPECT_EQ(ok, row.ports.has_value()) << '"' << row.text << '"';
        EXPECT_EQ(ports, row.ports.value_or(std::vector<int>{})) << '"' << row.text << '"';
    }
}

TEST(RangeSpecTest, ExpandTokenCountsThePortsAlreadyListed) {
    struct TokenRow {
        std::size_t alreadyListed;
        const char* token;
        bool ok;
        std::size_t added;
    };
    const TokenRow rows[] = {
        {0, "4001-4003", true, 3}, {0, "-3", true, 4},  // before the hyphen no digits: 0..3
        {1023, "7", true, 1},      {1024, "7", false, 0},
        {1024, "9-4", true, 0},  // an empty run never counts
        {1020, "1-4", true, 4},    {1020, "1-5", false, 0},
        {5000, "1", false, 0},
    };
    for (const TokenRow& row : rows) {
        std::vector<int> ports(row.alreadyListed, 1);
        EXPECT_EQ(ExpandRangeToken(row.token, ports), row.ok) << row.token;
        EXPECT_EQ(ports.size(), row.alreadyListed + row.added) << row.token;
    }
}

TEST(RangeSpecTest, ExpandTokenAppendsAfterWhatIsThere) {
    std::vector<int> ports{9};
    ASSERT_TRUE(ExpandRangeToken("3-5-7", ports));
    ASSERT_TRUE(ExpandRangeToken("8", ports));
    EXPECT_EQ(ports, (std::vector<int>{9, 3, 4, 5, 8}));
}

}  // namespace
