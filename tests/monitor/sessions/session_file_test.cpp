#include "monitor/sessions/session_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "tests/monitor/sessions/fake_source.h"

namespace {

void FillDistinct(PortRow& row, std::uint32_t seed) {
    row.Counters()->txTotalRaw = seed;
    row.Counters()->statusFlags = static_cast<std::uint16_t>(seed + 1);
    row.Statistics()->TxTotal = seed * 3;
    row.Statistics()->CDDayRunTimeWrk = seed * 7;
    row.Statistics()->reserved8[5] = static_cast<std::uint8_t>(seed);
    row.Statistics()->lastParityRaw = static_cast<std::uint16_t>(seed * 5);
}

TEST(SessionFileTest, ThreeRowsWithDefaultColumnsAreWrittenAs848BytesInTheLayout) {
    FakeSource source{"COM1", "COM2", "COM12"};
    PortTable table;
    table.SetDefaultColumns();
    const char* names[] = {"COM1", "COM2", "COM12"};
    for (std::uint32_t i = 0; i < 3; ++i) {
        table.AddRow(std::make_unique<PortRow>(names[i], *source.Bind(names[i])));
        FillDistinct(table.Row(static_cast<int>(i)), 100 + i);
    }
    const std::vector<std::uint8_t> bytes = EncodeSession(table);
    ASSERT_EQ(bytes.size(), 848u);

    const auto text = [&](std::size_t at, std::size_t n) {
        return std::string(reinterpret_cast<const char*>(bytes.data()) + at, n);
    };
    EXPECT_EQ(text(0, 5), std::string("   3\0", 5));
    EXPECT_EQ(text(5, 5), std::string("  14\0", 5));
    for (int kind = 0; kind < kDefaultColumnCount; ++kind) {
        char field[6];
        std::snprintf(field, sizeof field, "%4d", kind);
        EXPECT_EQ(text(10 + 5 * static_cast<std::size_t>(kind), 5), std::string(field, 5)) << kind;
    }
    const std::size_t row2 = 80 + 2 * 256;
    EXPECT_EQ(text(row2, 12), std::string("COM12\0\0\0\0\0\0\0", 12));
    const auto counters = DecodeRawPortCounters(
        std::span<const std::uint8_t>(bytes).subspan(row2 + 12).first<RawPortCounters::kSize>());
    EXPECT_EQ(counters, *table.Row(2).Counters());
    const auto stats = DecodePortStatistics(
        std::span<const std::uint8_t>(bytes).subspan(row2 + 32).first<PortStatistics::kSize>());
    EXPECT_EQ(stats, *table.Row(2).Statistics());

    // Read back into a fresh table over a fresh source: the same rows, columns and values,
    // and the same bytes when written again.
    FakeSource later{"COM1", "COM2", "COM12"};
    PortTable loaded;
    const DecodedSession decoded = DecodeSession(bytes);
    ASSERT_EQ(decoded.status, SessionDecodeStatus::Complete);
    EXPECT_EQ(LoadSession(loaded, decoded, later.Binder()).rowsKept, 3);
    EXPECT_EQ(std::vector<int>(loaded.ColumnKinds().begin(), loaded.ColumnKinds().end()),
              std::vector<int>(table.ColumnKinds().begin(), table.ColumnKinds().end()));
    EXPECT_EQ(later.Statistics("COM12"), *table.Row(2).Statistics());
    EXPECT_EQ(EncodeSession(loaded), bytes);
}

TEST(SessionFileTest, AnUnknownPortIsMarkedFrozenAndSavedWithoutTheMarker) {
    FakeSource before{"COM3", "COM9"};
    PortTable table;
    table.SetDefaultColumns();
    table.AddRow(std::make_unique<PortRow>("COM9", *before.Bind("COM9")));
    table.AddRow(std::make_unique<PortRow>("COM3", *before.Bind("COM3")));
    FillDistinct(table.Row(0), 9);
    const auto bytes = EncodeSession(table);

    FakeSource now{"COM3"};
    PortTable loaded;
    LoadSession(loaded, DecodeSession(bytes), now.Binder());
    ASSERT_EQ(loaded.RowCount(), 2);
    EXPECT_EQ(loaded.Row(0).Label(), "COM3");
    EXPECT_EQ(loaded.Row(1).Label(), "COM9  <NA>");
    EXPECT_FALSE(loaded.Row(1).Bound());
    EXPECT_EQ(loaded.Row(1).Statistics()->TxTotal, 27u);
    loaded.Refresh({});
    EXPECT_EQ(loaded.ShownText(1, 0), "COM9  <NA>");

    const auto again = EncodeSession(loaded);
    const std::size_t row1 = 80 + 256;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(again.data()) + row1, 12),
              std::string("COM9\0\0\0\0\0\0\0\0", 12));
}

TEST(SessionFileTest, AMarkedNameInAFileIsReadWithoutItsMarker) {
    PortTable table;
    table.AppendColumn(0);
    table.AddRow(std::make_unique<PortRow>("COM5"));
    auto bytes = EncodeSession(table);
    // A name field as an older writer left it, marker included.
    std::memcpy(bytes.data() + 15, "COM5  <NA>", 10);
    FakeSource source{"COM5"};
    PortTable loaded;
    LoadSession(loaded, DecodeSession(bytes), source.Binder());
    ASSERT_EQ(loaded.RowCount(), 1);
    EXPECT_EQ(loaded.Row(0).Label(), "COM5");
    EXPECT_TRUE(loaded.Row(0).Bound());
}

