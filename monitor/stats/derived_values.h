#pragma once
// Values the table shows that are computed from a statistics record when it is drawn.

#include <cstdint>

#include "monitor/records/port_statistics.h"

// OverrunErrors + FramingErrors + ParityErrors as an unsigned 32-bit sum.
std::uint32_t TotalErrors(const PortStatistics& stats);

// The line rate in bits per second at ten bits per character, averaged over the directions
// that carried data in the last poll interval: (TxDelta + RxDelta) x 10 / S with S the whole
// seconds of the polling interval times the number of busy directions. 0 when the interval is
// under one second (there is no whole second to divide by) and when nothing moved.
std::uint32_t ActualThroughput(const PortStatistics& stats, int pollMs);
