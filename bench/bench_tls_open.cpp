// The time a secure socket port takes to open: from the Open / Close command on a closed port
// to "Ready" (the connection, a TLS 1.3 set-up with the server's certificate checked against a
// test CA, the workers started), against openssl s_server on 127.0.0.1. One port window's
// session opens and closes again `count` times; the close is not timed. Prints the median
// (p50), p90 and the slowest open, then what `openssl s_time -new` makes of the same server in
// the same seconds, as the yardstick of a bare TLS client on this machine.
//
//   bench_tls_open [count]   (default 200)
//
// A run in which the server did not start or an open failed is marked INVALID and ends with
// status 1.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/open_timing.h"
#include "platform/tls/cert_store.h"
#include "platform/ui/prompts.h"
#include "terminal/session/port_session.h"
#include "terminal/session/process_events.h"
#include "tests/support/temp_config.h"
#include "tests/support/test_pki.h"

namespace {

// The summary lines of `openssl s_time -new` against the server, verifying with the test CA.
std::string SecureTimeLine(int port, const std::string& caFile, int seconds) {
    const std::string command = "openssl s_time -connect 127.0.0.1:" + std::to_string(port) +
                                " -new -time " + std::to_string(seconds) + " -CAfile " + caFile +
                                " -verify 1 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return "s_time did not run";
    }
    std::string line;
    std::string found;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        line = buffer;
        // Its user-time line, then its real-time line.
        if (line.find("connections in") != std::string::npos) {
            found += line;
        }
    }
    pclose(pipe);
    return found.empty() ? "s_time gave no summary" : found;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    TempConfig config;
    TestPki pki;
    if (!pki.MakeCa("ca", "/CN=Quenby Bench CA") ||
        !pki.Make("server",
                  CertificateRequest("/CN=localhost").WithAltNames("DNS:localhost,IP:127.0.0.1")) ||
        !TestPki::Install(pki.Cert("ca"), platform::tls::CertStore::StoreDirectory("ROOT"),
                          "ca.pem")) {
        std::printf("INVALID: the test certificates could not be made\n");
        return 1;
    }
    TlsServer server;
    if (!server.Start(pki.Cert("server"), pki.Key("server"), {"-tls1_3"})) {
        std::printf("INVALID: s_server did not start\n");
        return 1;
    }
    CreateProcessEvents();
    platform::ScriptedPrompts prompts;
    PortSession session("127.0.0.1:" + std::to_string(server.Port()) + ":SSL::localhost", nullptr,
                        prompts);
    const std::optional<std::vector<double>> opens = TimeOpens(session, count);
    if (!opens) {
        return 1;
    }
    const std::vector<double>& ms = *opens;
    std::printf(
        "tls 1.3 open to Ready (verified), %d opens: p50 %.3f ms  p90 %.3f ms  max %.3f ms\n",
        count, Percentile(ms, 0.5), Percentile(ms, 0.9), ms.back());
    std::printf("openssl s_time -new, same server:\n%s",
                SecureTimeLine(server.Port(), pki.Cert("ca"), 5).c_str());
    CloseProcessEvents();
    return 0;
}
