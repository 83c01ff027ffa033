#include "monitor/reports/text_copy.h"

#include <array>
#include <charconv>
#include <filesystem>
#include <system_error>

#include "monitor/reports/report_messages.h"
#include "monitor/stats/derived_values.h"
#include "monitor/table/columns.h"

namespace {

// How a kind's field is laid out: its header label, the width of header and value, and
// whether both are left-aligned (the texts) or right-aligned (the numbers).
struct TextField {
    std::string_view label;
    int width;
    bool left;
};

constexpr std::array<TextField, kColumnKindCount> kFields = {{
    {"Port#", 10, true},       {"Status", 7, true},       {"CTS", 5, true},
    {"DSR", 5, true},          {"CD", 5, true},           {"RTS", 5, true},
    {"DTR", 5, true},          {"Throughput", 11, false}, {"TxTotal", 12, false},
    {"RxTotal", 12, false},    {"T.Err", 6, false},       {"OErr", 5, false},
    {"FErr", 5, false},        {"PErr", 5, false},        {"Flags", 6, false},
    {"TxPackets", 10, false},  {"RxPackets", 10, false},  {"TxTotalRaw", 11, false},
    {"RxTotalRaw", 11, false}, {"OERaw", 6, false},       {"FERaw", 6, false},
    {"PERaw", 6, false},       {"TxCPSInst", 10, false},  {"RxCPSInst", 10, false},
    {"TxMinCPS", 10, false},   {"RxMinCPS", 10, false},   {"TxCPSMMax", 10, false},
    {"TxCPSHMax", 10, false},  {"TxCPSDMax", 10, false},  {"RxCPSMMax", 10, false},
    {"RxCPSHMax", 12, false},  {"RxCPSDMax", 12, false},  {"TxMinCnt", 10, false},
    {"TxHourCnt", 12, false},  {"TxDayCnt", 12, false},   {"RxMinCnt", 10, false},
    {"RxHourCnt", 12, false},  {"RxDayCnt", 12, false},   {"TxMCntWrk", 10, false},
    {"TxHCntWrk", 12, false},  {"TxDCntWrk", 12, false},  {"RxMCntWrk", 10, false},
    {"RxHCntWrk", 12, false},  {"RxDCntWrk", 12, false},  {"TxCPSMMWrk", 11, false},
    {"TxCPSHMWrk", 11, false}, {"TxCPSDMWrk", 11, false}, {"RxCPSMMWrk", 11, false},
    {"RxCPSHMWrk", 11, false}, {"RxCPSDMWrk", 11, false}, {"CDRuns", 10, false},
    {"CDDayRuns", 10, false},  {"CDDRunWrk", 10, false},  {"CDRunTime", 10, false},
    {"CDHRTime", 9, false},    {"CDDRTime", 9, false},    {"CDHRTWrk", 9, false},
    {"CDDRTWrk", 9, false},
}};

// The kind whose hours are not padded (" %u:%02u:%02u "); the other durations pad them to two.
constexpr int kCDRunTimeKind = 53;

// `text` in a field of `width`, as "%-Ns" or "%Ns" would write it: never cut.
void Put(std::string& out, std::string_view text, int width, bool left) {
    const std::size_t pad = text.size() < static_cast<std::size_t>(width)
                                ? static_cast<std::size_t>(width) - text.size()
                                : 0;
    if (!left) {
        out.append(pad, ' ');
    }
    out.append(text);
    if (left) {
        out.append(pad, ' ');
    }
}

void PutNumber(std::string& out, std::uint32_t value, int width) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    Put(out, std::string_view(digits, static_cast<std::size_t>(end - digits)), width, false);
}

// " %u:%02u:%02u " (hourWidth 1) or " %2u:%02u:%02u " (hourWidth 2) of whole seconds.
void PutDuration(std::string& out, std::uint32_t seconds, int hourWidth) {
    out.push_back(' ');
    PutNumber(out, seconds / 3600, hourWidth);
    out.push_back(':');
    const std::uint32_t minutes = (seconds / 60) % 60;
    const std::uint32_t rest = seconds % 60;
    out.push_back(static_cast<char>('0' + minutes / 10));
    out.push_back(static_cast<char>('0' + minutes % 10));
    out.push_back(':');
    out.push_back(static_cast<char>('0' + rest / 10));
    out.push_back(static_cast<char>('0' + rest % 10));
    out.push_back(' ');
}

std::string_view OnOff(const RawPortCounters& raw, std::uint16_t flag) {
    return (raw.statusFlags & flag) != 0 ? "ON" : "OFF";
}

