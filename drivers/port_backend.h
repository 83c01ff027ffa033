#pragma once
// Where one listed port's counters come from: a simulated port or a real serial device.

#include <chrono>
#include <optional>

#include "drivers/port_counters.h"

namespace portcount {

using SteadyTime = std::chrono::steady_clock::time_point;

class PortBackend {
  public:
    virtual ~PortBackend() = default;
    // The counters as they stand at now; nullopt while there is no device behind the port
    // (it then reads as zeros). The values wrap like the driver's fields do; the caller
    // subtracts its own offsets for restarts and set values.
    virtual std::optional<PortCounters> Read(SteadyTime now) = 0;
    // Called about once a second while HoldsDevice: a chance to let go of a device nobody
    // else uses any more, when no one asks for counters.
    virtual void Idle(SteadyTime) {}
    virtual bool HoldsDevice() const { return false; }
};

}  // namespace portcount
