// Session files from anywhere: decoding and loading arbitrary bytes must never read past the
// data, overflow a row name or break the table's limits, and a loaded table must save again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <span>
#include <string>

#include "monitor/sessions/session_file.h"

namespace {

// A source that knows COM1..COM9, so both bound and marked rows occur.
struct Ports {
    std::deque<RawPortCounters> counters{9};
    std::deque<PortStatistics> statistics{9};

    std::optional<RowBinding> Bind(std::string_view name) {
        if (name.size() == 4 && name.starts_with("COM") && name[3] >= '1' && name[3] <= '9') {
            const auto i = static_cast<std::size_t>(name[3] - '1');
            return RowBinding{&counters[i], &statistics[i], i % 2 == 0};
        }
        return std::nullopt;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const DecodedSession decoded = DecodeSession(std::span(data, size));
    if (!decoded.Usable()) {
        return 0;
    }
    Ports ports;
    PortTable table;
    const LoadResult loaded =
        LoadSession(table, decoded, [&](std::string_view name) { return ports.Bind(name); });
    if (table.RowCount() > kMaxRows || table.ColumnCount() > kColumnKindCount ||
        loaded.rowsKept != table.RowCount() || loaded.zenithRows > loaded.rowsKept) {
        std::abort();
    }
    table.Refresh({1000});
    const auto again = EncodeSession(table);
    const DecodedSession reread = DecodeSession(again);
    if (reread.status != SessionDecodeStatus::Complete ||
        static_cast<int>(reread.rows.size()) != table.RowCount()) {
        std::abort();
    }
    return 0;
}
