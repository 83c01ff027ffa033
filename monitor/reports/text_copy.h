#pragma once
// The fixed-width text copy of a session: one header line, an empty line, then one line per
// row, each the concatenation of one field per column without separators, every line ending
// in CR LF. The columns are the table's own ("Selected Version") or every kind 0..57 ("Full
// Version").

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/records/port_statistics.h"
#include "monitor/records/raw_port_counters.h"
#include "monitor/sessions/session_file.h"
#include "monitor/table/port_table.h"

// One row as the text copy reads it.
struct TextCopyRow {
    std::string_view name;
    const RawPortCounters* counters = nullptr;
    const PortStatistics* statistics = nullptr;
};

// The live table's rows, each named by its label (a port no driver knows keeps its marker).
std::vector<TextCopyRow> TextCopyRowsOf(const PortTable& table);
// A session file's rows, named as the file names them.
std::vector<TextCopyRow> TextCopyRowsOf(const DecodedSession& session);

// The columns of the copy: every kind for exactly "Full Version", else `selected`.
std::vector<int> TextCopyColumns(std::string_view reportType, std::span<const int> selected);

// The header line of `columns`, without its line end.
std::string TextCopyHeader(std::span<const int> columns);
// One row's line, without its line end; the throughput is computed with `pollMs`.
std::string TextCopyLine(const TextCopyRow& row, std::span<const int> columns, int pollMs);
// The whole file's text, CR LF line ends included.
std::string TextCopyText(std::span<const TextCopyRow> rows, std::span<const int> columns,
                         int pollMs);

// The copy's path: the session path with its file name's extension replaced by ".txt" (a name
// without one gets ".txt" added). A session that already ends in ".txt" gets ".txt" added, so
// the copy never replaces the session it is made from.
std::string TextCopyPath(std::string_view sessionPath);

enum class TextCopyResult {
    Ok,
    SameFile,     // the copy's path names the session file itself (a link): nothing written
    CannotWrite,  // the copy could not be created or written completely; an older copy is kept
};

// Writes the copy of the session at `sessionPath` beside it: through a temporary file that
// replaces the copy only once every byte is written and the file closed.
TextCopyResult WriteTextCopy(const std::string& sessionPath, std::span<const TextCopyRow> rows,
                             std::span<const int> columns, int pollMs);
