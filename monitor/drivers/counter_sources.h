#pragma once
// The three driver families as the table view holds them: created and probed once at
// start-up in the order Hubline, Talon, Zenith, searched in that order when a port name is
// bound to a row, and polled in that order at every tick.

#include <array>
#include <memory>
#include <string_view>

#include "monitor/drivers/counter_source.h"
#include "monitor/drivers/device_paths.h"

struct BoundPort {
    RawPortCounters* counters = nullptr;
    PortStatistics* statistics = nullptr;
    CounterSource* source = nullptr;

    explicit operator bool() const { return counters != nullptr && statistics != nullptr; }
};

class CounterSources {
  public:
    CounterSources(CounterSourceOwner& owner, const DevicePaths& paths,
                   DeviceControl& device = SystemDeviceControl());

    // Probe each source; an available one lists its ports, sizes its arrays for exactly that
    // many and lists again into the final buffer; an unavailable one frees its buffers.
    void Start();

    // The first available source, in family order, that knows the name: a port that several
    // families list belongs to the earliest. An unbound result when no available source knows
    // it.
    BoundPort Bind(std::string_view portName);

    // One polling tick without the table refresh: Hubline and Talon when available, Zenith
    // when available and `zenithRows` (the table's rows bound to it) is not 0 (a lost Zenith
    // is probed instead, which returns at once, so it is never read again). The table counts
    // its own rows, so the count follows every way rows come and go (New, Open, removal).
    void PollTick(int zenithRows);

    bool Available(SourceFamily family) const { return available_[Index(family)]; }
    CounterSource& Source(SourceFamily family) { return *sources_[Index(family)]; }

  private:
    static std::size_t Index(SourceFamily family) { return static_cast<std::size_t>(family); }

    std::array<std::unique_ptr<CounterSource>, 3> sources_;
    std::array<bool, 3> available_{};
};
