#include "monitor/table/columns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "monitor/table/reset_statistics.h"

namespace {

std::string Cell(int kind, const RawPortCounters& raw, const PortStatistics& stats,
                 int pollMs = 1000, std::string_view label = "COM3") {
    std::array<char, kMaxCellText> out{};
    const std::size_t n = FormatCell(kind, label, raw, stats, CellContext{pollMs}, out);
    return std::string(out.data(), n);
}

struct FormatCase {
    int kind;
    void (*fill)(RawPortCounters&, PortStatistics&);
    std::string text;
};

TEST(ColumnsTest, EveryKindShowsItsValueInItsFormat) {
    using R = RawPortCounters;
    using S = PortStatistics;
    const std::vector<FormatCase> cases = {
        {0, [](R&, S&) {}, "COM3"},
        {1, [](R& r, S&) { r.statusFlags = STATUS_PORT_OPEN; }, "OPEN"},
        {1, [](R& r, S&) { r.statusFlags = 0xFEFF; }, "CLOSED"},
        {2, [](R& r, S&) { r.statusFlags = STATUS_PORT_OPEN | STATUS_CTS; }, "ON"},
        // A line flag of a closed port means nothing.
        {2, [](R& r, S&) { r.statusFlags = STATUS_CTS; }, "OFF"},
        {2, [](R& r, S&) { r.statusFlags = STATUS_PORT_OPEN | 0x00DF; }, "OFF"},
        {3, [](R& r, S&) { r.statusFlags = STATUS_PORT_OPEN | STATUS_DSR; }, "ON"},
        {3, [](R& r, S&) { r.statusFlags = STATUS_PORT_OPEN | 0x00EF; }, "OFF"},
        {4, [](R& r, S&) { r.statusFlags = STATUS_PORT_OPEN | STATUS_CD; }, "ON"},
        {4, [](R& r, S&) { r.statusFlags = STATUS_PORT_OPEN | 0x00F7; }, "OFF"},
        {5, [](R& r, S&) { r.statusFlags = STATUS_PORT_OPEN | STATUS_RTS; }, "ON"},
        {5, [](R& r, S&) { r.statusFlags = STATUS_PORT_OPEN | 0x00FD; }, "OFF"},
        {6, [](R& r, S&) { r.statusFlags = STATUS_PORT_OPEN | STATUS_DTR; }, "ON"},
        {6, [](R& r, S&) { r.statusFlags = STATUS_PORT_OPEN | 0x00FE; }, "OFF"},
        // 960 characters in one second at ten bits each.
        {7, [](R&, S& s) { s.TxDelta = 960; }, "9600*$"},
        {7, [](R&, S&) {}, "0*$"},
        {8, [](R&, S& s) { s.TxTotal = 4294967295u; }, "4294967295"},
        {9, [](R&, S& s) { s.RxTotal = 17; }, "17"},
        {10, [](R&, S& s) { s.OverrunErrors = s.FramingErrors = s.ParityErrors = 65535; },
         "196605"},
        {11, [](R&, S& s) { s.OverrunErrors = 65535; }, "65535"},
        {12, [](R&, S& s) { s.FramingErrors = 2; }, "2"},
        {13, [](R&, S& s) { s.ParityErrors = 3; }, "3"},
        {14, [](R& r, S&) { r.statusFlags = 0x0139; }, "313"},
        {15, [](R& r, S&) { r.txPackets = 65535; }, "65535"},
        {16, [](R& r, S&) { r.rxPackets = 6; }, "6"},
        {17, [](R& r, S&) { r.txTotalRaw = 4000000000u; }, "4000000000"},
        {18, [](R& r, S&) { r.rxTotalRaw = 8; }, "8"},
        {19, [](R& r, S&) { r.overrunErrorsRaw = 9; }, "9"},
        {20, [](R& r, S&) { r.framingErrorsRaw = 10; }, "10"},
        {21, [](R& r, S&) { r.parityErrorsRaw = 11; }, "11"},
        {22, [](R&, S& s) { s.TxCPSInst = 22; }, "22"},
        {23, [](R&, S& s) { s.RxCPSInst = 23; }, "23"},
        {24, [](R&, S& s) { s.TxCPSMinute = 24; }, "24"},
        {25, [](R&, S& s) { s.RxCPSMinute = 25; }, "25"},
        {26, [](R&, S& s) { s.TxCPSMinuteAvMax = 26; }, "26"},
        {27, [](R&, S& s) { s.TxCPSHourAvMax = 27; }, "27"},
        {28, [](R&, S& s) { s.TxCPSDayAvMax = 28; }, "28"},
        {29, [](R&, S& s) { s.RxCPSMinuteAvMax = 29; }, "29"},
        {30, [](R&, S& s) { s.RxCPSHourAvMax = 30; }, "30"},
        {31, [](R&, S& s) { s.RxCPSDayAvMax = 31; }, "31"},
        {32, [](R&, S& s) { s.TxMinuteCnt = 32; }, "32"},
        {33, [](R&, S& s) { s.TxHourCnt = 33; }, "33"},
        {34, [](R&, S& s) { s.TxDayCnt = 34; }, "34"},
        {35, [](R&, S& s) { s.RxMinuteCnt = 35; }, "35"},
        {36, [](R&, S& s) { s.RxHourCnt = 36; }, "36"},
        {37, [](R&, S& s) { s.RxDayCnt = 37; }, "37"},
        {38, [](R&, S& s) { s.TxMinuteCntWrk = 38; }, "38"},
        {39, [](R&, S& s) { s.TxHourCntWrk = 39; }, "39"},
        {40, [](R&, S& s) { s.TxDayCntWrk = 40; }, "40"},
        {41, [](R&, S& s) { s.RxMinuteCntWrk = 41; }, "41"},
        {42, [](R&, S& s) { s.RxHourCntWrk = 42; }, "42"},
        {43, [](R&, S& s) { s.RxDayCntWrk = 43; }, "43"},
        {44, [](R&, S& s) { s.TxCPSMinuteAvMaxWrk = 44; }, "44"},
        {45, [](R&, S& s) { s.TxCPSHourAvMaxWrk = 45; }, "45"},
        {46, [](R&, S& s) { s.TxCPSDayAvMaxWrk = 46; }, "46"},
        {47, [](R&, S& s) { s.RxCPSMinuteAvMaxWrk = 47; }, "47"},
        {48, [](R&, S& s) { s.RxCPSHourAvMaxWrk = 48; }, "48"},
        {49, [](R&, S& s) { s.RxCPSDayAvMaxWrk = 49; }, "49"},
        {50, [](R&, S& s) { s.CDRuns = 50; }, "50"},
        {51, [](R&, S& s) { s.CDDayRuns = 51; }, "51"},
        {52, [](R&, S& s) { s.CDDayRunsWrk = 52; }, "52"},
        // Milliseconds: 1 h 2 min 3.999 s shows whole seconds.
        {53, [](R&, S& s) { s.CDRunTime = 3723999; }, "1:02:03"},
        {53, [](R&, S& s) { s.CDRunTime = 999; }, "0:00:00"},
        {53, [](R&, S& s) { s.CDRunTime = 4294967295u; }, "1193:02:47"},
        {54, [](R&, S& s) { s.CDHourRunTime = 3599; }, "0:59:59"},
        {55, [](R&, S& s) { s.CDDayRunTime = 90061; }, "25:01:01"},
        {55, [](R&, S& s) { s.CDDayRunTime = 4294967295u; }, "1193046:28:15"},
        {56, [](R&, S& s) { s.CDHourRunTimeWrk = 61000; }, "0:01:01"},
        {57, [](R&, S& s) { s.CDDayRunTimeWrk = 86400; }, "24:00:00"},
    };
    for (const FormatCase& c : cases) {
        RawPortCounters raw;
        PortStatistics stats;
        c.fill(raw, stats);
        EXPECT_EQ(Cell(c.kind, raw, stats), c.text) << "kind " << c.kind;
    }
}

TEST(ColumnsTest, EachValueKindReadsOnlyItsOwnField) {
    // Every other field set to a marker value: a kind reading a neighbouring field shows it.
    RawPortCounters raw{111111, 222222, 3333, 4444, 5555, 6666, 7777, 0};
    PortStatistics stats;
    for (int kind = 8; kind < kColumnKindCount; ++kind) {
        const ColumnInfo& column = Column(kind);
        if (column.format != CellFormat::Decimal) {
            continue;
        }
        PortStatistics s = stats;
        RawPortCounters r = raw;
        const std::string before = Cell(kind, r, s);
        if (column.statistics32 != nullptr) {
            s.*column.statistics32 += 1;
        } else if (column.statistics16 != nullptr) {
            s.*column.statistics16 += 1;
        } else if (column.raw32 != nullptr) {
            r.*column.raw32 += 1;
        } else {
            ASSERT_NE(column.raw16, nullptr) << kind;
            r.*column.raw16 += 1;
        }
        EXPECT_EQ(std::stoull(Cell(kind, r, s)), std::stoull(before) + 1) << "kind " << kind;
    }
}

TEST(ColumnsTest, ThroughputIsZeroWhilePollingIsOff) {
    PortStatistics stats;
    stats.TxDelta = 5000;
    EXPECT_EQ(Cell(kActualThroughputKind, {}, stats, 0), "0*$");
    EXPECT_EQ(Cell(kActualThroughputKind, {}, stats, 2000), "25000*$");
}

TEST(ColumnsTest, NamesAndWidthsFollowTheWidthRule) {
    const std::vector<std::string_view> narrow = {
        "Port Name",   "TxTotal",     "RxTotal",     "Total Errors", "ParityErrors", "Status Flags",
        "TxPackets",   "RxPackets",   "TxTotalRaw",  "RxTotalRaw",   "TxCPSInst",    "RxCPSInst",
        "TxCPSMinute", "RxCPSMinute", "TxMinuteCnt", "TxHourCnt",    "TxDayCnt",     "RxMinuteCnt",
        "RxHourCnt",   "RxDayCnt",    "CDRuns",      "CDDayRuns",    "CDRunTime"};
    ASSERT_EQ(narrow.size(), 23u);
    for (const ColumnInfo& column : Columns()) {
        int expected = 100;
        if (column.name == "Actual Throughput") {
            expected = 150;
        } else if (column.name == "Status") {
            expected = 50;
        } else if (column.name == "CTS" || column.name == "DSR" || column.name == "CD" ||
                   column.name == "RTS" || column.name == "DTR") {
            expected = 35;
        } else if (std::find(narrow.begin(), narrow.end(), column.name) != narrow.end()) {
            expected = 75;
        }
        EXPECT_EQ(column.width, expected) << column.name;
    }
    EXPECT_EQ(Column(0).name, "Port Name");
    EXPECT_EQ(Column(21).name, "ParityErrorsRaw");
    EXPECT_EQ(Column(57).name, "CDDayRunTimeWrk");
}

TEST(ColumnsTest, ResetFlagsAgreeWithTheStatisticsReset) {
    for (int kind = 0; kind < kColumnKindCount; ++kind) {
        const bool protectedKind = kind <= 7 || (kind >= 14 && kind <= 21);
        EXPECT_EQ(Column(kind).resettable, !protectedKind) << kind;
        PortStatistics stats;
        PortStatistics* rows[] = {&stats};
        EXPECT_EQ(ResetColumn(kind, rows), !Column(kind).resettable) << kind;
    }
}

TEST(ColumnsTest, LongLabelsAreCutAtTheCellLimitAndUnknownKindsAreEmpty) {
    const std::string longLabel(40, 'x');
    EXPECT_EQ(Cell(0, {}, {}, 1000, longLabel), std::string(kMaxCellText, 'x'));
    EXPECT_EQ(Cell(58, {}, {}), "");
    EXPECT_EQ(Cell(-1, {}, {}), "");
}

}  // namespace