void PutValue(std::string& out, const TextCopyRow& row, int kind, int pollMs) {
    const TextField& field = kFields[static_cast<std::size_t>(kind)];
    const ColumnInfo& column = Column(kind);
    const RawPortCounters& raw = *row.counters;
    const PortStatistics& stats = *row.statistics;
    switch (column.format) {
        case CellFormat::PortName:
            Put(out, row.name, field.width, true);
            return;
        case CellFormat::PortStatus:
            Put(out, (raw.statusFlags & STATUS_PORT_OPEN) != 0 ? "OPEN" : "CLOSED", field.width,
                true);
            return;
        case CellFormat::LineSignal:
            // Unlike the table, the copy shows a line from its own bit, open port or not.
            Put(out, OnOff(raw, column.lineFlag), field.width, true);
            return;
        case CellFormat::Throughput:
            PutNumber(out, ActualThroughput(stats, pollMs), field.width);
            return;
        case CellFormat::TotalErrors:
            PutNumber(out, TotalErrors(stats), field.width);
            return;
        case CellFormat::Milliseconds:
            PutDuration(out, stats.*column.statistics32 / 1000, kind == kCDRunTimeKind ? 1 : 2);
            return;
        case CellFormat::Seconds:
            PutDuration(out, stats.*column.statistics32, 2);
            return;
        case CellFormat::Decimal:
            break;
    }
    std::uint32_t value = 0;
    if (column.statistics32 != nullptr) {
        value = stats.*column.statistics32;
    } else if (column.statistics16 != nullptr) {
        value = stats.*column.statistics16;
    } else if (column.raw32 != nullptr) {
        value = raw.*column.raw32;
    } else if (column.raw16 != nullptr) {
        value = raw.*column.raw16;
    }
    PutNumber(out, value, field.width);
}

}  // namespace

std::vector<TextCopyRow> TextCopyRowsOf(const PortTable& table) {
    std::vector<TextCopyRow> rows;
    rows.reserve(static_cast<std::size_t>(table.RowCount()));
    for (int i = 0; i < table.RowCount(); ++i) {
        const PortRow& row = table.Row(i);
        rows.push_back({row.Label(), row.Counters(), row.Statistics()});
    }
    return rows;
}

std::vector<TextCopyRow> TextCopyRowsOf(const DecodedSession& session) {
    std::vector<TextCopyRow> rows;
    rows.reserve(session.rows.size());
    for (const DecodedRow& row : session.rows) {
        rows.push_back({row.name, &row.counters, &row.statistics});
    }
    return rows;
}

std::vector<int> TextCopyColumns(std::string_view reportType, std::span<const int> selected) {
    if (reportType == "Full Version") {
        std::vector<int> all(kColumnKindCount);
        for (int kind = 0; kind < kColumnKindCount; ++kind) {
            all[static_cast<std::size_t>(kind)] = kind;
        }
        return all;
    }
    return {selected.begin(), selected.end()};
}

std::string TextCopyHeader(std::span<const int> columns) {
    std::string out;
    for (const int kind : columns) {
        if (IsColumnKind(kind)) {
            const TextField& field = kFields[static_cast<std::size_t>(kind)];
            Put(out, field.label, field.width, field.left);
        }
    }
    return out;
}

std::string TextCopyLine(const TextCopyRow& row, std::span<const int> columns, int pollMs) {
    std::string out;
    for (const int kind : columns) {
        if (IsColumnKind(kind)) {
            PutValue(out, row, kind, pollMs);
        }
    }
    return out;
}

std::string TextCopyText(std::span<const TextCopyRow> rows, std::span<const int> columns,
                         int pollMs) {
    std::string out = TextCopyHeader(columns);
    out += "\r\n\r\n";
    for (const TextCopyRow& row : rows) {
        out += TextCopyLine(row, columns, pollMs);
        out += "\r\n";
    }
    return out;
}

std::string TextCopyPath(std::string_view sessionPath) {
    // Only the file name's own extension counts: a dot in a folder name is not one.
    const std::size_t slash = sessionPath.find_last_of('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = sessionPath.find_last_of('.');
    std::string path(sessionPath);
    if (dot != std::string_view::npos && dot > nameStart &&
        sessionPath.substr(dot) != kTextCopyExtension) {
        path.resize(dot);
    }
    return path + kTextCopyExtension;
}

TextCopyResult WriteTextCopy(const std::string& sessionPath, std::span<const TextCopyRow> rows,
                             std::span<const int> columns, int pollMs) {
    const std::string path = TextCopyPath(sessionPath);
    std::error_code error;
    if (std::filesystem::equivalent(path, sessionPath, error)) {
        return TextCopyResult::SameFile;
    }
    const std::string text = TextCopyText(rows, columns, pollMs);
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    return WriteFileBytes(path, bytes) == FileWriteResult::Ok ? TextCopyResult::Ok
                                                              : TextCopyResult::CannotWrite;
}
