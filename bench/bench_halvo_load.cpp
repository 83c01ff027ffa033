// halvo2 under load: N port windows on N/2 simulated null-modem pairs at the default 115200
// baud, tiled in a 1600 x 1000 main frame, every port sending the test pattern to its peer and
// receiving the peer's for a while ("Send and Receive Test Data"). Per N it prints the process's
// CPU time as a share of one core over the sending period, the resident memory each window
// adds, how late a 10 ms timer on the GUI thread fires while the ports send, the bytes each line
// direction lost, and how long the close of all windows took. The CPU time of idle open
// windows (receiving, nothing sent) is measured in the round of that many windows, right after
// the open, or in a round of its own.
//
//   bench_halvo_load [seconds]     sending time per N (default 60, or LOAD_SECONDS)
//   LOAD_SIZES="16 64 256"         window counts, even, separated by spaces or commas
//   LOAD_IDLE_WINDOWS=256          windows of the idle measurement; 0 leaves it out
//
// The byte counts come from each window's statistics report, which shows kilobytes with six
// significant digits: below 1000K a count is known to 0.001K, about one byte. A run whose ports
// did not all open, start or stop sending, or whose reports could not be read is marked
// INVALID, and the program then ends with status 1.

#include <malloc.h>
#include <sys/resource.h>

#include <QApplication>
#include <QEventLoop>
#include <QMdiArea>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "bench/gui_bench_support.h"
#include "platform/ui/prompts.h"
#include "terminal/app/command_line.h"
#include "terminal/app/qt/main_frame.h"
#include "terminal/app/preferences.h"
#include "terminal/config/port_config.h"
#include "terminal/resources/halvo_resources.h"
#include "terminal/session/display_buffer.h"
#include "terminal/session/qt/port_mdi_child_wnd.h"
#include "terminal/session/process_events.h"
#include "terminal/session/qt/report_widget.h"
#include "terminal/session/view_flags.h"

using Clock = std::chrono::steady_clock;

namespace {

using bench::Percentile;
using bench::RunFor;
using bench::RunUntil;

constexpr int kDefaultSeconds = 60;
constexpr int kIdleSeconds = 10;
constexpr int kProbePeriodMs = 10;
constexpr QSize kFrameSize(1600, 1000);
// 115200 bit/s with 10 bits a character (8 data bits, no parity, one stop bit).
constexpr double kLineBytesPerSecond = 11520.0;

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The calling thread's own CPU time.
double ThreadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Resident memory in KiB, after handing the allocator's free pages back to the system, so that
// what earlier rounds freed does not count for or against the next one.
long ResidentKib() {
    malloc_trim(0);
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

// A periodic timer on the GUI thread that records how late each tick runs against its due
// time. A timer that runs a period or more late drops the ticks it missed and counts its next
// period from the moment it ran; each dropped tick is recorded with the delay until the run that
// stood in for it, so a long stall counts once for every period it lasted.
class LatenessProbe {
  public:
    LatenessProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kProbePeriodMs);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { Tick(); });
    }

    void Start() {
        samples_.clear();
        timer_.start();
        due_ = Clock::now() + kPeriod;
    }
    void Stop() { timer_.stop(); }
    // Lateness in ms, sorted.
    std::vector<double> Sorted() const {
        std::vector<double> sorted = samples_;
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }

  private:
    static constexpr Clock::duration kPeriod = std::chrono::milliseconds(kProbePeriodMs);

    void Record(Clock::time_point now, Clock::time_point due) {
        // The clock read here runs a little behind the toolkit's, so an on-time tick may look
        // early by microseconds.
        samples_.push_back(std::max(0.0, Seconds(now - due) * 1000.0));
    }

    void Tick() {
        const Clock::time_point now = Clock::now();
        Record(now, due_);
        Clock::time_point next = due_ + kPeriod;
        if (next <= now) {
            while (next <= now) {
                Record(now, next);
                next += kPeriod;
            }
            next = now + kPeriod;
        }
        due_ = next;
    }

    QTimer timer_;
    Clock::time_point due_;
    std::vector<double> samples_;
};

// COM1..COM<n>, odd and even numbers the two ends of one cable each.
bool WritePortMap(const std::string& configDir, int ports) {
    std::ofstream map(configDir + "/ports.conf");
    for (int number = 1; number <= ports; ++number) {
        map << "COM" << number << " = sim:null-modem/p" << (number + 1) / 2 << '/'
            << (number % 2 == 1 ? 'A' : 'B') << '\n';
    }
    return static_cast<bool>(map.flush());
}

