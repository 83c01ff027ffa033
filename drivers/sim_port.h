#pragma once
// A simulated port: traffic at the configured rates in each direction, line errors at the
// configured probability per received character, carrier-detect runs and open/close cycles.
// The counters advance with the steady time elapsed since the previous read, so a rate is
// exact over any interval (less its variation, which a seeded generator draws per read).

#include <cstdint>

#include "drivers/port_backend.h"
#include "drivers/service_config.h"

namespace portcount {

class SimPort : public PortBackend {
  public:
    SimPort(const SimSettings& settings, std::uint64_t seed, SteadyTime start);

    std::optional<PortCounters> Read(SteadyTime now) override;

  private:
    double Draw();  // uniform in [0, 1)
    bool InRun(double on, double off, bool steady, double seconds) const;

    SimSettings settings_;
    std::uint64_t state_;
    SteadyTime start_;
    SteadyTime last_;
    PortCounters counters_;
    // Fractions of a character (or of an error) carried to the next read.
    double txCarry_ = 0;
    double rxCarry_ = 0;
    double errorCarry_ = 0;
};

// A seed that differs between ports and families but stays the same from run to run.
std::uint64_t SeedFor(const std::string& family, const std::string& port);

}  // namespace portcount
