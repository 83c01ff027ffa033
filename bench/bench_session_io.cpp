// Session files and the table refresh at the table's capacity: writing and reading 512 rows,
// and refreshing 512 rows x 58 columns when every cell changes and when none does.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>

#include "monitor/sessions/session_file.h"
#include "monitor/table/port_table.h"

namespace {

struct FullTable {
    std::deque<RawPortCounters> counters;
    std::deque<PortStatistics> statistics;
    PortTable table;

    FullTable() {
        for (int kind = 0; kind < kColumnKindCount; ++kind) {
            table.AppendColumn(kind);
        }
        for (int i = 1; i <= kMaxRows; ++i) {
            counters.emplace_back();
            statistics.emplace_back();
            counters.back().statusFlags = STATUS_PORT_OPEN;
            table.AddRow(
                std::make_unique<PortRow>("COM" + std::to_string(i),
                                          RowBinding{&counters.back(), &statistics.back(), false}));
        }
    }
    // Changes what every cell of every row shows, except the name.
    void Step(std::uint32_t n) {
        for (auto& c : counters) {
            c.statusFlags = (n & 1) ? 0x013B : STATUS_PORT_OPEN;
            c.txTotalRaw = c.rxTotalRaw = n;
            c.txPackets = c.rxPackets = c.overrunErrorsRaw = c.framingErrorsRaw =
                c.parityErrorsRaw = static_cast<std::uint16_t>(n);
        }
        for (auto& s : statistics) {
            const PortStatistics old = s;
            s = PortStatistics{};
            s.reserved8 = old.reserved8;
            for (int kind = 8; kind < kColumnKindCount; ++kind) {
                const ColumnInfo& column = Column(kind);
                if (column.statistics32 != nullptr) {
                    s.*column.statistics32 = n * 1000;
                } else if (column.statistics16 != nullptr) {
                    s.*column.statistics16 = static_cast<std::uint16_t>(n);
                }
            }
            s.TxDelta = n;
        }
    }
};

std::string BenchPath() {
    return (std::filesystem::temp_directory_path() / "bench_session_io.sls").string();
}

void BM_WriteSession512(benchmark::State& state) {
    FullTable full;
    const std::string path = BenchPath();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const auto data = EncodeSession(full.table);
        bytes = data.size();
        if (WriteFileBytes(path, data) != FileWriteResult::Ok) {
            state.SkipWithError("cannot write the session file");
            break;
        }
    }
    state.counters["file_bytes"] = static_cast<double>(bytes);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    std::filesystem::remove(path);
}
BENCHMARK(BM_WriteSession512);

void BM_ReadSession512(benchmark::State& state) {
    FullTable full;
    const std::string path = BenchPath();
    WriteFileBytes(path, EncodeSession(full.table));
    PortTable loaded;
    const RowBinder bind = [&](std::string_view name) -> std::optional<RowBinding> {
        const int i = full.table.FindRow(name);
        if (i < 0) {
            return std::nullopt;
        }
        return RowBinding{full.table.Row(i).Counters(), full.table.Row(i).Statistics(), false};
    };
    std::size_t bytes = 0;
    for (auto _ : state) {
        const auto data = ReadFileBytes(path, kMaxSessionFileSize);
        if (!data) {
            state.SkipWithError("cannot read the session file");
            break;
        }
        bytes = data->size();
        const LoadResult result = LoadSession(loaded, DecodeSession(*data), bind);
        benchmark::DoNotOptimize(result.rowsKept);
    }
    state.counters["file_bytes"] = static_cast<double>(bytes);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    std::filesystem::remove(path);
}
BENCHMARK(BM_ReadSession512);

void BM_RefreshEverythingChanged(benchmark::State& state) {
    FullTable full;
    full.table.Refresh({1000});
    std::uint32_t n = 1;
    std::size_t changed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        full.Step(n++);
        state.ResumeTiming();
        changed = full.table.Refresh({1000}).changed.size();
    }
    state.counters["cells_changed"] = static_cast<double>(changed);
}
BENCHMARK(BM_RefreshEverythingChanged);

void BM_RefreshNothingChanged(benchmark::State& state) {
    FullTable full;
    full.table.Refresh({1000});
    std::size_t changed = 0;
    for (auto _ : state) {
        changed = full.table.Refresh({1000}).changed.size();
    }
    state.counters["cells_changed"] = static_cast<double>(changed);
}
BENCHMARK(BM_RefreshNothingChanged);

}  // namespace

BENCHMARK_MAIN();
