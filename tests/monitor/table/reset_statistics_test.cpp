// Resetting works on the encoded record: every byte the reset must keep is compared with what
// it was, every other byte must be zero, so a field forgotten or cleared by mistake shows up by
// its offset.

#include "monitor/table/reset_statistics.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <utility>
#include <vector>

namespace {

using Bytes = std::array<std::uint8_t, PortStatistics::kSize>;

PortStatistics Patterned(std::uint8_t seed) {
    Bytes bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 13 + 1) | 1;  // never 0
    }
    return DecodePortStatistics(bytes);
}

Bytes Encoded(const PortStatistics& s) {
    Bytes b{};
    EncodePortStatistics(s, b);
    return b;
}

// Byte ranges [first, last) a row reset keeps: the driver references, the deltas, the
// reserved bytes.
const std::vector<std::pair<std::size_t, std::size_t>> kKeptByRowReset = {
    {0, 16}, {24, 40}, {52, 56}, {68, 72}, {84, 88}, {108, 116}, {124, 132}, {218, 224},
};

bool Kept(std::size_t offset) {
    for (auto [first, last] : kKeptByRowReset) {
        if (offset >= first && offset < last) {
            return true;
        }
    }
    return false;
}

TEST(ResetRow, ClearsWhatTheUserSeesAndKeepsTheDriverReferences) {
    PortStatistics s = Patterned(7);
    const Bytes before = Encoded(s);
    ResetRow(s);
    const Bytes after = Encoded(s);
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (Kept(i)) {
            EXPECT_EQ(after[i], before[i]) << "offset " << i;
        } else {
            EXPECT_EQ(after[i], 0) << "offset " << i;
        }
    }
}

// Column kind -> offsets of the record it clears (4-byte fields unless listed as 2-byte).
struct ColumnReset {
    int kind;
    std::vector<std::size_t> offsets;
    std::size_t width;
};

std::vector<ColumnReset> ResettableColumns() {
    std::vector<ColumnReset> rows = {
        {8, {16}, 4},   {9, {20}, 4},   {10, {212, 214, 216}, 2}, {11, {212}, 2}, {12, {214}, 2},
        {13, {216}, 2}, {22, {100}, 4}, {23, {116}, 4},           {24, {104}, 4}, {25, {120}, 4},
    };
    // 26..31: the six maxima at 132..152; 32..37: the minute/hour/day counts (Tx 40..48, Rx
    // 56..64); 38..43: the working counts (Tx 72..80, Rx 88..96); 44..49: the working maxima
    // at 156..176; 50..57: the carrier fields at 180..208.
    for (int k = 26; k <= 31; ++k)
        rows.push_back({k, {132 + 4u * (k - 26)}, 4});
    for (int k = 32; k <= 34; ++k)
        rows.push_back({k, {40 + 4u * (k - 32)}, 4});
    for (int k = 35; k <= 37; ++k)
        rows.push_back({k, {56 + 4u * (k - 35)}, 4});
    for (int k = 38; k <= 40; ++k)
        rows.push_back({k, {72 + 4u * (k - 38)}, 4});
    for (int k = 41; k <= 43; ++k)
        rows.push_back({k, {88 + 4u * (k - 41)}, 4});
    for (int k = 44; k <= 49; ++k)
        rows.push_back({k, {156 + 4u * (k - 44)}, 4});
    for (int k = 50; k <= 57; ++k)
        rows.push_back({k, {180 + 4u * (k - 50)}, 4});
    return rows;
}

TEST(ResetColumn, ClearsExactlyItsFieldInEveryRow) {
    for (const ColumnReset& c : ResettableColumns()) {
        SCOPED_TRACE(c.kind);
        PortStatistics a = Patterned(1);
        PortStatistics b = Patterned(2);
        const Bytes beforeA = Encoded(a);
        const Bytes beforeB = Encoded(b);
        PortStatistics* rows[] = {&a, nullptr, &b};
        EXPECT_FALSE(ResetColumn(c.kind, rows));
        std::set<std::size_t> cleared;
        for (std::size_t o : c.offsets) {
            for (std::size_t i = 0; i < c.width; ++i)
                cleared.insert(o + i);
        }
        const Bytes afterA = Encoded(a);
        const Bytes afterB = Encoded(b);
        for (std::size_t i = 0; i < PortStatistics::kSize; ++i) {
            if (cleared.count(i) != 0) {
                EXPECT_EQ(afterA[i], 0) << "offset " << i;
                EXPECT_EQ(afterB[i], 0) << "offset " << i;
            } else {
                EXPECT_EQ(afterA[i], beforeA[i]) << "offset " << i;
                EXPECT_EQ(afterB[i], beforeB[i]) << "offset " << i;
            }
        }
    }
}

TEST(ResetColumn, RefusesThePortItselfAndTheDriversRawValues) {
    // Port name, status, the five line signals, the throughput; the eight raw driver values;
    // kinds that do not exist.
    const int refused[] = {0, 1, 2, 3, 4, 5, 6, 7, 14, 15, 16, 17, 18, 19, 20, 21, -1, 58, 1000};
    for (int kind : refused) {
        SCOPED_TRACE(kind);
        PortStatistics s = Patterned(3);
        const Bytes before = Encoded(s);
        PortStatistics* rows[] = {&s};
        EXPECT_TRUE(ResetColumn(kind, rows));
        EXPECT_EQ(Encoded(s), before);
    }
}

}  // namespace
