// "Apply new settings to all active ports" over 256 open simulated ports: the default record
// is replaced whole, then every port applies it to its device, as each port thread does when
// the main frame's request arrives. Each round switches between two rates, so every device
// really changes.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "terminal/config/port_config.h"
#include "terminal/session/port_session.h"
#include "terminal/session/view_flags.h"
#include "tests/support/temp_config.h"

namespace {

const int kPorts =
    std::getenv("BENCH_APPLY_ALL_PORTS") ? std::atoi(std::getenv("BENCH_APPLY_ALL_PORTS")) : 256;

class QuietLink : public PortFrameLink {
  public:
    void Post(Target, UINT, WPARAM, LPARAM) override {}
};

// The open ports, built once for every run of the benchmark: closing a port waits for its
// watcher, so they are closed together at the end rather than after each run.
struct OpenPorts {
    TempConfig config;
    platform::ScriptedPrompts prompts;
    std::shared_ptr<QuietLink> link = std::make_shared<QuietLink>();
    std::vector<std::unique_ptr<PortSession>> sessions;
    bool allOpen = true;

    OpenPorts() {
        std::string map;
        for (int i = 0; i < kPorts; ++i) {
            map += "COM" + std::to_string(i + 1) + " = sim:null-modem/apply-all-" +
                   std::to_string(i / 2) + (i % 2 == 0 ? "/A\n" : "/B\n");
        }
        config.WritePortMap(map);
        const std::string programDir = config.Root() + "/program";
        setenv("QUENBY_PROGRAM_DIR", programDir.c_str(), 1);
        ProcessDisplayFlags().Initialize(DisplayPreferences{}, false, 0);
        FillDefaultPortConfig(DefaultPortConfig());
        for (int i = 0; i < kPorts; ++i) {
            sessions.push_back(
                std::make_unique<PortSession>("COM" + std::to_string(i + 1), link, prompts));
            sessions.back()->Create();
            const PortTransport* transport = sessions.back()->Transport();
            allOpen = allOpen && transport != nullptr && transport->SerialDevice();
        }
    }
    ~OpenPorts() {
        std::vector<std::thread> closers;
        for (auto& session : sessions) {
            closers.emplace_back([doomed = std::move(session)]() mutable { doomed.reset(); });
        }
        for (std::thread& closer : closers) {
            closer.join();
        }
        unsetenv("QUENBY_PROGRAM_DIR");
    }
};

std::unique_ptr<OpenPorts> gPorts;

void BM_ApplyToAll256(benchmark::State& state) {
    if (!gPorts) {
        gPorts = std::make_unique<OpenPorts>();
    }
    if (!gPorts->allOpen) {
        state.SkipWithError("a simulated port did not open");
        return;
    }
    auto& sessions = gPorts->sessions;
    PortConfig record = CopyDefaultPortConfig();
    bool fast = false;
    for (auto _ : state) {
        fast = !fast;
        record.BaudRate = fast ? 921600 : 9600;
        StoreDefaultPortConfig(record);
        for (auto& session : sessions) {
            session->ApplyPortConfig(CopyDefaultPortConfig());
        }
    }
    DCB last;
    sessions.back()->Transport()->SerialDevice()->GetCommState(last);
    if (last.BaudRate != record.BaudRate) {
        state.SkipWithError("the last port did not take the record");
    }
    state.counters["ports"] = kPorts;
    state.SetItemsProcessed(state.iterations() * kPorts);
}
BENCHMARK(BM_ApplyToAll256)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gPorts.reset();
    return 0;
}