TEST(SessionFileTest, AFileCutAnywhereLoadsTheCompleteRowsOnly) {
    PortTable table;
    table.SetDefaultColumns();
    for (int i = 1; i <= 3; ++i) {
        table.AddRow(std::make_unique<PortRow>("COM" + std::to_string(i)));
        FillDistinct(table.Row(i - 1), static_cast<std::uint32_t>(i));
    }
    const auto bytes = EncodeSession(table);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        const DecodedSession decoded = DecodeSession(std::span(bytes).first(cut));
        if (cut < 10) {
            EXPECT_EQ(decoded.status, SessionDecodeStatus::TooShort) << cut;
            EXPECT_FALSE(decoded.Usable());
            continue;
        }
        EXPECT_EQ(decoded.status, SessionDecodeStatus::Truncated) << cut;
        const std::size_t columns = std::min<std::size_t>((cut - 10) / 5, kDefaultColumnCount);
        EXPECT_EQ(decoded.columns.size(), columns) << cut;
        const std::size_t rows = cut < 80 ? 0 : (cut - 80) / 256;
        ASSERT_EQ(decoded.rows.size(), rows) << cut;
        for (std::size_t r = 0; r < rows; ++r) {
            EXPECT_EQ(decoded.rows[r].statistics, *table.Row(static_cast<int>(r)).Statistics());
        }
    }
    // Bytes past the declared rows are ignored.
    auto longer = bytes;
    longer.resize(bytes.size() + 300, 0xAA);
    const DecodedSession decoded = DecodeSession(longer);
    EXPECT_EQ(decoded.status, SessionDecodeStatus::Complete);
    EXPECT_EQ(decoded.rows.size(), 3u);
}

std::vector<std::uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

TEST(SessionFileTest, BadCountsAndColumnKindsMakeTheFileUnusable) {
    using namespace std::string_literals;
    struct Case {
        std::string data;
        SessionDecodeStatus status;
    };
    const std::vector<Case> cases = {
        {"   0\0   0\0"s, SessionDecodeStatus::Complete},
        {"   1\0   1\0   0\0"s, SessionDecodeStatus::Truncated},
        {"   0\0   1\0  57\0"s, SessionDecodeStatus::Complete},
        {"0\0\0\0\0   0\0"s, SessionDecodeStatus::Complete},
        {" 512\0   0\0"s, SessionDecodeStatus::Truncated},
        {" 513\0   0\0"s, SessionDecodeStatus::BadCount},
        {"   0\0  59\0"s, SessionDecodeStatus::BadCount},
        {"  -1\0   0\0"s, SessionDecodeStatus::BadCount},
        {"   0\0  -5\0"s, SessionDecodeStatus::BadCount},
        {"abcd\0   0\0"s, SessionDecodeStatus::BadCount},
        {"    \0   0\0"s, SessionDecodeStatus::BadCount},
        {"   12345   0\0"s, SessionDecodeStatus::BadCount},
        {"   1x   0\0"s, SessionDecodeStatus::BadCount},
        {"9999\0   0\0"s, SessionDecodeStatus::BadCount},
        {"   0\0   1\0  58\0"s, SessionDecodeStatus::BadCount},
        {"   0\0   2\0   0\0  -1\0"s, SessionDecodeStatus::BadCount},
        {"   0\0   1\0 7 \0\0"s, SessionDecodeStatus::BadCount},
        {"   0\0"s, SessionDecodeStatus::TooShort},
        {""s, SessionDecodeStatus::TooShort},
    };
    for (const Case& c : cases) {
        const auto decoded = DecodeSession(Bytes(c.data));
        EXPECT_EQ(decoded.status, c.status) << '"' << c.data << '"';
        if (!decoded.Usable()) {
            EXPECT_TRUE(decoded.columns.empty());
            EXPECT_TRUE(decoded.rows.empty());
        }
    }
}

TEST(SessionFileTest, ARepeatedNameFeedsTheLiveRecordButShowsOneRow) {
    PortTable table;
    table.AppendColumn(0);
    table.AddRow(std::make_unique<PortRow>("COM4"));
    table.AddRow(std::make_unique<PortRow>("COM7"));
    table.Row(0).Statistics()->RxTotal = 1;
    table.Row(1).Statistics()->RxTotal = 2;
    auto bytes = EncodeSession(table);
    // Rename the second record to COM4.
    std::memcpy(bytes.data() + 15 + 256, "COM4", 4);

    FakeSource bound{"COM4"};
    PortTable loaded;
    const LoadResult result = LoadSession(loaded, DecodeSession(bytes), bound.Binder());
    EXPECT_EQ(result.rowsKept, 1);
    ASSERT_EQ(loaded.RowCount(), 1);
    EXPECT_EQ(bound.Statistics("COM4").RxTotal, 2u);

    // For a port no driver knows the first record's values stay.
    FakeSource none{};
    PortTable unbound;
    LoadSession(unbound, DecodeSession(bytes), none.Binder());
    ASSERT_EQ(unbound.RowCount(), 1);
    EXPECT_EQ(unbound.Row(0).Statistics()->RxTotal, 1u);
}

TEST(SessionFileTest, ZenithRowsAreCountedOnceAndTheTableKeepsAtMost512Rows) {
    PortTable table;
    for (int i = 1; i <= kMaxRows; ++i) {
        table.AddRow(std::make_unique<PortRow>("COM" + std::to_string(i)));
    }
    auto bytes = EncodeSession(table);
    // Twice COM1 (the last record renamed), so 511 distinct names.
    std::memcpy(bytes.data() + 10 + 511 * 256, "COM1\0\0\0\0", 8);
    FakeSource zenith({"COM1", "COM2"}, true);
    PortTable loaded;
    const LoadResult result = LoadSession(loaded, DecodeSession(bytes), zenith.Binder());
    EXPECT_EQ(result.rowsKept, 511);
    EXPECT_EQ(result.zenithRows, 2);
    EXPECT_EQ(loaded.RowCount(), 511);
}

}  // namespace