// Reads a whole positive number no greater than `limit`; nothing for anything else.
std::optional<int> ParseCount(const std::string& text, int limit) {
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
        return std::nullopt;
    }
    const int value = std::atoi(text.c_str());
    if (value < 1 || value > limit) {
        return std::nullopt;
    }
    return value;
}

struct ReportCounts {
    double sentK = 0;
    double receivedK = 0;
    unsigned long errors = 0;
    bool operator==(const ReportCounts&) const = default;
};

std::optional<ReportCounts> CountsOf(const std::string& report) {
    const auto sent = bench::NumberAfter(report, "Total Bytes Transfered: ");
    const auto received = bench::NumberAfter(report, "Total Bytes Received  : ");
    const auto errors = bench::NumberAfter(report, "Total Errors     : ");
    if (!sent || !received || !errors) {
        return std::nullopt;
    }
    return ReportCounts{*sent, *received, static_cast<unsigned long>(*errors)};
}

struct RoundResult {
    int windows = 0;
    std::string invalid;  // why the figures cannot be trusted; empty when they can
    double openSeconds = NAN;
    QSize tile;
    double sendSeconds = NAN;
    double cpuPercent = NAN;
    double guiCpuPercent = NAN;
    double loadBefore = NAN;
    double loadAfter = NAN;
    double idleCpuPercent = NAN;
    double idleGuiCpuPercent = NAN;
    double kibPerWindowOpen = NAN;
    double kibPerWindowFull = NAN;
    std::size_t displayMinChars = 0;
    std::size_t probeSamples = 0;
    double latencyP50 = NAN;
    double latencyP99 = NAN;
    double latencyMax = NAN;
    double sentBytes = 0;
    double lineUsePercent = NAN;
    long long lostTotal = 0;
    long long lostWorst = 0;
    std::string lostWorstDirection;
    unsigned long errors = 0;
    double resolutionBytes = NAN;
    double closeSeconds = NAN;
    std::vector<std::string> prompts;
};

class LoadRound {
  public:
    LoadRound(int windows, int sendSeconds, bool measureIdle)
        : windows_(windows), sendSeconds_(sendSeconds), measureIdle_(measureIdle) {
        result_.windows = windows;
    }

    RoundResult Run(const std::string& configDir) {
        if (!WritePortMap(configDir, windows_)) {
            return Invalid("the port map could not be written");
        }
        platform::SetPromptService(&prompts_);
        ProcessPreferences() = Preferences{};
        ProcessDisplayFlags().Initialize(DisplayPreferences{}, false, 0);
        frame_ = std::make_unique<CMainFrame>(prompts_);
        frame_->resize(kFrameSize);
        if (!frame_->Create("")) {
            return Finish(Invalid("the main frame was not created"));
        }
        // Nothing may stop the run to ask: no question at the close, nothing stored.
        ProcessPreferences().confirmationOnExit = 0;
        ProcessPreferences().saveSettingsOnExit = 0;
        frame_->show();
        RunUntil([&] { return frame_->MdiArea()->viewport()->width() > 0; }, 5000);
        RunFor(100);

        if (Open() && (!measureIdle_ || Idle()) && Send() && Count()) {
            Progress("done");
        }
        return Finish(result_);
    }

  private:
    void Progress(const std::string& what) const {
        std::fprintf(stderr, "  N=%d: %s\n", windows_, what.c_str());
    }

    RoundResult& Invalid(const std::string& why) {
        if (result_.invalid.empty()) {
            result_.invalid = why;
        }
        Progress("INVALID: " + why);
        return result_;
    }

    bool NoPrompts() {
        if (prompts_.Count() == 0) {
            return true;
        }
        Invalid("a message box was shown: \"" + prompts_.Records().front().text + "\"");
        return false;
    }

    std::vector<CPortMDIChildWnd*> Ports() const { return frame_->PortFrames(); }

    int CountPorts(const std::function<bool(CPortMDIChildWnd*)>& test) const {
        const auto ports = Ports();
        return static_cast<int>(std::count_if(ports.begin(), ports.end(), test));
    }

