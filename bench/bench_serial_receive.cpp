// Receive throughput of SerialChannel::Read polled every 25 ms, as the receive worker polls:
// from a pseudo-terminal fed at the 921600-baud line rate and as fast as the pty takes, and on
// a simulated null-modem pair at 921600 baud. Prints bytes lost, the achieved rate as a share
// of the line rate, and CPU time per megabyte.
//
//   bench_serial_receive [seconds-per-scenario]   (default 5)

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "terminal/config/port_config.h"
#include "terminal/serial/serial_channel.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kLineRate = 921600.0 / 10.0;  // bytes per second at 921600 baud, 8N1
constexpr auto kPollPeriod = 25ms;

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct Result {
    const char* name;
    double seconds = 0;
    unsigned long long sent = 0;
    unsigned long long received = 0;
    double readerCpu = 0;
    double processCpu = 0;
    double lineRate = 0;  // 0: no line rate, the feed is as fast as it goes
};

// Polls the channel like the receive worker until `stop`, then one quiet second more.
struct Reader {
    SerialChannel& channel;
    DWORD maxBytes;
    std::atomic<bool>& feeding;
    unsigned long long received = 0;
    unsigned long long receivedWhileFeeding = 0;
    double cpu = 0;

    void Run() {
        std::string buffer(maxBytes + 1, '\0');
        const double cpu0 = ThreadCpuSeconds();
        auto next = Clock::now();
        Clock::time_point quietUntil{};
        for (;;) {
            DWORD count = 0;
            if (channel.Read(buffer.data(), maxBytes, count)) {
                received += count;
            }
            if (feeding.load()) {
                receivedWhileFeeding = received;
            } else if (quietUntil == Clock::time_point{}) {
                quietUntil = Clock::now() + 1s;
            } else if (Clock::now() >= quietUntil) {
                break;
            }
            next += kPollPeriod;
            std::this_thread::sleep_until(next);
        }
        cpu = ThreadCpuSeconds() - cpu0;
    }
};

std::string MakeConfigDir() {
    char pattern[] = "/tmp/quenby-bench-XXXXXX";
    std::string root = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", root.c_str(), 1);
    std::filesystem::create_directories(root + "/quenby");
    return root;
}

void WriteMap(const std::string& root, const std::string& text) {
    std::ofstream(root + "/quenby/ports.conf") << text;
}

PortConfig Config921600() {
    PortConfig config;
    FillDefaultPortConfig(config);
    config.BaudRate = 921600;
    return config;
}

Result PtyScenario(const char* name, double seconds, bool paced, DWORD maxBytes) {
    const std::string root = MakeConfigDir();
    int master = -1;
    int slave = -1;
    char path[128];
    openpty(&master, &slave, path, nullptr, nullptr);
    WriteMap(root, std::string("COM5 = ") + path + "\n");

    SerialChannel channel(5, Config921600(), nullptr);
    if (channel.Open() != OPEN_SUCCESS) {
        std::fprintf(stderr, "%s: the pty did not open\n", name);
        std::exit(1);
    }
    std::atomic<bool> feeding{true};
    Reader reader{channel, maxBytes, feeding};
    Result result{name};
    result.lineRate = paced ? kLineRate : 0;

    const double process0 = ProcessCpuSeconds();
    const auto start = Clock::now();
    std::thread readerThread([&] { reader.Run(); });
    std::string chunk(4096, 'U');
    const auto end = start + std::chrono::duration<double>(seconds);
    if (paced) {
        // One millisecond's worth of the line at a time, kept on schedule.
        auto next = start;
        double owed = 0;
        while (Clock::now() < end) {
            owed += kLineRate / 1000.0;
            const auto n = static_cast<std::size_t>(owed);
            owed -= static_cast<double>(n);
            std::size_t done = 0;
            while (done < n) {
                const ssize_t w = write(master, chunk.data(), n - done);
                if (w > 0) {
                    done += static_cast<std::size_t>(w);
                }
            }
            result.sent += n;
            next += 1ms;
            std::this_thread::sleep_until(next);
        }
    } else {
        while (Clock::now() < end) {
            const ssize_t w = write(master, chunk.data(), chunk.size());
            if (w > 0) {
                result.sent += static_cast<unsigned long long>(w);
            }
        }
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    feeding = false;
    readerThread.join();
    result.processCpu = ProcessCpuSeconds() - process0;
    result.received = reader.received;
    result.readerCpu = reader.cpu;
    if (!paced) {
        // As fast as the pty takes: the rate is what the reader kept up with while fed.
        result.received = reader.received;
    }
    channel.CloseDevice();
    close(master);
    close(slave);
    std::filesystem::remove_all(root);
    return result;
}

Result SimScenario(double seconds) {
    const std::string root = MakeConfigDir();
    WriteMap(root, "COM1 = sim:null-modem/bench/A\nCOM2 = sim:null-modem/bench/B\n");
    SerialChannel sender(1, Config921600(), nullptr);
    SerialChannel receiver(2, Config921600(), nullptr);
    if (sender.Open() != OPEN_SUCCESS || receiver.Open() != OPEN_SUCCESS) {
        std::fprintf(stderr, "simulated pair did not open\n");
        std::exit(1);
    }
    std::atomic<bool> feeding{true};
    Reader reader{receiver, 4096, feeding};
    Result result{"sim null-modem 921600, 4096/poll"};
    result.lineRate = kLineRate;
    const double process0 = ProcessCpuSeconds();
    const auto start = Clock::now();
    std::thread readerThread([&] { reader.Run(); });
    const std::string block(4030, 'S');
    const auto end = start + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        if (sender.Write(block.data(), static_cast<DWORD>(block.size()))) {
            result.sent += block.size();
        }
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    feeding = false;
    readerThread.join();
    result.processCpu = ProcessCpuSeconds() - process0;
    result.received = reader.received;
    result.readerCpu = reader.cpu;
    std::filesystem::remove_all(root);
    return result;
}

void Print(const Result& r) {
    const double mb = static_cast<double>(r.received) / (1024.0 * 1024.0);
    const double rate = static_cast<double>(r.received) / r.seconds;
    const long long lost = static_cast<long long>(r.sent) - static_cast<long long>(r.received);
    std::printf("%-40s %7.2f s  sent %10llu  received %10llu  lost %6lld  ", r.name, r.seconds,
                r.sent, r.received, lost);
    if (r.lineRate > 0) {
        std::printf("rate %9.0f B/s = %6.2f%% of line  ", rate, 100.0 * rate / r.lineRate);
    } else {
        std::printf("rate %9.0f B/s                  ", rate);
    }
    std::printf("cpu/MB reader %6.2f ms, process %6.2f ms\n",
                mb > 0 ? 1000.0 * r.readerCpu / mb : 0, mb > 0 ? 1000.0 * r.processCpu / mb : 0);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    Print(PtyScenario("pty at line rate 92160 B/s, 4096/poll", seconds, true, 4096));
    Print(PtyScenario("pty as fast as it takes, 4096/poll", seconds, false, 4096));
    Print(PtyScenario("pty as fast as it takes, 65536/poll", seconds, false, 65536));
    Print(SimScenario(seconds));
    return 0;
}
