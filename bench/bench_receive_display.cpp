// What receiving costs with the display visible. One port window, on a pseudo-terminal fed with
// lines of text at the 921600-baud line rate (92,160 B/s) and at 1 MB/s, and two windows on a
// simulated null-modem pair at 4,000,000 baud sending the test pattern to each other. Per run it
// prints the CPU time per megabyte received of the process (without the feeder thread) and of
// the GUI thread, the threads that used the most, the bytes lost and the resident memory.
//
//   bench_receive_display [seconds]     feeding time per run (default 15, or RECEIVE_SECONDS)
//   RECEIVE_RUNS=ab                     only the runs named: a 92,160 B/s, b 1 MB/s, c null-modem
//
// The feeder writes to the pseudo-terminal without blocking, as a line delivers its bytes
// whether or not anyone reads them: what the terminal cannot take because its queue is full is
// counted as lost, as a real line's overflow would be. The received count comes from the
// window's statistics report (kilobytes with six significant digits). A run whose port did not
// open or whose report could not be read is marked INVALID and the program ends with status 1.

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <pty.h>
#include <unistd.h>

#include <QApplication>
#include <QMdiArea>
#include <QPaintEvent>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/gui_bench_support.h"
#include "platform/ui/prompts.h"
#include "terminal/app/qt/main_frame.h"
#include "terminal/app/preferences.h"
#include "terminal/config/port_config.h"
#include "terminal/resources/halvo_resources.h"
#include "terminal/session/qt/port_mdi_child_wnd.h"
#include "terminal/session/process_events.h"
#include "terminal/session/qt/report_widget.h"
#include "terminal/session/view_flags.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

using bench::RunFor;
using bench::RunUntil;

constexpr int kDefaultSeconds = 15;
constexpr QSize kFrameSize(1200, 800);
constexpr double kMegabyte = 1024.0 * 1024.0;

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

double ClockSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Every thread of the process by its id: name, user+system CPU seconds and the times it was
// switched out (woken again later) so far.
struct ThreadTime {
    std::string name;
    double cpu = 0;
    double switches = 0;
};

std::map<long, ThreadTime> ThreadTimes() {
    std::map<long, ThreadTime> times;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        std::getline(stat, text);
        const std::size_t open = text.find('(');
        const std::size_t close = text.rfind(')');
        if (open == std::string::npos || close == std::string::npos) {
            continue;
        }
        ThreadTime thread;
        thread.name = text.substr(open + 1, close - open - 1);
        // After the name: state, then fields 4..; utime and stime are fields 14 and 15.
        std::istringstream rest(text.substr(close + 2));
        std::string field;
        double utime = 0;
        double stime = 0;
        for (int number = 3; number <= 15 && rest >> field; ++number) {
            if (number == 14) {
                utime = std::atof(field.c_str());
            } else if (number == 15) {
                stime = std::atof(field.c_str());
            }
        }
        thread.cpu = (utime + stime) / tick;
        std::ifstream status(entry.path() / "status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.find("ctxt_switches:") != std::string::npos) {
                thread.switches += std::atof(line.c_str() + line.find(':') + 1);
            }
        }
        times[std::atol(entry.path().filename().c_str())] = thread;
    }
    return times;
}

long StatusKib(const char* label) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::char_traits<char>::length(label);
    while (std::getline(status, line)) {
        if (line.compare(0, length, label) == 0) {
            return std::atol(line.c_str() + length);
        }
    }
    return -1;
}

// Lines of text as a device would print them: numbered, 78 characters and CR LF.
std::string TextStream() {
    std::string text;
    for (int line = 0; line < 1000; ++line) {
        char buffer[96];
        std::snprintf(
            buffer, sizeof buffer,
            "%06d the quick brown fox jumps over the lazy dog 0123456789 ABCDEFGHIJKLMNOP\r\n",
            line);
        text += buffer;
    }
    return text;
}

