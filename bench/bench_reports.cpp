// The reports at the table's capacity: a full report (512 rows, all 58 columns, written as a
// session file into the Reports folder with its full text copy) and Convert of a 512-row
// session file into its text copy. Prints p50, p99 and max of each, in milliseconds.
//
//   bench_reports [runs-per-scenario]   (default 300)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "monitor/reports/convert.h"
#include "monitor/reports/report_writer.h"
#include "monitor/sessions/session_file.h"
#include "monitor/table/columns.h"
#include "platform/ui/prompts.h"

using Clock = std::chrono::steady_clock;

namespace {

// 512 open ports with every field at a many-digit value, so each line is at its widest.
struct FullTable {
    std::deque<RawPortCounters> counters;
    std::deque<PortStatistics> statistics;
    PortTable table;

    FullTable() {
        for (int kind = 0; kind < kColumnKindCount; ++kind) {
            table.AppendColumn(kind);
        }
        for (int i = 1; i <= kMaxRows; ++i) {
            counters.push_back(RawPortCounters{4000000000u + static_cast<std::uint32_t>(i), 77777,
                                               65535, 65534, 1, 2, 3, 0x013B});
            statistics.emplace_back();
            PortStatistics& s = statistics.back();
            for (int kind = 8; kind < kColumnKindCount; ++kind) {
                const ColumnInfo& column = Column(kind);
                if (column.statistics32 != nullptr) {
                    s.*column.statistics32 = 3000000000u + static_cast<std::uint32_t>(i);
                } else if (column.statistics16 != nullptr) {
                    s.*column.statistics16 = static_cast<std::uint16_t>(60000 + i);
                }
            }
            table.AddRow(
                std::make_unique<PortRow>("COM" + std::to_string(i),
                                          RowBinding{&counters.back(), &statistics.back(), false}));
        }
    }
};

// Runs `step` `runs` times and prints its times; false as soon as a run fails.
bool Measure(const char* name, int runs, const std::function<bool()>& step) {
    std::vector<double> ms;
    ms.reserve(static_cast<std::size_t>(runs));
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        if (!step()) {
            std::fprintf(stderr, "%s: run %d failed\n", name, i);
            return false;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[static_cast<std::size_t>(q * (ms.size() - 1))]; };
    std::printf("%-44s runs %4d  p50 %7.2f ms  p99 %7.2f ms  max %7.2f ms\n", name, runs, at(0.5),
                at(0.99), ms.back());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    char pattern[] = "/tmp/quenby-bench-reports-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    setenv("QUENBY_PROGRAM_DIR", dir.c_str(), 1);

    FullTable full;
    platform::ScriptedPrompts prompts;
    ReportBoxes boxes(prompts);
    ReportWriter writer(full.table, boxes);
    const ReportOptions options{true, "Full Version", 2000};
    bool ok = Measure("full report 512 x 58 with its text copy", runs, [&] {
        return writer.Write(ReportKind::Hourly, options) == ReportResult::Written;
    });

    const std::string session = dir + "/Reports/Seltra2_Hourly_Report.sls";
    ok = ok && Measure("Convert of 512 rows (Full Version)", runs, [&] {
             return ConvertSessionFile(session, "Full Version", 2000) == ConvertResult::Converted;
         });
    if (ok) {
        std::printf("session file %ju bytes, text copy %ju bytes\n",
                    static_cast<std::uintmax_t>(std::filesystem::file_size(session)),
                    static_cast<std::uintmax_t>(
                        std::filesystem::file_size(dir + "/Reports/Seltra2_Hourly_Report.txt")));
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return ok ? 0 : 1;
}
