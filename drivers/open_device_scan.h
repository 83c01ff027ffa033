#pragma once
// Which devices other processes hold open, from the fd links under /proc. One scan serves
// every port for a second, so a card of many device-backed ports costs one scan a second.

#include <chrono>
#include <set>
#include <string>

#include "drivers/port_backend.h"

namespace portcount {

class OpenDeviceScan {
  public:
    explicit OpenDeviceScan(std::string procRoot = "/proc");

    // True when a process other than this one has path (a canonical device path) open.
    bool OpenElsewhere(const std::string& path, SteadyTime now);

  private:
    void Rescan();

    std::string procRoot_;
    std::set<std::string> open_;
    SteadyTime scanned_{};
    bool fresh_ = false;
};

}  // namespace portcount
