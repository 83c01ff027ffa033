#include "monitor/stats/derived_values.h"

#include <algorithm>
#include <limits>

std::uint32_t TotalErrors(const PortStatistics& s) {
    return static_cast<std::uint32_t>(s.OverrunErrors) + s.FramingErrors + s.ParityErrors;
}

std::uint32_t ActualThroughput(const PortStatistics& s, int pollMs) {
    std::uint64_t seconds = pollMs > 0 ? static_cast<std::uint64_t>(pollMs) / 1000u : 0u;
    const std::uint64_t busy = (s.TxDelta != 0 ? 1u : 0u) + (s.RxDelta != 0 ? 1u : 0u);
    if (busy > 0) {
        seconds *= busy;
    }
    if (seconds == 0) {
        return 0;
    }
    // Summed in 64 bits: two deltas near 2^32 must not wrap into a small rate.
    const std::uint64_t bits = (static_cast<std::uint64_t>(s.TxDelta) + s.RxDelta) * 10u;
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(bits / seconds, std::numeric_limits<std::uint32_t>::max()));
}
