#pragma once
// How long a socket port's open takes to "Ready", the same way for every kind of socket port:
// the window's creation opens the port once (the warm-up), then each sample closes it if open
// and times one Open / Close command that opens it again.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <vector>

#include "terminal/session/port_session.h"

// The sample at `fraction` of the sorted samples (nearest rank).
inline double Percentile(const std::vector<double>& sorted, double fraction) {
    const auto rank =
        static_cast<std::size_t>(fraction * static_cast<double>(sorted.size()) + 0.999);
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

// `count` opens of `session` in milliseconds, sorted; nothing (with the reason printed as
// INVALID) when an open failed. The port is left closed.
inline std::optional<std::vector<double>> TimeOpens(PortSession& session, int count) {
    using Clock = std::chrono::steady_clock;
    session.Create();
    std::vector<double> ms;
    ms.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (session.PublishedState().isOpen) {
            session.OpenClosePort();
        }
        const Clock::time_point start = Clock::now();
        session.OpenClosePort();
        const Clock::time_point ready = Clock::now();
        if (!session.PublishedState().isOpen) {
            std::printf("INVALID: open %d failed: %s\n", i, session.Display().GetText().c_str());
            return std::nullopt;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(ready - start).count());
    }
    session.OpenClosePort();
    std::sort(ms.begin(), ms.end());
    return ms;
}
