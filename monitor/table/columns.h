#pragma once
// The port table's column kinds: 58 fixed kinds, each with its header name, its width in
// pixels, what its cells show and whether "Reset Column" may clear it. The kind numbers are
// stored in session files, so they never change.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "monitor/records/port_statistics.h"
#include "monitor/records/raw_port_counters.h"

constexpr int kColumnKindCount = 58;
constexpr int kPortNameKind = 0;
constexpr int kStatusKind = 1;
constexpr int kActualThroughputKind = 7;
constexpr int kTotalErrorsKind = 10;
constexpr int kDefaultColumnCount = 14;

// A cell text is at most this many characters.
constexpr std::size_t kMaxCellText = 29;
// The throughput cell ends with this marker; the view draws such a cell as a bar.
inline constexpr std::string_view kThroughputMarker = "*$";

// How a kind turns a row into text.
enum class CellFormat : std::uint8_t {
    PortName,      // the row's label
    PortStatus,    // "OPEN" / "CLOSED" from the open flag
    LineSignal,    // "ON" when the port is open and the line's flag is set, else "OFF"
    Throughput,    // the actual throughput in bit/s followed by the bar marker
    Decimal,       // an unsigned decimal number
    TotalErrors,   // overrun + framing + parity errors
    Milliseconds,  // a duration in ms as h:mm:ss
    Seconds,       // a duration in s as h:mm:ss
};

struct ColumnInfo {
    std::string_view name;
    int width = 0;
    CellFormat format = CellFormat::Decimal;
    // "Reset Column" may clear what this kind shows.
    bool resettable = false;
    // The line flag of a LineSignal kind.
    std::uint16_t lineFlag = 0;
    // The statistics field shown (at most one of these is set); null for other kinds.
    std::uint32_t PortStatistics::*statistics32 = nullptr;
    std::uint16_t PortStatistics::*statistics16 = nullptr;
    // The driver's raw counter shown; null for other kinds.
    std::uint32_t RawPortCounters::*raw32 = nullptr;
    std::uint16_t RawPortCounters::*raw16 = nullptr;
};

constexpr bool IsColumnKind(int kind) {
    return kind >= 0 && kind < kColumnKindCount;
}

// The description of `kind`; kind must satisfy IsColumnKind.
const ColumnInfo& Column(int kind);
// All kinds in kind order.
std::span<const ColumnInfo, kColumnKindCount> Columns();

// Kinds 0..13, the table's default set.
std::array<int, kDefaultColumnCount> DefaultColumns();

// What a cell needs besides its row.
struct CellContext {
    // The polling interval; 0 while polling is off, which shows a throughput of 0.
    int pollMs = 0;
};

// Writes the text of a `kind` cell for a row labelled `label` with these counters and
// statistics into `out` (not NUL-terminated) and returns its length (at most kMaxCellText).
// An unknown kind gives an empty text.
std::size_t FormatCell(int kind, std::string_view label, const RawPortCounters& counters,
                       const PortStatistics& statistics, const CellContext& context,
                       std::span<char, kMaxCellText> out);
