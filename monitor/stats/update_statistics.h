#pragma once
// The statistics cycle of one counter source at a polling tick: deltas since the previous
// read, rates, totals, error counts and carrier runs for every port the source discovered
// (table row or not), then the minute, hour and day steps when the local clock crossed a
// boundary, and the report messages those steps make due.

#include <span>

#include "monitor/drivers/counter_source_owner.h"
#include "monitor/drivers/raw_port_counters.h"
#include "monitor/stats/port_statistics.h"
#include "monitor/stats/source_time_base.h"

class CounterSource;

// The longest gap between two ticks that still counts as elapsed time.
constexpr std::uint32_t kMaxElapsedMs = 120000;

// ReadCounters, then the cycle below over the source's ports.
void UpdateStatistics(CounterSource& source);

// The cycle over counters already read: raw[i] belongs to stats[i]; both spans have the same
// length. Reads GetTickCount and GetLocalTime; posts the report messages to `owner`.
void UpdatePortStatistics(SourceTimeBase& time, std::span<const RawPortCounters> raw,
                          std::span<PortStatistics> stats, CounterSourceOwner& owner);
