// Send ASCII file at speed: a 1 MB text file sent by a port session through a simulated
// null-modem pair at 921600 baud, read whole at the far end. Prints the wall time from the
// command to the last byte and to the done notice, the rate against the line rate, and the
// process's CPU time.
//
//   bench_file_transfer [megabytes]   (default 1)

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/comm/comm_device.h"
#include "platform/ui/prompts.h"
#include "terminal/config/port_config.h"
#include "terminal/session/file_transfer.h"
#include "terminal/session/port_file_transfer.h"
#include "terminal/session/port_session.h"
#include "terminal/session/view_flags.h"

using Clock = std::chrono::steady_clock;

namespace {

constexpr DWORD kBaud = 921600;

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

class QuietLink : public PortFrameLink {
  public:
    void Post(Target, UINT, WPARAM, LPARAM) override {}
};

bool DoneShown(const platform::ScriptedPrompts& prompts) {
    for (const auto& record : prompts.Records()) {
        if (record.text == kTransferDoneText) {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const long megabytes = argc > 1 ? std::max(1L, std::atol(argv[1])) : 1;
    char pattern[] = "/tmp/quenby-bench-XXXXXX";
    const std::string root = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", root.c_str(), 1);
    setenv("QUENBY_PROGRAM_DIR", root.c_str(), 1);
    std::filesystem::create_directories(root + "/quenby");
    std::ofstream(root + "/quenby/ports.conf")
        << "COM1 = sim:null-modem/bench/A\nCOM2 = sim:null-modem/bench/B\n";

    // Lines of text with LF ends: the file goes out byte for byte.
    const std::size_t size = static_cast<std::size_t>(megabytes) * 1024 * 1024;
    std::string text;
    text.reserve(size);
    for (int i = 0; text.size() < size; ++i) {
        text += "line " + std::to_string(i) + " of the file sent at 921600 baud, 8N1\n";
    }
    text.resize(size - 1);
    text += '\n';
    const std::string path = root + "/send.txt";
    std::ofstream(path, std::ios::binary) << text;

    FillDefaultPortConfig(DefaultPortConfig());
    DefaultPortConfig().BaudRate = kBaud;
    ProcessDisplayFlags().Initialize(DisplayPreferences{}, false, 0);
    platform::CommDeviceHandle peer = platform::CreateCommDevice("COM2");
    if (!peer) {
        std::fprintf(stderr, "cannot open the far end\n");
        return 1;
    }
    PortConfig peerConfig = DefaultPortConfig();
    peer->SetCommState(peerConfig);
    COMMTIMEOUTS queuedOnly;
    queuedOnly.ReadIntervalTimeout = MAXDWORD;
    peer->SetCommTimeouts(queuedOnly);

    platform::ScriptedPrompts prompts;
    PortSession session("COM1", std::make_shared<QuietLink>(), prompts);
    session.Create();
    if (!session.PublishedState().isOpen) {
        std::fprintf(stderr, "cannot open COM1\n");
        return 1;
    }
    prompts.AnswerFileWith(path);

    const double cpuStart = ProcessCpuSeconds();
    const auto start = Clock::now();
    session.OnSendFileCommand();
    std::size_t received = 0;
    bool same = true;
    char buffer[65536];
    while (received < size && Clock::now() - start < std::chrono::minutes(10)) {
        DWORD n = 0;
        if (peer->ReadFile(buffer, sizeof buffer, n) && n > 0) {
            same = same && text.compare(received, n, buffer, n) == 0;
            received += n;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    const auto lastByte = Clock::now();
    while (!DoneShown(prompts) && Clock::now() - start < std::chrono::minutes(10)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto done = Clock::now();
    const double cpu = ProcessCpuSeconds() - cpuStart;
    WaitForTransferThreads(10000);

    const double seconds = std::chrono::duration<double>(lastByte - start).count();
    const double lineSeconds = static_cast<double>(size) / (kBaud / 10.0);
    std::printf("file            %zu bytes (%s)\n", size,
                same && received == size ? "arrived whole" : "DAMAGED");
    std::printf("to last byte    %.2f s   (line time alone %.2f s: %.0f%% of the line rate)\n",
                seconds, lineSeconds, 100.0 * lineSeconds / seconds);
    std::printf("to done notice  %.2f s\n", std::chrono::duration<double>(done - start).count());
    std::printf("chunks          %zu, one per send cycle (1024 bytes, then the 25 ms pacing)\n",
                (size + kFileChunkSize - 1) / kFileChunkSize);
    std::printf("process CPU     %.3f s  (%.2f%% of the wall time, %.3f s per MB)\n", cpu,
                100.0 * cpu / seconds, cpu / static_cast<double>(megabytes));
    peer->Close();
    std::filesystem::remove_all(root);
    return same && received == size ? 0 : 1;
}