    bool Open() {
        const long before = ResidentKib();
        const Clock::time_point start = Clock::now();
        for (int number = 1; number <= windows_; ++number) {
            if (!frame_->CreatePortWindow("COM" + std::to_string(number))) {
                Invalid("the window of COM" + std::to_string(number) + " was not created");
                return false;
            }
        }
        frame_->Arrange(Arrangement::Vertical);
        const auto ready = [](CPortMDIChildWnd* port) {
            return port->State().isOpen.load() && port->State().receiving.load();
        };
        // A port that could not be opened says so in its display.
        const auto refused = [](CPortMDIChildWnd* port) {
            return port->Display().GetText().find("Can't open the port") != std::string::npos;
        };
        // Generous: an open should take milliseconds, but a loaded machine may be far slower.
        const int deadlineMs = 30000 + windows_ * 250;
        const bool opened = RunUntil(
            [&] { return CountPorts(ready) == windows_ || CountPorts(refused) > 0; }, deadlineMs);
        result_.openSeconds = Seconds(Clock::now() - start);
        if (CountPorts(refused) > 0) {
            for (CPortMDIChildWnd* port : Ports()) {
                if (refused(port)) {
                    Invalid(port->PortName() + " could not be opened (and " +
                            std::to_string(CountPorts(refused) - 1) + " more)");
                    return false;
                }
            }
        }
        if (!opened) {
            Invalid(std::to_string(CountPorts(ready)) + " of " + std::to_string(windows_) +
                    " ports open and receiving after " + std::to_string(deadlineMs / 1000) + " s");
            return false;
        }
        if (!NoPrompts()) {
            return false;
        }
        const auto ports = Ports();
        result_.tile = ports.front()->size();
        const int visible = CountPorts([](CPortMDIChildWnd* port) { return port->isVisible(); });
        if (visible != windows_) {
            Invalid(std::to_string(windows_ - visible) + " windows are not visible");
            return false;
        }
        RunFor(500);
        before_ = before;
        result_.kibPerWindowOpen = static_cast<double>(ResidentKib() - before) / windows_;
        char text[96];
        std::snprintf(text, sizeof text, "%d windows open and receiving in %.1f s", windows_,
                      result_.openSeconds);
        Progress(text);
        return true;
    }

    bool Idle() {
        Progress("idle for " + std::to_string(kIdleSeconds) + " s");
        RunFor(1000);
        const double cpu = CpuSeconds();
        const double gui = ThreadCpuSeconds();
        const Clock::time_point start = Clock::now();
        RunFor(kIdleSeconds * 1000);
        const double elapsed = Seconds(Clock::now() - start);
        result_.idleCpuPercent = 100.0 * (CpuSeconds() - cpu) / elapsed;
        result_.idleGuiCpuPercent = 100.0 * (ThreadCpuSeconds() - gui) / elapsed;
        return NoPrompts();
    }

    bool Send() {
        if (sendSeconds_ == 0) {
            return true;
        }
        Progress("sending for " + std::to_string(sendSeconds_) + " s");
        const auto sending = [](CPortMDIChildWnd* port) { return port->State().sending.load(); };
        result_.loadBefore = bench::LoadAverage();
        const double cpu = CpuSeconds();
        const double gui = ThreadCpuSeconds();
        const Clock::time_point start = Clock::now();
        probe_.Start();
        frame_->OnCommand(ID_SEND_RECEIVE_TEST_DATA);
        const int periodMs = sendSeconds_ * 1000;
        const bool started = RunUntil([&] { return CountPorts(sending) == windows_; }, periodMs);
        const int startedSending = CountPorts(sending);
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::milliseconds(periodMs) - (Clock::now() - start));
        if (remaining.count() > 0) {
            RunFor(static_cast<int>(remaining.count()));
        }
        frame_->OnCommand(ID_STOP_SENDING_ALL);
        probe_.Stop();
        result_.sendSeconds = Seconds(Clock::now() - start);
        result_.cpuPercent = 100.0 * (CpuSeconds() - cpu) / result_.sendSeconds;
        result_.guiCpuPercent = 100.0 * (ThreadCpuSeconds() - gui) / result_.sendSeconds;
        result_.loadAfter = bench::LoadAverage();

        const std::vector<double> lateness = probe_.Sorted();
        result_.probeSamples = lateness.size();
        result_.latencyP50 = Percentile(lateness, 0.50);
        result_.latencyP99 = Percentile(lateness, 0.99);
        result_.latencyMax = lateness.empty() ? NAN : lateness.back();

