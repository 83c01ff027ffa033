#pragma once
// The statistics cycle of one counter source at a polling tick: deltas since the previous
// read, rates, totals, error counts and carrier runs for every port the source discovered
// (table row or not), then the minute, hour and day steps when the local clock crossed a
// boundary, and the report messages those steps make due.

#include <span>

#include "monitor/records/port_statistics.h"
#include "monitor/records/raw_port_counters.h"
#include "monitor/records/source_time_base.h"
#include "monitor/stats/statistics_owner.h"

// The longest gap between two ticks that still counts as elapsed time.
constexpr std::uint32_t kMaxElapsedMs = 120000;

// The cycle over counters already read: raw[i] belongs to stats[i]; both spans have the same
// length. Reads GetTickCount and GetLocalTime; posts the report messages to `owner`.
void UpdatePortStatistics(SourceTimeBase& time, std::span<const RawPortCounters> raw,
                          std::span<PortStatistics> stats, StatisticsOwner& owner);
