#include "monitor/drivers/counter_sources.h"

#include "monitor/stats/update_statistics.h"

CounterSources::CounterSources(CounterSourceOwner& owner, const DevicePaths& paths,
                               DeviceControl& device) {
    sources_[Index(SourceFamily::Hubline)] =
        std::make_unique<HublineSource>(owner, paths.hubline, device);
    sources_[Index(SourceFamily::Talon)] =
        std::make_unique<TalonSource>(owner, paths.talon, device);
    sources_[Index(SourceFamily::Zenith)] = std::make_unique<ZenithSource>(owner);
}

void CounterSources::Start() {
    for (std::size_t i = 0; i < sources_.size(); ++i) {
        CounterSource& source = *sources_[i];
        if (source.Probe() == 1) {
            available_[i] = true;
            source.ListPorts();
            source.AllocateForPorts();
            source.ListPorts();
        } else {
            available_[i] = false;
            source.FreeBuffers();
        }
    }
}

BoundPort CounterSources::Bind(std::string_view portName) {
    for (std::size_t i = 0; i < sources_.size(); ++i) {
        if (!available_[i]) {
            continue;
        }
        CounterSource& source = *sources_[i];
        BoundPort bound{source.FindCounters(portName), source.FindStatistics(portName), &source};
        if (bound) {
            return bound;
        }
    }
    return {};
}

void CounterSources::PollTick(int zenithRows) {
    if (available_[Index(SourceFamily::Hubline)]) {
        UpdateStatistics(Source(SourceFamily::Hubline));
    }
    if (available_[Index(SourceFamily::Talon)]) {
        UpdateStatistics(Source(SourceFamily::Talon));
    }
    if (available_[Index(SourceFamily::Zenith)] && zenithRows > 0) {
        CounterSource& zenith = Source(SourceFamily::Zenith);
        if (zenith.Handle() == platform::kInvalidDeviceHandle) {
            zenith.Probe();
        } else {
            UpdateStatistics(zenith);
        }
    }
}
