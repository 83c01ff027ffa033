#pragma once
// "Reset Row" and "Reset Column": zeroing what a user may clear in a statistics record while
// keeping the references to the driver's counts, so the next tick continues from the driver's
// current values instead of adding its whole history again.

#include <span>

#include "monitor/records/port_statistics.h"

inline constexpr const char* kAccessDeniedText = "Access is Denied!\t";
inline constexpr const char* kAccessDeniedCaption = "Seltra2 - Warning ...";

// Zeroes the totals, error counts, rates, maxima and their working fields, the minute, hour
// and day counts and their working fields and the eight carrier fields. Keeps lastTxTotalRaw,
// lastRxTotalRaw, lastStatusFlags, the three error references, TxDelta, RxDelta and the
// reserved bytes.
void ResetRow(PortStatistics& stats);

// Zeroes the field shown by column kind `kind` (0..57, the table's column kinds) in every
// record; "Total Errors" zeroes all three error counts. True when the column may not be reset
// (the port name, the status and line signals, the throughput, the driver's raw values, or a
// kind that does not exist): nothing changes and the caller shows kAccessDeniedText with
// kAccessDeniedCaption and the stop icon.
bool ResetColumn(int kind, std::span<PortStatistics* const> rows);