// Counts the paint events of every kind of widget and the pixels they cover: what the GUI
// thread spends its time on while data streams.
class PaintCounter : public QObject {
  public:
    struct Count {
        long paints = 0;
        double pixels = 0;
    };
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Paint && counting_) {
            std::string name = object->metaObject()->className();
            if (name == "QWidget" && object->parent() != nullptr)
                name += std::string(" in ") + object->parent()->metaObject()->className();
            Count& count = counts_[name];
            ++count.paints;
            for (const QRect& rect : static_cast<QPaintEvent*>(event)->region())
                count.pixels += static_cast<double>(rect.width()) * rect.height();
        }
        return false;
    }
    void Start() {
        counts_.clear();
        counting_ = true;
    }
    std::vector<std::pair<std::string, Count>> Stop() {
        counting_ = false;
        std::vector<std::pair<std::string, Count>> sorted(counts_.begin(), counts_.end());
        std::sort(sorted.begin(), sorted.end(),
                  [](const auto& a, const auto& b) { return a.second.pixels > b.second.pixels; });
        sorted.resize(std::min<std::size_t>(sorted.size(), 4));
        return sorted;
    }

  private:
    bool counting_ = false;
    std::map<std::string, Count> counts_;
};

PaintCounter* paintCounter = nullptr;

struct RunResult {
    std::string name;
    std::string invalid;
    double seconds = NAN;
    double offered = 0;  // bytes the line delivered (or the senders wrote)
    double dropped = 0;  // bytes the pty could not take: a real line's overflow
    double receivedK = NAN;
    double sentK = NAN;  // null-modem: what the senders' devices took
    double processCpu = NAN;
    double guiCpu = NAN;
    double feederCpu = 0;
    std::vector<std::pair<std::string, ThreadTime>> threads;          // the busiest, by name
    std::vector<std::pair<std::string, PaintCounter::Count>> paints;  // the most pixels
    long peakKib = -1;
    long residentKib = -1;
    double loadBefore = NAN;
    double loadAfter = NAN;
    double resolutionBytes = NAN;
};

// One main frame with its port windows, the ports named in `map`.
class Round {
  public:
    Round(std::string name, int seconds) : seconds_(seconds) { result_.name = std::move(name); }

    RunResult& Result() { return result_; }

    bool Start(const std::string& configDir, const std::string& map,
               const std::vector<std::string>& ports) {
        std::ofstream(configDir + "/ports.conf") << map;
        platform::SetPromptService(&prompts_);
        ProcessPreferences() = Preferences{};
        ProcessDisplayFlags().Initialize(DisplayPreferences{}, false, 0);
        frame_ = std::make_unique<CMainFrame>(prompts_);
        frame_->resize(kFrameSize);
        if (!frame_->Create("")) {
            return Invalid("the main frame was not created");
        }
        ProcessPreferences().confirmationOnExit = 0;
        ProcessPreferences().saveSettingsOnExit = 0;
        frame_->show();
        RunUntil([&] { return frame_->MdiArea()->viewport()->width() > 0; }, 5000);
        for (const std::string& port : ports) {
            if (!frame_->CreatePortWindow(port)) {
                return Invalid("the window of " + port + " was not created");
            }
        }
        frame_->Arrange(Arrangement::Vertical);
        const auto ready = [&] {
            const auto frames = frame_->PortFrames();
            return std::all_of(frames.begin(), frames.end(), [](CPortMDIChildWnd* port) {
                return port->State().isOpen.load() && port->State().receiving.load() &&
                       port->isVisible();
            });
        };
        if (!RunUntil(ready, 30000)) {
            return Invalid("the ports did not open and start receiving");
        }
        if (prompts_.Count() != 0) {
            return Invalid("a message box was shown: " + prompts_.Records().front().text);
        }
        RunFor(500);
        return true;
    }

