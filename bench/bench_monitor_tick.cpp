// One polling tick of the monitor: the counter reads of all three families (Hubline and Talon
// through device I/O control, Zenith through the management socket) and the statistics of all
// their ports, with the driver service simulating 512 ports per family. Prints p50 and p99 of
// the tick when every value changes (the service's simulated traffic) and when nothing changes
// (a configuration whose ports carry no traffic). Each tick also refreshes a table of 512 rows
// and all 58 columns, writing only the cells that changed. Then p50 and p99 of one Zenith read
// alone: COM set-up, connection to ROOT\WMI, the query and 512 instances matched by name.
//
//   bench_monitor_tick [ticks-per-scenario]   (default 2000)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "monitor/drivers/counter_sources.h"
#include "monitor/table/columns.h"
#include "monitor/table/port_table.h"
#include "tests/support/temp_config.h"
#ifdef PORTCOUNTD_PATH
#include "tests/support/service_process.h"
#endif

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPortsPerFamily = 512;

class QuietOwner final : public CounterSourceOwner {
  public:
    void PostMonitorMessage(UINT) override {}
    void ShowMessageBox(const std::string& text, const std::string&, UINT) override {
        ++failures;
        if (failures == 1) {
            std::fprintf(stderr, "driver message: %s\n", text.c_str());
        }
    }
    ReportSettings Settings() override { return {}; }
    double FreeDiskBytes() override { return 1e12; }
    int failures = 0;
};

// The table the tick refreshes: 512 rows bound to the Hubline ports, every column kind.
class Table {
  public:
    explicit Table(CounterSources& sources) {
        CounterSource& hubline = sources.Source(SourceFamily::Hubline);
        for (int i = 0; i < hubline.Count() && table_.RowCount() < kPortsPerFamily; ++i) {
            const std::string name(hubline.PortName(i));
            const BoundPort bound = sources.Bind(name);
            table_.AddRow(
                std::make_unique<PortRow>(name, RowBinding{bound.counters, bound.statistics}));
        }
        table_.SortRows();
        for (int kind = 0; kind < kColumnKindCount; ++kind) {
            table_.AppendColumn(kind);
        }
        table_.Refresh(context_);  // the first fill is not part of a tick
    }
    // Returns the number of cells whose text changed.
    std::size_t Refresh() { return table_.Refresh(context_).changed.size(); }
    int Rows() const { return table_.RowCount(); }
    int Columns() const { return table_.ColumnCount(); }

  private:
    PortTable table_;
    CellContext context_{2000};
};

// Runs while the driver service serves the card of the scenario.
void Scenario(const char* name, int ticks) {
    QuietOwner owner;
    CounterSources sources(owner, ChooseDevicePaths(HostDevicePathQueries()));
    sources.Start();
    // The table's rows are the Hubline ports (the families list the same names, and the earlier
    // family owns a name); Zenith is polled as if 512 rows were bound to it.
    const int zenithRows = sources.Source(SourceFamily::Zenith).Count();
    sources.PollTick(zenithRows);  // the first read fills the counters the table starts from
    Table table(sources);
    std::vector<double> us;
    us.reserve(static_cast<std::size_t>(ticks));
    std::size_t cells = 0;
    for (int i = 0; i < ticks; ++i) {
        const auto start = Clock::now();
        sources.PollTick(zenithRows);
        cells += table.Refresh();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(us.begin(), us.end());
    const auto at = [&](double q) { return us[static_cast<std::size_t>(q * (us.size() - 1))]; };
    std::printf(
        "%-22s ports %4d + %4d + %4d  table %d x %d  ticks %d  p50 %8.1f us  p99 %8.1f us  "
        "cells written per tick %.1f  failures %d\n",
        name, sources.Source(SourceFamily::Hubline).Count(),
        sources.Source(SourceFamily::Talon).Count(), zenithRows, table.Rows(), table.Columns(),
        ticks, at(0.5), at(0.99), static_cast<double>(cells) / ticks, owner.failures);

    // One management read on its own, each with its own COM set-up and connection.
    CounterSource& zenith = sources.Source(SourceFamily::Zenith);
    std::vector<double> reads;
    int failed = 0;
    for (int i = 0; i < ticks; ++i) {
        const auto start = Clock::now();
        failed += zenith.ReadCounters() ? 0 : 1;
        reads.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(reads.begin(), reads.end());
    const auto read = [&](double q) {
        return reads[static_cast<std::size_t>(q * (reads.size() - 1))];
    };
    std::printf(
        "%-22s zenith read of %d instances incl. connect  p50 %8.1f us  p99 %8.1f us  "
        "failed %d\n",
        name, zenithRows, read(0.5), read(0.99), failed);
}

}  // namespace

int main(int argc, char** argv) {
#ifndef PORTCOUNTD_PATH
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "bench_monitor_tick: the driver service is not part of this build\n");
    return 1;
#else
    const int ticks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    {
        TempConfig config;  // no stray portcountd.conf
        ServiceProcess service;
        if (!service.Start({"--ports-per-family", std::to_string(kPortsPerFamily)})) {
            std::fprintf(stderr, "bench_monitor_tick: the driver service did not start: %s\n",
                         service.Stderr().c_str());
            return 1;
        }
        Scenario("every value changes", ticks);
    }
    {
        // 512 ports per family without traffic, errors or carrier changes.
        TempConfig config;
        {
            std::ofstream out(config.Dir() + "/portcountd.conf");
            for (const char* family : {"hubline", "talon", "zenith"}) {
                for (int i = 1; i <= kPortsPerFamily; ++i) {
                    out << family << " COM" << i << " sim rate=0 errors=0 cd=no open=yes\n";
                }
            }
        }
        ServiceProcess service;
        if (!service.Start()) {
            std::fprintf(stderr, "bench_monitor_tick: the driver service did not start: %s\n",
                         service.Stderr().c_str());
            return 1;
        }
        Scenario("nothing changes", ticks);
    }
    return 0;
#endif
}
