#include "monitor/table/reset_statistics.h"

#include "monitor/table/columns.h"

namespace {

// Zeroes the statistics field a resettable column shows.
void ClearField(const ColumnInfo& column, PortStatistics& s) {
    if (column.statistics32 != nullptr) {
        s.*column.statistics32 = 0;
    } else if (column.statistics16 != nullptr) {
        s.*column.statistics16 = 0;
    }
}

}  // namespace

void ResetRow(PortStatistics& s) {
    // What a row reset clears is exactly what the resettable columns show.
    for (const ColumnInfo& column : Columns()) {
        if (column.resettable) {
            ClearField(column, s);
        }
    }
    s.OverrunErrors = s.FramingErrors = s.ParityErrors = 0;
}

bool ResetColumn(int kind, std::span<PortStatistics* const> rows) {
    if (!IsColumnKind(kind) || !Column(kind).resettable) {
        return true;
    }
    const ColumnInfo& column = Column(kind);
    for (PortStatistics* row : rows) {
        if (row == nullptr) {
            continue;
        }
        if (kind == kTotalErrorsKind) {
            row->OverrunErrors = row->FramingErrors = row->ParityErrors = 0;
        } else {
            ClearField(column, *row);
        }
    }
    return false;
}
