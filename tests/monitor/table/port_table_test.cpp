#include "monitor/table/port_table.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace {

// A driver source's blocks: stable addresses, as the real sources keep them.
struct SourceBlocks {
    std::deque<RawPortCounters> counters;
    std::deque<PortStatistics> statistics;

    RowBinding Next() {
        counters.emplace_back();
        statistics.emplace_back();
        return {&counters.back(), &statistics.back(), false};
    }
};

std::vector<std::string> Names(const PortTable& table) {
    std::vector<std::string> names;
    for (int i = 0; i < table.RowCount(); ++i) {
        names.push_back(table.Row(i).Label());
    }
    return names;
}

TEST(PortTableTest, SortRowsOrdersByPortNumberAndKeepsEqualNumbersInOrder) {
    struct Case {
        std::vector<std::string> bound;  // rows added in this order
        std::vector<std::string> unbound;
        std::vector<std::string> sorted;
    };
    const std::vector<Case> cases = {
        {{"COM10", "COM9", "COM1"}, {}, {"COM1", "COM9", "COM10"}},
        {{"COM4", "COM2"}, {"COM3"}, {"COM2", "COM3  <NA>", "COM4"}},
        // No digits counts as 0; equal numbers keep their order.
        {{"COM5", "TTYA", "COM", "COM05"}, {}, {"TTYA", "COM", "COM5", "COM05"}},
        // Every "COM" is removed before the digits are read.
        {{"COM7", "XCOM3"}, {}, {"XCOM3", "COM7"}},
        {{"COM7", "COMCOM3"}, {}, {"COMCOM3", "COM7"}},
        {{"COM100", "COM20"}, {}, {"COM20", "COM100"}},
    };
    for (const Case& c : cases) {
        SourceBlocks source;
        PortTable table;
        for (const auto& name : c.bound) {
            ASSERT_EQ(table.AddRow(std::make_unique<PortRow>(name, source.Next())),
                      AddRowResult::Added);
        }
        for (const auto& name : c.unbound) {
            ASSERT_EQ(table.AddRow(std::make_unique<PortRow>(name)), AddRowResult::Added);
        }
        table.SortRows();
        EXPECT_EQ(Names(table), c.sorted);
    }
}

TEST(PortTableTest, AddRowRefusesDuplicatesRowsWithoutCountersAndRowsPastCapacity) {
    SourceBlocks source;
    PortTable table;
    EXPECT_EQ(table.AddRow(std::make_unique<PortRow>("COM1", source.Next())), AddRowResult::Added);
    EXPECT_EQ(table.AddRow(std::make_unique<PortRow>("COM1", source.Next())),
              AddRowResult::Duplicate);
    // The marked and the bare name are the same port.
    EXPECT_EQ(table.AddRow(std::make_unique<PortRow>("COM1")), AddRowResult::Duplicate);
    EXPECT_EQ(table.AddRow(std::make_unique<PortRow>("COM2", RowBinding{})),
              AddRowResult::NoCounters);
    for (int i = 2; i <= kMaxRows; ++i) {
        ASSERT_EQ(table.AddRow(std::make_unique<PortRow>("COM" + std::to_string(i))),
                  AddRowResult::Added);
    }
    EXPECT_EQ(table.RowCount(), kMaxRows);
    EXPECT_EQ(table.AddRow(std::make_unique<PortRow>("COM999")), AddRowResult::Full);
    EXPECT_EQ(table.RowCount(), kMaxRows);
}

TEST(PortTableTest, NamesAreCutToElevenCharactersAndTheMarkerFollowsTheWholeName) {
    PortRow row("COM12345678901");
    EXPECT_EQ(row.Name(), "COM12345678");
    EXPECT_EQ(row.Label(), "COM12345678  <NA>");
    EXPECT_FALSE(row.Bound());
    // Private blocks start zero-filled.
    EXPECT_EQ(*row.Counters(), RawPortCounters{});
    EXPECT_EQ(*row.Statistics(), PortStatistics{});
}

