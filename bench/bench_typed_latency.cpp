// The time from a key typed into a port window to its character at the far end of the line:
// halvo2's main frame with one window on COM1, one end of a simulated null-modem cable at the
// default 115200 baud; the bench holds the other end, COM2, itself. Each sample types 'a' into
// the window's display and a reader thread on COM2 times the character's arrival. The next
// sample waits until the character has arrived and 2 ms more, so each finds the path empty; the
// first samples warm the path up and are not counted. COM2 sends nothing, so the window
// receives nothing while it is measured. The figures include the line time of one character,
// 10 bits at 115200 bit/s (0.087 ms), and the simulated line's delivery, which hands characters
// over in batches at least 1 ms apart.
//
//   bench_typed_latency [count]   (default 2000)
//
// A run in which the port did not open, a character did not arrive or another one did, or a
// message box was shown is marked INVALID, and the program then ends with status 1.

#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/gui_bench_support.h"
#include "platform/comm/comm_device.h"
#include "platform/system/last_error.h"
#include "platform/ui/prompts.h"
#include "terminal/app/qt/main_frame.h"
#include "terminal/app/preferences.h"
#include "terminal/config/port_config.h"
#include "terminal/session/qt/port_edit.h"
#include "terminal/session/qt/port_mdi_child_wnd.h"
#include "terminal/session/process_events.h"
#include "terminal/session/view_flags.h"

using Clock = std::chrono::steady_clock;

namespace {

using bench::Percentile;
using bench::RunFor;
using bench::RunUntil;

constexpr int kDefaultCount = 2000;
constexpr int kWarmUp = 20;
constexpr int kSpacingMs = 2;
// A character that takes longer than this has been lost.
constexpr int kArrivalDeadlineMs = 5000;
constexpr char kTyped = 'a';

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// The bench's own end of the cable: a thread that reads one character at a time and notes when
// each arrived.
class FarEnd {
  public:
    ~FarEnd() { Close(); }

    // Opens `path` with the default line settings and time-outs under which a read of one
    // character waits for it. An empty text when that worked, else what failed.
    std::string Open(const char* path) {
        device_ = platform::CreateCommDevice(path);
        if (!device_) {
            return std::string("the bench's end ") + path + " did not open (error " +
                   std::to_string(platform::GetLastError()) + ")";
        }
        PortConfig config;
        config.DCBlength = sizeof(PortConfig);
        FillDefaultPortConfig(config);
        if (!device_->SetCommState(config)) {
            return "SetCommState failed on the bench's end (error " +
                   std::to_string(platform::GetLastError()) + ")";
        }
        // All zero: a read returns once every requested character is there.
        const COMMTIMEOUTS timeouts{};
        if (!device_->SetCommTimeouts(timeouts)) {
            return "SetCommTimeouts failed on the bench's end (error " +
                   std::to_string(platform::GetLastError()) + ")";
        }
        device_->PurgeComm(PURGE_RXCLEAR | PURGE_RXABORT);
        reader_ = std::thread([this] { Read(); });
        return {};
    }

    // Waits until `count` characters have arrived; false after `milliseconds` without them or
    // once the reader has ended.
    bool WaitFor(std::size_t count, int milliseconds) {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] {
            return arrivals_.size() >= count || ended_;
        }) && arrivals_.size() >= count;
    }

    std::size_t Count() {
        std::lock_guard lock(mutex_);
        return arrivals_.size();
    }
    Clock::time_point ArrivalOf(std::size_t index) {
        std::lock_guard lock(mutex_);
        return arrivals_.at(index);
    }
    char CharacterOf(std::size_t index) {
        std::lock_guard lock(mutex_);
        return characters_.at(index);
    }

    // Ends the outstanding read and the reader.
    void Close() {
        if (device_) {
            device_->Close();
        }
        if (reader_.joinable()) {
            reader_.join();
        }
    }

  private:
    void Read() {
        for (;;) {
            char character = 0;
            DWORD read = 0;
            const BOOL ok = device_->ReadFile(&character, 1, read);
            const Clock::time_point now = Clock::now();
            std::lock_guard lock(mutex_);
            if (!ok) {
                ended_ = true;
                arrived_.notify_all();
                return;
            }
            if (read == 1) {
                arrivals_.push_back(now);
                characters_.push_back(character);
                arrived_.notify_all();
            }
        }
    }

    platform::CommDeviceHandle device_;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Clock::time_point> arrivals_;
    std::vector<char> characters_;
    bool ended_ = false;
};

