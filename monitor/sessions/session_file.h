#pragma once
// The session file: the port table's columns and rows with every row's counters and
// statistics, as the monitor saves and reloads it. Layout, with no signature or version:
//   row count N and column count C, each as "%4d" text followed by a NUL (5 bytes),
//   C column kinds in display order in the same 5-byte form,
//   N row records of 256 bytes: a 12-byte NUL-padded port name without the not-available
//   marker, the 20-byte raw counters and the 224-byte statistics record.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/records/port_statistics.h"
#include "monitor/records/raw_port_counters.h"
#include "monitor/table/port_table.h"

constexpr std::size_t kCountFieldSize = 5;
constexpr std::size_t kRowNameFieldSize = 12;
constexpr std::size_t kRowRecordSize =
    kRowNameFieldSize + RawPortCounters::kSize + PortStatistics::kSize;
static_assert(kRowRecordSize == 256);

constexpr std::size_t SessionFileSize(std::size_t columns, std::size_t rows) {
    return 2 * kCountFieldSize + kCountFieldSize * columns + kRowRecordSize * rows;
}
// The largest file WriteSession produces; a reader never needs more.
constexpr std::size_t kMaxSessionFileSize = SessionFileSize(kColumnKindCount, kMaxRows);

// The bytes of the table's session.
std::vector<std::uint8_t> EncodeSession(const PortTable& table);

enum class SessionDecodeStatus {
    Complete,   // every declared column and row was read
    Truncated,  // the data ends inside the column list or a row: what came before is kept
    TooShort,   // the data ends before the two counts
    BadCount,   // a count or column kind is not a "%4d" number, or is out of range
};

struct DecodedRow {
    std::string name;  // without the marker
    RawPortCounters counters;
    PortStatistics statistics;
};

struct DecodedSession {
    SessionDecodeStatus status = SessionDecodeStatus::TooShort;
    int declaredRows = 0;
    std::vector<int> columns;
    std::vector<DecodedRow> rows;

    bool Usable() const {
        return status == SessionDecodeStatus::Complete || status == SessionDecodeStatus::Truncated;
    }
};

// Decodes session bytes. Counts above the table's limits (512 rows, 58 columns), negative or
// non-numeric counts and column kinds outside 0..57 make the session unusable, so a damaged
// file never reaches the table. Bytes past the declared rows are ignored.
DecodedSession DecodeSession(std::span<const std::uint8_t> data);

// Finds the source entry of a port name; nothing when no available driver knows the port.
using RowBinder = std::function<std::optional<RowBinding>(std::string_view name)>;

struct LoadResult {
    int rowsKept = 0;
    // Rows bound to the Zenith family among those kept.
    int zenithRows = 0;
};

// Replaces the table's columns and rows with the session's. Each row is bound by name; a bound
// row's saved counters and statistics replace the source's own, so counting continues from
// them. A port no driver knows becomes a marked row frozen at its saved values. A repeated name
// still writes its data into a bound source entry but adds no second row. The rows are sorted.
LoadResult LoadSession(PortTable& table, const DecodedSession& session, const RowBinder& bind);

// File access. Writing goes to a temporary file that replaces `path` only once complete, so a
// failed save never destroys the previous session; when the temporary file cannot be created
// the save fails (CannotCreate) and `path` is not touched.
enum class FileWriteResult { Ok, CannotCreate, WriteFailed };
// Where a save of `path` is written before it replaces the file: beside it, in the same folder.
std::string SessionTemporaryPath(const std::string& path);
FileWriteResult WriteFileBytes(const std::string& path, std::span<const std::uint8_t> bytes);
// At most `limit` bytes of the file; nothing when it cannot be opened or read.
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path, std::size_t limit);
