#include "monitor/stats/derived_values.h"

#include <gtest/gtest.h>

#include "monitor/records/report_settings.h"

namespace {

TEST(TotalErrors, SumsTheThreeCountsWithoutWrappingAt16Bits) {
    PortStatistics s;
    s.OverrunErrors = 65535;
    s.FramingErrors = 65535;
    s.ParityErrors = 2;
    EXPECT_EQ(TotalErrors(s), 131072u);
}

TEST(ActualThroughput, BitsPerSecondOverTheBusyDirections) {
    struct Row {
        const char* what;
        std::uint32_t tx;
        std::uint32_t rx;
        int pollMs;
        std::uint32_t expected;
    } rows[] = {
        {"one direction, 2 s", 2000, 0, 2000, 10000},
        {"both directions share the interval", 2000, 2000, 2000, 10000},
        {"uneven directions", 3000, 1000, 2000, 10000},
        {"idle line", 0, 0, 2000, 0},
        {"partial seconds are dropped", 1500, 0, 1999, 15000},
        {"polling interval under a second", 1000, 1000, 500, 0},
        {"polling off", 1000, 0, 0, 0},
        {"negative interval", 1000, 0, -2000, 0},
        {"no 32-bit wrap of the sum", 0xF0000000u, 0xF0000000u, 120000, 0x3C000000u / 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        PortStatistics s;
        s.TxDelta = row.tx;
        s.RxDelta = row.rx;
        EXPECT_EQ(ActualThroughput(s, row.pollMs), row.expected);
    }
}

TEST(LeadingNumber, ReadsLeadingDigitsOnly) {
    struct Row {
        const char* text;
        int value;
    } rows[] = {
        {"30", 30},
        {"", 0},
        {"abc", 0},
        {"15 minutes", 15},
        {" 5", 0},
        {"-5", 0},
        {"007", 7},
        {"2147483647", 2147483647},
        {"99999999999999", 2147483647},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(LeadingNumber(row.text), row.value) << '"' << row.text << '"';
    }
}

}  // namespace