// Types the samples and times them; an empty text when every character arrived as typed.
std::string Measure(CPortMDIChildWnd& window, FarEnd& farEnd, int count,
                    std::vector<double>& latencies) {
    for (int sample = 0; sample < kWarmUp + count; ++sample) {
        const auto index = static_cast<std::size_t>(sample);
        const Clock::time_point typed = Clock::now();
        QTest::keyClick(window.Edit(), kTyped);
        if (!farEnd.WaitFor(index + 1, kArrivalDeadlineMs)) {
            return "character " + std::to_string(sample + 1) + " did not arrive within " +
                   std::to_string(kArrivalDeadlineMs) + " ms";
        }
        if (farEnd.CharacterOf(index) != kTyped) {
            return "character " + std::to_string(sample + 1) + " arrived as 0x" +
                   std::to_string(static_cast<unsigned char>(farEnd.CharacterOf(index)));
        }
        if (sample >= kWarmUp) {
            latencies.push_back(Milliseconds(farEnd.ArrivalOf(index) - typed));
        }
        RunFor(kSpacingMs);
    }
    // Anything more than was typed came from somewhere else.
    RunFor(100);
    if (farEnd.Count() != static_cast<std::size_t>(kWarmUp + count)) {
        return std::to_string(farEnd.Count()) + " characters arrived for " +
               std::to_string(kWarmUp + count) + " typed";
    }
    return {};
}

std::optional<int> ParseCount(const char* text) {
    const std::string word(text);
    if (word.empty() || word.size() > 7 ||
        !std::all_of(word.begin(), word.end(), [](unsigned char c) { return std::isdigit(c); })) {
        return std::nullopt;
    }
    const int value = std::atoi(word.c_str());
    return value >= 1 ? std::optional<int>(value) : std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    int count = kDefaultCount;
    if (argc > 1) {
        const auto parsed = ParseCount(argv[1]);
        if (!parsed) {
            std::fprintf(stderr,
                         "bench_typed_latency: '%s' is not a sample count (1 to 9999999)\n"
                         "usage: bench_typed_latency [count]\n",
                         argv[1]);
            return 2;
        }
        count = *parsed;
    }

    bench::PrivateDirectories directories("bench-typed");
    if (!directories.Made()) {
        std::fprintf(stderr, "bench_typed_latency: no temporary directory could be made\n");
        return 1;
    }
    if (!(std::ofstream(directories.ConfigDir() + "/ports.conf")
          << "COM1 = sim:null-modem/t/A\nCOM2 = sim:null-modem/t/B\n")) {
        std::fprintf(stderr, "bench_typed_latency: the port map could not be written\n");
        return 1;
    }
    bench::UseOffscreenPlatformWithoutDisplay();

    QApplication app(argc, argv);
    platform::ScriptedPrompts prompts;
    platform::SetPromptService(&prompts);
    FillDefaultPortConfig(DefaultPortConfig());
    CreateProcessEvents();
    ProcessPreferences() = Preferences{};
    ProcessDisplayFlags().Initialize(DisplayPreferences{}, false, 0);

    std::string invalid;
    std::vector<double> latencies;
    {
        auto frame = std::make_unique<CMainFrame>(prompts);
        frame->resize(1000, 700);
        FarEnd farEnd;
        if (!frame->Create("")) {
            invalid = "the main frame was not created";
        } else {
            ProcessPreferences().confirmationOnExit = 0;
            ProcessPreferences().saveSettingsOnExit = 0;
            frame->show();
            frame->CreatePortWindow("COM1");
            CPortMDIChildWnd* window =
                frame->PortFrames().empty() ? nullptr : frame->PortFrames().front();
            if (window == nullptr) {
                invalid = "the window of COM1 was not created";
            } else if (!RunUntil([&] { return window->State().isOpen.load(); }, 20000)) {
                invalid = "COM1 did not open";
            } else if (std::string failed = farEnd.Open("\\\\.\\COM2"); !failed.empty()) {
                invalid = failed;
            } else {
                RunFor(200);
                invalid = Measure(*window, farEnd, count, latencies);
            }
        }
        if (invalid.empty() && prompts.Count() != 0) {
            invalid = "a message box was shown: \"" + prompts.Records().front().text + "\"";
        }
        farEnd.Close();
        ProcessPreferences().confirmationOnExit = 0;
        frame.reset();
    }
    CloseProcessEvents();
    platform::SetPromptService(nullptr);

    if (!invalid.empty()) {
        std::printf("bench_typed_latency: INVALID RUN: %s\n", invalid.c_str());
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    double sum = 0;
    for (const double latency : latencies) {
        sum += latency;
    }
    std::printf(
        "typed character to the far end of the line (COM1 window -> COM2, 115200 baud, "
        "%zu samples after %d warm-up, %d ms apart):\n"
        "  p50 %.3f ms   p99 %.3f ms   max %.3f ms   (min %.3f, mean %.3f; the line time "
        "of one character is 0.087 ms;\n   the simulated line delivers in batches at least 1 ms "
        "apart)\n",
        latencies.size(), kWarmUp, kSpacingMs, Percentile(latencies, 0.50),
        Percentile(latencies, 0.99), latencies.back(), latencies.front(),
        sum / static_cast<double>(latencies.size()));
    return 0;
}
