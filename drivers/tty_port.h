#pragma once
// A port backed by a real serial device. The device is opened read-only, non-blocking and
// without becoming the controlling terminal, and its settings are never changed: the service
// only reads the kernel's per-port counters and the modem lines. The port is flagged open
// when another process holds the device open. A device that vanishes reads as zeros.

#include <memory>
#include <string>

#include "drivers/open_device_scan.h"
#include "drivers/port_backend.h"

namespace portcount {

class TtyPort : public PortBackend {
  public:
    TtyPort(std::string path, std::shared_ptr<OpenDeviceScan> scan);
    ~TtyPort() override;
    TtyPort(const TtyPort&) = delete;
    TtyPort& operator=(const TtyPort&) = delete;

    std::optional<PortCounters> Read(SteadyTime now) override;

  private:
    bool Reopen();
    void Close();

    std::string path_;
    std::string canonical_;
    std::shared_ptr<OpenDeviceScan> scan_;
    int fd_ = -1;
    std::uint32_t lastTx_ = 0;
    std::uint32_t lastRx_ = 0;
    std::uint16_t txPackets_ = 0;
    std::uint16_t rxPackets_ = 0;
};

}  // namespace portcount