    // The measured period: `feed` runs meanwhile (on the GUI thread's event loop).
    void Measure(const std::function<void()>& begin, const std::function<void()>& end) {
        malloc_trim(0);
        result_.loadBefore = bench::LoadAverage();
        const auto threads = ThreadTimes();
        const double process = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const double gui = ClockSeconds(CLOCK_THREAD_CPUTIME_ID);
        const Clock::time_point start = Clock::now();
        paintCounter->Start();
        begin();
        RunFor(seconds_ * 1000);
        end();
        result_.seconds = Seconds(Clock::now() - start);
        result_.paints = paintCounter->Stop();
        // What is still queued arrives, and is paid for, before the clocks are read.
        RunFor(1000);
        result_.processCpu = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID) - process;
        result_.guiCpu = ClockSeconds(CLOCK_THREAD_CPUTIME_ID) - gui;
        result_.loadAfter = bench::LoadAverage();
        std::map<std::string, ThreadTime> byName;
        for (const auto& [id, now] : ThreadTimes()) {
            const auto was = threads.find(id);
            ThreadTime& sum = byName[now.name];
            sum.cpu += now.cpu - (was != threads.end() ? was->second.cpu : 0);
            sum.switches += now.switches - (was != threads.end() ? was->second.switches : 0);
        }
        result_.threads.assign(byName.begin(), byName.end());
        std::sort(result_.threads.begin(), result_.threads.end(),
                  [](const auto& a, const auto& b) { return a.second.cpu > b.second.cpu; });
        result_.threads.resize(std::min<std::size_t>(result_.threads.size(), 4));
        result_.residentKib = StatusKib("VmRSS:");
        result_.peakKib = StatusKib("VmHWM:");
    }

    // The report's counts of `port`: received and sent kilobytes.
    bool ReadCounts(const std::string& port, double& receivedK, double& sentK) {
        CPortMDIChildWnd* frame = nullptr;
        for (CPortMDIChildWnd* candidate : frame_->PortFrames()) {
            if (candidate->PortName() == port) {
                frame = candidate;
            }
        }
        if (frame == nullptr) {
            return Invalid("no window of " + port);
        }
        if (!frame->ShowsReport()) {
            frame_->OnCommand(ID_CHANGE_VIEW_ALL);
        }
        const auto shown = [&] {
            return frame->ShowsReport() &&
                   bench::NumberAfter(frame->Report()->Text(), "Total Bytes Received  : ")
                       .has_value();
        };
        if (!RunUntil(shown, 20000)) {
            return Invalid("the statistics report of " + port + " was not shown");
        }
        // A report is redrawn every two seconds; the counts hold once two in a row agree.
        std::optional<double> last;
        for (int attempt = 0; attempt < 5; ++attempt) {
            const std::string text = frame->Report()->Text();
            const auto received = bench::NumberAfter(text, "Total Bytes Received  : ");
            const auto sent = bench::NumberAfter(text, "Total Bytes Transfered: ");
            if (received && sent && last && *last == *received) {
                receivedK = *received;
                sentK = *sent;
                return true;
            }
            last = received;
            RunUntil([&] { return frame->Report()->Text() != text; }, 20000);
        }
        return Invalid("the counts of " + port + " did not settle");
    }

    void Close() {
        if (frame_) {
            frame_.reset();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        platform::SetPromptService(nullptr);
    }

    bool Invalid(const std::string& why) {
        if (result_.invalid.empty()) {
            result_.invalid = why;
        }
        std::fprintf(stderr, "  %s: INVALID: %s\n", result_.name.c_str(), why.c_str());
        return false;
    }

    CMainFrame& Frame() { return *frame_; }

  private:
    const int seconds_;
    platform::ScriptedPrompts prompts_;
    std::unique_ptr<CMainFrame> frame_;
    RunResult result_;
};

// Writes the text stream into the pty's master at `rate` bytes per second, a millisecond's
// worth at a time on schedule, never blocking.
class Feeder {
  public:
    Feeder(int master, double rate) : master_(master), rate_(rate), text_(TextStream()) {}
    ~Feeder() { Stop(); }

