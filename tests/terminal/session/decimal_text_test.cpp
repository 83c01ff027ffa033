#include "terminal/session/decimal_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

namespace {

TEST(DecimalTextTest, LeadingDecimalReadsAsAtoiWithoutOverflow) {
    struct Row {
        const char* text;
        int value;
    };
    const Row rows[] = {
        {"", 0},
        {"ABC", 0},
        {"/MAX", 0},
        {" \t\n42x", 42},
        {"-17", -17},
        {"+5", 5},
        {"- 5", 0},
        {"1.5", 1},
        {"007", 7},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"99999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(LeadingDecimalValue(row.text), row.value) << '"' << row.text << '"';
    }
}

TEST(DecimalTextTest, WholeDecimalLimits) {
    EXPECT_EQ(WholeDecimalValue("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(WholeDecimalValue("-9223372036854775808"), INT64_MIN);
    EXPECT_FALSE(WholeDecimalValue("9223372036854775808").has_value());
    EXPECT_FALSE(WholeDecimalValue("-9223372036854775809").has_value());
    EXPECT_FALSE(WholeDecimalValue("-").has_value());
    EXPECT_EQ(WholeDecimalValue("-0"), 0);
}

}  // namespace