        if (!started) {
            Invalid("only " + std::to_string(startedSending) + " of " + std::to_string(windows_) +
                    " ports started sending");
            return false;
        }
        if (!RunUntil([&] { return CountPorts(sending) == 0; }, 30000)) {
            Invalid(std::to_string(CountPorts(sending)) + " ports did not stop sending");
            return false;
        }
        // The quiet second: what is still on the lines arrives.
        RunFor(1000);
        std::size_t least = DisplayBuffer::kTextLimit;
        for (CPortMDIChildWnd* port : Ports()) {
            least = std::min(least, port->Display().GetTextLength());
        }
        result_.displayMinChars = least;
        result_.kibPerWindowFull = static_cast<double>(ResidentKib() - before_) / windows_;
        return NoPrompts();
    }

    // Every port's counts from its statistics report, once two reports in a row agree.
    std::optional<std::vector<ReportCounts>> ReadReports() {
        const auto ports = Ports();
        const auto texts = [&] {
            std::vector<std::string> all;
            for (CPortMDIChildWnd* port : ports) {
                all.push_back(port->Report()->Text());
            }
            return all;
        };
        const auto counts = [&]() -> std::optional<std::vector<ReportCounts>> {
            std::vector<ReportCounts> all;
            for (CPortMDIChildWnd* port : ports) {
                const auto one = CountsOf(port->Report()->Text());
                if (!one) {
                    return std::nullopt;
                }
                all.push_back(*one);
            }
            return all;
        };
        frame_->OnCommand(ID_CHANGE_VIEW_ALL);
        if (!RunUntil(
                [&] {
                    return CountPorts([](CPortMDIChildWnd* port) {
                               return port->ShowsReport() && !port->Report()->Text().empty();
                           }) == windows_;
                },
                20000)) {
            Invalid("the statistics reports were not shown");
            return std::nullopt;
        }
        auto last = counts();
        for (int attempt = 0; attempt < 5 && last; ++attempt) {
            const std::vector<std::string> shown = texts();
            // A report is redrawn every two seconds; its time lines change each time.
            const bool redrawn = RunUntil(
                [&] {
                    for (std::size_t i = 0; i < ports.size(); ++i) {
                        if (ports[i]->Report()->Text() == shown[i]) {
                            return false;
                        }
                    }
                    return true;
                },
                20000);
            if (!redrawn) {
                Invalid("the statistics reports were not redrawn");
                return std::nullopt;
            }
            auto now = counts();
            if (now && *now == *last) {
                return now;
            }
            last = std::move(now);
        }
        Invalid(last ? "the byte counts did not settle" : "a report could not be read");
        return std::nullopt;
    }

    bool Count() {
        if (sendSeconds_ == 0) {
            return true;
        }
        const auto counts = ReadReports();
        if (!counts) {
            return false;
        }
        std::map<std::string, std::size_t> index;
        const auto ports = Ports();
        for (std::size_t i = 0; i < ports.size(); ++i) {
            index[ports[i]->PortName()] = i;
        }
        double largestK = 0;
        result_.lostWorst = std::numeric_limits<long long>::min();
        for (int a = 1; a < windows_; a += 2) {
            const std::string nameA = "COM" + std::to_string(a);
            const std::string nameB = "COM" + std::to_string(a + 1);
            const ReportCounts& countsA = (*counts)[index.at(nameA)];
            const ReportCounts& countsB = (*counts)[index.at(nameB)];
            for (const auto& [from, to, fromName, toName] :
                 {std::tuple{&countsA, &countsB, nameA, nameB},
                  std::tuple{&countsB, &countsA, nameB, nameA}}) {
                const auto lost = std::llround((from->sentK - to->receivedK) * 1024.0);
                result_.lostTotal += lost;
                if (lost > result_.lostWorst) {
                    result_.lostWorst = lost;
                    result_.lostWorstDirection = fromName + "->" + toName;
                }
                result_.sentBytes += from->sentK * 1024.0;
                largestK = std::max({largestK, from->sentK, to->receivedK});
            }
            result_.errors += countsA.errors + countsB.errors;
        }
        result_.lineUsePercent =
            100.0 * result_.sentBytes / (windows_ * kLineBytesPerSecond * result_.sendSeconds);
        // Six significant digits of a count in K.
        const double digits = largestK >= 1 ? std::floor(std::log10(largestK)) + 1 : 1;
        result_.resolutionBytes = std::pow(10.0, digits - 6) * 1024.0;
        return true;
    }

    RoundResult Finish(RoundResult& result) {
        for (const auto& record : prompts_.Records()) {
            result.prompts.push_back(record.text);
        }
        if (frame_) {
            // No question at the close; every port closes and its thread ends before this returns.
            ProcessPreferences().confirmationOnExit = 0;
            Progress("closing");
            const Clock::time_point start = Clock::now();
            frame_.reset();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            result.closeSeconds = Seconds(Clock::now() - start);
        }
        platform::SetPromptService(nullptr);
        return result;
    }

    const int windows_;
    const int sendSeconds_;
    const bool measureIdle_;
    platform::ScriptedPrompts prompts_;
    std::unique_ptr<CMainFrame> frame_;
    LatenessProbe probe_;
    long before_ = 0;
    RoundResult result_;
};