    void Start() {
        thread_ = std::thread([this] { Run(); });
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    double Offered() const { return offered_; }
    double Dropped() const { return dropped_; }
    double Cpu() const { return cpu_; }

  private:
    void Run() {
        const double cpu = ClockSeconds(CLOCK_THREAD_CPUTIME_ID);
        auto next = Clock::now();
        double owed = 0;
        std::size_t at = 0;
        while (!stop_) {
            owed += rate_ / 1000.0;
            auto due = static_cast<std::size_t>(owed);
            owed -= static_cast<double>(due);
            offered_ += static_cast<double>(due);
            while (due > 0) {
                const std::size_t piece = std::min(due, text_.size() - at);
                const ssize_t written = write(master_, text_.data() + at, piece);
                if (written <= 0) {
                    // The terminal's queue is full: the rest of this millisecond is lost.
                    dropped_ += static_cast<double>(due);
                    break;
                }
                const auto count = static_cast<std::size_t>(written);
                at = (at + count) % text_.size();
                due -= count;
            }
            next += 1ms;
            std::this_thread::sleep_until(next);
        }
        cpu_ = ClockSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu;
    }

    const int master_;
    const double rate_;
    const std::string text_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    double offered_ = 0;
    double dropped_ = 0;
    double cpu_ = 0;
};

double Resolution(double largestK) {
    const double digits = largestK >= 1 ? std::floor(std::log10(largestK)) + 1 : 1;
    return std::pow(10.0, digits - 6) * 1024.0;
}

RunResult PtyRun(const std::string& configDir, const char* name, double rate, int seconds) {
    Round round(name, seconds);
    std::fprintf(stderr, "  %s\n", name);
    int master = -1;
    int slave = -1;
    char path[128];
    if (openpty(&master, &slave, path, nullptr, nullptr) != 0) {
        round.Invalid("no pseudo-terminal");
        return round.Result();
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    Feeder feeder(master, rate);
    if (round.Start(configDir, std::string("COM1 = ") + path + "\n", {"COM1"})) {
        round.Measure([&] { feeder.Start(); }, [&] { feeder.Stop(); });
        RunResult& result = round.Result();
        result.offered = feeder.Offered();
        result.dropped = feeder.Dropped();
        result.feederCpu = feeder.Cpu();
        // The feeder is not the program under test.
        result.processCpu -= result.feederCpu;
        double sentK = 0;
        if (round.ReadCounts("COM1", result.receivedK, sentK)) {
            result.resolutionBytes = Resolution(result.receivedK);
        }
    }
    round.Close();
    close(master);
    close(slave);
    return round.Result();
}

RunResult NullModemRun(const std::string& configDir, int seconds) {
    Round round("sim null-modem pair at 4000000 baud, both sending", seconds);
    std::fprintf(stderr, "  %s\n", round.Result().name.c_str());
    const PortConfig saved = DefaultPortConfig();
    DefaultPortConfig().BaudRate = 4000000;
    if (round.Start(configDir, "COM1 = sim:null-modem/fast/A\nCOM2 = sim:null-modem/fast/B\n",
                    {"COM1", "COM2"})) {
        round.Measure([&] { round.Frame().OnCommand(ID_SEND_RECEIVE_TEST_DATA); },
                      [&] { round.Frame().OnCommand(ID_STOP_SENDING_ALL); });
        RunResult& result = round.Result();
        double receivedA = 0;
        double sentA = 0;
        double receivedB = 0;
        double sentB = 0;
        if (round.ReadCounts("COM1", receivedA, sentA) &&
            round.ReadCounts("COM2", receivedB, sentB)) {
            result.receivedK = receivedA + receivedB;
            result.sentK = sentA + sentB;
            result.offered = result.sentK * 1024.0;
            result.resolutionBytes = Resolution(std::max({receivedA, receivedB, sentA, sentB}));
        }
    }
    round.Close();
    DefaultPortConfig() = saved;
    return round.Result();
}

void Print(const RunResult& r) {
    std::printf("\n%s, %.1f s (load %.1f/%.1f)\n", r.name.c_str(), r.seconds, r.loadBefore,
                r.loadAfter);
    if (!r.invalid.empty()) {
        std::printf("  INVALID RUN: %s\n", r.invalid.c_str());
        return;
    }
    const double received = r.receivedK * 1024.0;
    const double mb = received / kMegabyte;
    std::printf(
        "  offered %.0f B (%.0f B/s), received %.0f B (%.0f B/s, %.2f %% of offered), "
        "counted to %.3g B\n",
        r.offered, r.offered / r.seconds, received, received / r.seconds,
        r.offered > 0 ? 100.0 * received / r.offered : 0.0, r.resolutionBytes);
    if (std::isnan(r.sentK)) {
        std::printf(
            "  lost: %.0f B the terminal could not take (its queue full), %.0f B taken "
            "but not received\n",
            r.dropped, std::max(0.0, r.offered - r.dropped - received));
    } else {
        std::printf("  lost: %.0f B sent by the two ends but not received by their peers\n",
                    std::max(0.0, r.sentK * 1024.0 - received));
    }
    std::printf(
        "  CPU per MB received: process %.3f s/MB (%.1f %% of a core), GUI thread %.3f "
        "s/MB (%.1f %%)%s\n",
        mb > 0 ? r.processCpu / mb : NAN, 100.0 * r.processCpu / r.seconds,
        mb > 0 ? r.guiCpu / mb : NAN, 100.0 * r.guiCpu / r.seconds,
        r.feederCpu > 0 ? " (feeder thread left out)" : "");
    std::printf(
        "  busiest threads (CPU, wake-ups; threads of one name together; the feeder thread\n   is "
        "among the main program's):");
    for (const auto& [name, thread] : r.threads) {
        std::printf(" %s %.2f s, %.0f wake-ups/s;", name.c_str(), thread.cpu,
                    thread.switches / r.seconds);
    }
    std::printf("\n  paints:");
    for (const auto& [name, count] : r.paints) {
        std::printf(" %s %.1f/s %.0f kpx/s;", name.c_str(), count.paints / r.seconds,
                    count.pixels / r.seconds / 1000.0);
    }
    std::printf("\n  resident %ld KiB, peak %ld KiB\n", r.residentKib, r.peakKib);
}

}  // namespace

int main(int argc, char** argv) {
    const char* secondsText = argc > 1 ? argv[1] : std::getenv("RECEIVE_SECONDS");
    int seconds = kDefaultSeconds;
    if (secondsText != nullptr) {
        seconds = std::atoi(secondsText);
        if (seconds < 1 || seconds > 3600) {
            std::fprintf(stderr,
                         "bench_receive_display: '%s' is not a feeding time in seconds (1 to "
                         "3600)\n",
                         secondsText);
            return 2;
        }
    }
    bench::PrivateDirectories directories("bench-receive");
    if (!directories.Made()) {
        std::fprintf(stderr, "bench_receive_display: no temporary directory could be made\n");
        return 1;
    }
    bench::UseOffscreenPlatformWithoutDisplay();

    QApplication app(argc, argv);
    std::fprintf(stderr, "bench_receive_display: %d s per run, on the %s platform\n", seconds,
                 QApplication::platformName().toUtf8().constData());
    PaintCounter counter;
    paintCounter = &counter;
    app.installEventFilter(&counter);
    FillDefaultPortConfig(DefaultPortConfig());
    CreateProcessEvents();
    // RECEIVE_RUNS picks runs by their letter: a (92,160 B/s), b (1 MB/s), c (the null-modem
    // pair); all three by default.
    const char* runsText = std::getenv("RECEIVE_RUNS");
    const std::string runs = runsText != nullptr && *runsText != '\0' ? runsText : "abc";
    std::vector<RunResult> results;
    if (runs.find('a') != std::string::npos) {
        results.push_back(
            PtyRun(directories.ConfigDir(), "pty at 92160 B/s (921600 baud)", 92160.0, seconds));
    }
    if (runs.find('b') != std::string::npos) {
        results.push_back(
            PtyRun(directories.ConfigDir(), "pty at 1 MB/s", 1024.0 * 1024.0, seconds));
    }
    if (runs.find('c') != std::string::npos) {
        results.push_back(NullModemRun(directories.ConfigDir(), seconds));
    }
    CloseProcessEvents();

    std::printf("\nhalvo2 receiving with the display visible, %s platform, frame %dx%d\n",
                QApplication::platformName().toUtf8().constData(), kFrameSize.width(),
                kFrameSize.height());
    for (const RunResult& r : results) {
        Print(r);
    }
    std::fflush(stdout);
    const bool valid = std::all_of(results.begin(), results.end(),
                                   [](const RunResult& r) { return r.invalid.empty(); });
    return valid ? 0 : 1;
}
