// The time a socket port takes to open: from the Open / Close command on a closed port to
// "Ready" (the connection made and the workers started), against socat echoing on 127.0.0.1.
// One port window's session opens and closes again `count` times; the close is not timed.
// Prints the median (p50), p90 and the slowest open.
//
//   bench_tcp_open [count]   (default 500)
//
// A run in which socat did not start or an open failed is marked INVALID and ends with
// status 1.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/open_timing.h"
#include "platform/ui/prompts.h"
#include "terminal/session/port_session.h"
#include "tests/support/tcp_test_peer.h"

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
    SocatEcho echo;
    if (!echo.Started()) {
        std::printf("INVALID: socat did not start\n");
        return 1;
    }
    platform::ScriptedPrompts prompts;
    PortSession session("127.0.0.1:" + std::to_string(echo.Port()), nullptr, prompts);
    const std::optional<std::vector<double>> opens = TimeOpens(session, count);
    if (!opens) {
        return 1;
    }
    const std::vector<double>& ms = *opens;
    std::printf("tcp open to Ready, %d opens: p50 %.3f ms  p90 %.3f ms  max %.3f ms\n", count,
                Percentile(ms, 0.5), Percentile(ms, 0.9), ms.back());
    return 0;
}
