// Sixteen port sessions on sixteen simulated loopback plugs run the loopback test at once:
// each test's duration, from its command to its result box, over `rounds` rounds. Prints the
// median (p50), p90 and the slowest test. A test that did not pass marks the run INVALID
// (status 1).
//
//   bench_port_tests [rounds]   (default 5)

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/prompts.h"
#include "terminal/config/port_config.h"
#include "terminal/resources/halvo_resources.h"
#include "terminal/session/port_session.h"
#include "terminal/session/port_tests.h"

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPorts = 16;

double Percentile(const std::vector<double>& sorted, double fraction) {
    const auto rank =
        static_cast<std::size_t>(fraction * static_cast<double>(sorted.size()) + 0.999);
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

// Answers every box with its first button and notes when each port's result box came.
class ResultClock : public platform::PromptService {
  public:
    int MessageBox(const std::string& text, const std::string& caption, UINT style) override {
        if (style != MB_OKCANCEL) {
            std::lock_guard lock(mutex_);
            results_[caption] = {Clock::now(), text.rfind("Port passed", 0) == 0};
            changed_.notify_all();
        }
        return platform::FirstButtonOf(style);
    }
    std::optional<std::string> OpenFileName(const platform::FileDialogRequest&) override {
        return {};
    }
    std::optional<std::string> SaveFileName(const platform::FileDialogRequest&) override {
        return {};
    }
    struct Result {
        Clock::time_point at;
        bool passed = false;
    };
    // Waits for `count` results (generously) and hands them over.
    std::map<std::string, Result> Take(std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(60), [&] { return results_.size() >= count; });
        return std::exchange(results_, {});
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, Result> results_;
};

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    char pattern[] = "/tmp/quenby-bench-XXXXXX";
    const std::string root = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", root.c_str(), 1);
    std::filesystem::create_directories(root + "/quenby");
    {
        std::ofstream map(root + "/quenby/ports.conf");
        for (int i = 1; i <= kPorts; ++i) {
            map << "COM" << i << " = sim:loopback/" << i << "\n";
        }
    }
    FillDefaultPortConfig(DefaultPortConfig());

    ResultClock prompts;
    std::array<std::unique_ptr<PortSession>, kPorts> ports;
    for (int i = 0; i < kPorts; ++i) {
        ports[i] = std::make_unique<PortSession>("COM" + std::to_string(i + 1), nullptr, prompts);
        ports[i]->Create();
        if (!ports[i]->PublishedState().isOpen) {
            std::printf("INVALID: COM%d did not open\n", i + 1);
            return 1;
        }
    }
    std::vector<double> ms;
    for (int round = 0; round < rounds; ++round) {
        std::map<std::string, Clock::time_point> started;
        for (auto& port : ports) {
            started[port->Transport()->Caption()] = Clock::now();
            port->OnPortTestCommand(ID_LOOPBACK_TEST);
        }
        const auto results = prompts.Take(kPorts);
        if (results.size() != kPorts) {
            std::printf("INVALID: %zu of %d tests ended\n", results.size(), kPorts);
            return 1;
        }
        for (const auto& [caption, result] : results) {
            if (!result.passed) {
                std::printf("INVALID: %s failed the loopback test\n", caption.c_str());
                return 1;
            }
            ms.push_back(
                std::chrono::duration<double, std::milli>(result.at - started[caption]).count());
        }
        WaitForPortTests(60000);
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "loopback test, %d ports at once, %zu tests: p50 %.1f ms  p90 %.1f ms  max %.1f ms\n",
        kPorts, ms.size(), Percentile(ms, 0.5), Percentile(ms, 0.9), ms.back());
    ports = {};
    std::filesystem::remove_all(root);
    return 0;
}