class RefreshTest : public ::testing::Test {
  protected:
    void SetUp() override {
        table.SetDefaultColumns();
        for (const char* name : {"COM1", "COM2", "COM3"}) {
            table.AddRow(std::make_unique<PortRow>(name, source.Next()));
        }
    }
    std::vector<std::string> ShownRow(int item) const {
        std::vector<std::string> texts;
        for (int c = 0; c < table.ColumnCount(); ++c) {
            texts.emplace_back(table.ShownText(item, c));
        }
        return texts;
    }

    SourceBlocks source;
    PortTable table;
    CellContext context{1000};
};

TEST_F(RefreshTest, FirstRefreshInsertsEveryItemAndFillsEveryCell) {
    const RefreshResult result = table.Refresh(context);
    EXPECT_EQ(result.firstInserted, 0);
    EXPECT_EQ(result.inserted, 3);
    EXPECT_EQ(result.changed.size(), 3u * kDefaultColumnCount);
    EXPECT_EQ(ShownRow(1), (std::vector<std::string>{"COM2", "CLOSED", "OFF", "OFF", "OFF", "OFF",
                                                     "OFF", "0*$", "0", "0", "0", "0", "0", "0"}));
}

TEST_F(RefreshTest, APollThatChangedNothingWritesNoCell) {
    table.Refresh(context);
    const RefreshResult again = table.Refresh(context);
    EXPECT_EQ(again.inserted, 0);
    EXPECT_TRUE(again.changed.empty());
}

TEST_F(RefreshTest, OnlyTheCellsWhoseTextChangedAreWritten) {
    table.Refresh(context);
    table.Row(1).Statistics()->TxTotal = 5;
    table.Row(2).Counters()->statusFlags = STATUS_PORT_OPEN | STATUS_CTS;
    // A field no default column shows changes nothing visible.
    table.Row(0).Statistics()->CDRuns = 9;
    const RefreshResult result = table.Refresh(context);
    ASSERT_EQ(result.changed.size(), 3u);
    EXPECT_EQ(result.changed[0].row, 1);
    EXPECT_EQ(result.changed[0].column, 8);
    EXPECT_EQ(result.changed[1].row, 2);
    EXPECT_EQ(result.changed[1].column, 1);
    EXPECT_EQ(result.changed[2].row, 2);
    EXPECT_EQ(result.changed[2].column, 2);
    EXPECT_EQ(table.ShownText(2, 1), "OPEN");
    EXPECT_EQ(table.ShownText(2, 2), "ON");
}

TEST_F(RefreshTest, RemovingARowRemovesItsItemAndSortingRelabelsItems) {
    table.Refresh(context);
    table.RemoveRowAt(0);
    EXPECT_EQ(table.ShownItemCount(), 2);
    EXPECT_EQ(table.ShownText(0, 0), "COM2");
    EXPECT_TRUE(table.Refresh(context).changed.empty());

    table.AddRow(std::make_unique<PortRow>("COM1"));
    table.SortRows();
    const RefreshResult result = table.Refresh(context);
    EXPECT_EQ(result.inserted, 1);
    EXPECT_EQ(ShownRow(0)[0], "COM1  <NA>");
    EXPECT_EQ(ShownRow(1)[0], "COM2");
    EXPECT_EQ(ShownRow(2)[0], "COM3");
}

TEST_F(RefreshTest, ColumnsAddedOrRemovedKeepTheShownCellsAligned) {
    table.Row(0).Statistics()->CDDayRunTime = 3600;
    table.Refresh(context);
    table.AppendColumn(55);
    const RefreshResult added = table.Refresh(context);
    // Only the new column's cells are written.
    ASSERT_EQ(added.changed.size(), 3u);
    for (const CellChange& change : added.changed) {
        EXPECT_EQ(change.column, kDefaultColumnCount);
    }
    EXPECT_EQ(table.ShownText(0, kDefaultColumnCount), "1:00:00");

    table.RemoveColumnAt(1);
    EXPECT_EQ(table.ShownText(0, 1), "OFF");
    EXPECT_EQ(table.ShownText(0, kDefaultColumnCount - 1), "1:00:00");
    EXPECT_TRUE(table.Refresh(context).changed.empty());
    EXPECT_EQ(table.FindColumn(55), kDefaultColumnCount - 1);
    EXPECT_EQ(table.FindColumn(1), -1);
}

}  // namespace
