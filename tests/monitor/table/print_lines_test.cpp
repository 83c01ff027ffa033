// The printed text of the port table: eight-character fields, the throughput marker as nine
// spaces, lines cut at the paper's width and the page count.

#include "monitor/table/print_lines.h"

#include <gtest/gtest.h>

namespace {

TEST(PrintLines, HeaderEmptyLineAndOneLinePerItem) {
    PortTable table;
    table.AppendColumn(kPortNameKind);
    table.AppendColumn(kActualThroughputKind);
    table.AppendColumn(8);
    table.AddRow(std::make_unique<PortRow>("COM1"));
    table.Refresh(CellContext{2000});
    const auto lines = BuildPrintLines(table);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Port Name Actual Throughput  TxTotal ");
    EXPECT_EQ(lines[1], "");
    // "COM1  <NA>" is ten characters; "0*$" is padded to eight, then the marker becomes nine
    // spaces.
    EXPECT_EQ(lines[2], "COM1  <NA> " + std::string(5, ' ') + "0" + std::string(9, ' ') + " " +
                            std::string(7, ' ') + "0 ");
}

TEST(PrintLines, LongLinesAreCutIntoPieces) {
    const std::vector<std::string> lines = {"abcdefgh", "", "abc"};
    EXPECT_EQ(WrapPrintLines(lines, 3), (std::vector<std::string>{"abc", "def", "gh", "", "abc"}));
    EXPECT_EQ(WrapPrintLines({"ab"}, 0), (std::vector<std::string>{"a", "b"}));
}

TEST(PrintLines, PageCountAndFooter) {
    EXPECT_EQ(PrintPageCount(0, 50), 1);
    EXPECT_EQ(PrintPageCount(50, 50), 1);
    EXPECT_EQ(PrintPageCount(51, 50), 2);
    EXPECT_EQ(PrintPageCount(5, 0), 5);
    EXPECT_EQ(PrintFooter(1, 2), " 1 /  2");
    EXPECT_EQ(PrintFooter(10, 12), "10 / 12");
}

}  // namespace