std::string Figure(double value, const char* format) {
    if (std::isnan(value)) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void PrintTable(const std::vector<RoundResult>& results, int seconds) {
    std::printf(
        "\nhalvo2 load: N port windows on N/2 null-modem pairs at 115200 baud, %d s of "
        "Send and Receive Test Data\n",
        seconds);
    const char* const row = "%5s %7s %6s %6s %8s %8s %8s %8s %8s %7s %8s %8s %7s %8s %9s\n";
    std::printf(row, "N", "open s", "CPU %", "GUI %", "KiB/w op", "KiB/w fu", "lat p50", "lat p99",
                "lat max", "line %", "lost B", "worst B", "errors", "close s", "load 1m");
    for (const RoundResult& r : results) {
        const bool counted = !std::isnan(r.resolutionBytes);
        const std::string load = Figure(r.loadBefore, "%.1f") + "/" + Figure(r.loadAfter, "%.1f");
        std::printf(row, std::to_string(r.windows).c_str(), Figure(r.openSeconds, "%.1f").c_str(),
                    Figure(r.cpuPercent, "%.1f").c_str(), Figure(r.guiCpuPercent, "%.1f").c_str(),
                    Figure(r.kibPerWindowOpen, "%.0f").c_str(),
                    Figure(r.kibPerWindowFull, "%.0f").c_str(),
                    Figure(r.latencyP50, "%.2f").c_str(), Figure(r.latencyP99, "%.2f").c_str(),
                    Figure(r.latencyMax, "%.1f").c_str(), Figure(r.lineUsePercent, "%.1f").c_str(),
                    counted ? std::to_string(r.lostTotal).c_str() : "-",
                    counted ? std::to_string(r.lostWorst).c_str() : "-",
                    counted ? std::to_string(r.errors).c_str() : "-",
                    Figure(r.closeSeconds, "%.2f").c_str(), load.c_str());
    }
    std::printf(
        "\n  CPU %%: user+system time of the process over the sending period, as a share of one "
        "core; GUI %%: the GUI thread's.\n"
        "  KiB/w op, fu: resident memory per window after the open, and after the sending with "
        "the displays filled\n"
        "    (VmRSS minus VmRSS before the first window, over N; the allocator's free pages "
        "handed back first).\n"
        "  lat: lateness of a 10 ms timer on the GUI thread over the sending period, ms; a "
        "dropped tick counts too.\n"
        "  line %%: bytes the senders' devices took against the line rate (11520 bytes/s each "
        "direction); their transmit\n"
        "    buffers count too, so a short run may pass 100.\n"
        "  lost B: bytes sent by one end minus bytes received by its peer, summed over the 2 "
        "directions of N/2 pairs;\n"
        "    worst B: the worst direction. errors: line errors the ports counted.\n"
        "  load 1m: the machine's one-minute load average before and after the sending.\n");
    for (const RoundResult& r : results) {
        if (!std::isnan(r.resolutionBytes)) {
            std::printf(
                "  N=%d: windows of %dx%d px; %.0f KiB sent, counted to %.3g bytes; %zu "
                "timer ticks; least filled display %zu of %zu characters%s\n",
                r.windows, r.tile.width(), r.tile.height(), r.sentBytes / 1024.0, r.resolutionBytes,
                r.probeSamples, r.displayMinChars, DisplayBuffer::kTextLimit,
                r.lostWorst > 0 ? ("; worst " + r.lostWorstDirection).c_str() : "");
        }
        if (!r.invalid.empty()) {
            std::printf("  N=%d: INVALID RUN: %s\n", r.windows, r.invalid.c_str());
        }
        for (const std::string& prompt : r.prompts) {
            std::printf("  N=%d: message box: %s\n", r.windows, prompt.c_str());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const char* secondsText = argc > 1 ? argv[1] : std::getenv("LOAD_SECONDS");
    int seconds = kDefaultSeconds;
    if (secondsText != nullptr) {
        const auto parsed = ParseCount(secondsText, 24 * 3600);
        if (!parsed) {
            std::fprintf(stderr,
                         "bench_halvo_load: '%s' is not a sending time in seconds (1 to 86400)\n"
                         "usage: bench_halvo_load [seconds]   (env LOAD_SECONDS, LOAD_SIZES, "
                         "LOAD_IDLE_WINDOWS)\n",
                         secondsText);
            return 2;
        }
        seconds = *parsed;
    }
    std::vector<int> sizes{16, 64, 256};
    if (const char* sizesText = std::getenv("LOAD_SIZES")) {
        sizes.clear();
        std::string text(sizesText);
        std::replace(text.begin(), text.end(), ',', ' ');
        std::istringstream words(text);
        std::string word;
        while (words >> word) {
            const auto size = ParseCount(word, 4096);
            if (!size || *size % 2 != 0) {
                std::fprintf(stderr,
                             "bench_halvo_load: LOAD_SIZES: '%s' is not an even window count "
                             "(2 to 4096)\n",
                             word.c_str());
                return 2;
            }
            sizes.push_back(*size);
        }
        if (sizes.empty()) {
            std::fprintf(stderr, "bench_halvo_load: LOAD_SIZES names no window count\n");
            return 2;
        }
    }
    int idleWindows = 256;
    if (const char* idleText = std::getenv("LOAD_IDLE_WINDOWS")) {
        const auto idle =
            std::string(idleText) == "0" ? std::optional<int>(0) : ParseCount(idleText, 4096);
        if (!idle || *idle % 2 != 0) {
            std::fprintf(stderr,
                         "bench_halvo_load: LOAD_IDLE_WINDOWS: '%s' is not an even window count "
                         "(0 to 4096)\n",
                         idleText);
            return 2;
        }
        idleWindows = *idle;
    }

    bench::PrivateDirectories directories("bench-load");
    if (!directories.Made()) {
        std::fprintf(stderr, "bench_halvo_load: no temporary directory could be made\n");
        return 1;
    }
    bench::UseOffscreenPlatformWithoutDisplay();

    QApplication app(argc, argv);
    std::fprintf(stderr, "bench_halvo_load: %d s per window count, on the %s platform\n", seconds,
                 QApplication::platformName().toUtf8().constData());
    FillDefaultPortConfig(DefaultPortConfig());
    // The events exist before the first port window, which may end its thread at once.
    CreateProcessEvents();

    std::vector<RoundResult> results;
    bool idleMeasured = false;
    RoundResult idle;
    for (const int windows : sizes) {
        const bool measureIdle = windows == idleWindows && !idleMeasured;
        results.push_back(LoadRound(windows, seconds, measureIdle).Run(directories.ConfigDir()));
        if (measureIdle) {
            idle = results.back();
            idleMeasured = true;
        }
    }
    if (idleWindows > 0 && !idleMeasured) {
        idle = LoadRound(idleWindows, 0, true).Run(directories.ConfigDir());
        idleMeasured = true;
    }
    CloseProcessEvents();

    PrintTable(results, seconds);
    bool valid = std::all_of(results.begin(), results.end(),
                             [](const RoundResult& r) { return r.invalid.empty(); });
    if (idleMeasured) {
        std::printf(
            "\n%d idle open windows (receiving, nothing sent): CPU %s%% of one core over "
            "%d s (GUI thread %s%%); opened in %s s, closed in %s s%s%s\n",
            idle.windows, Figure(idle.idleCpuPercent, "%.1f").c_str(), kIdleSeconds,
            Figure(idle.idleGuiCpuPercent, "%.1f").c_str(),
            Figure(idle.openSeconds, "%.1f").c_str(), Figure(idle.closeSeconds, "%.2f").c_str(),
            idle.invalid.empty() ? "" : "\n  INVALID RUN: ", idle.invalid.c_str());
        valid = valid && idle.invalid.empty();
    }
    std::fflush(stdout);
    return valid ? 0 : 1;
}
