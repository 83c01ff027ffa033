#pragma once
// A port backed by a real serial device, watched without changing its line. Opening a serial
// port raises DTR and RTS, and a watcher that keeps it open stops the last close of the
// port's own program from hanging the line up. So the counters of an 8250 port come from the
// kernel's table in /proc when it shows them (to root), without opening the port at all.
// Otherwise the device is opened (read-only, non-blocking, not as the controlling terminal,
// its settings never changed) only while another process holds it open, and closed as soon
// as that process has let go, so that closing it is the hang-up the program asked for.
// Between those times the port keeps its last counters with the lines down; until it has
// been read once, and while the device is missing, it reads as nothing. The port is flagged
// open while another process holds the device.

#include <memory>
#include <string>

#include "drivers/open_device_scan.h"
#include "drivers/port_backend.h"
#include "drivers/proc_serial.h"

namespace portcount {

class TtyPort : public PortBackend {
  public:
    // procSerial: the kernel's table of 8250 ports, or null to always use the device.
    TtyPort(std::string path, std::shared_ptr<OpenDeviceScan> scan,
            std::shared_ptr<ProcSerialTable> procSerial = nullptr);
    ~TtyPort() override;
    TtyPort(const TtyPort&) = delete;
    TtyPort& operator=(const TtyPort&) = delete;

    std::optional<PortCounters> Read(SteadyTime now) override;
    void Idle(SteadyTime now) override;
    bool HoldsDevice() const override { return fd_ >= 0; }

  private:
    bool Reopen();
    void Close();
    // The kernel's counters and lines through the open device; nullopt when it went away.
    std::optional<PortCounters> ReadDevice();

    std::string path_;
    std::string canonical_;
    std::shared_ptr<OpenDeviceScan> scan_;
    std::shared_ptr<ProcSerialTable> procSerial_;
    int fd_ = -1;
    bool known_ = false;  // last_ holds values read from the kernel
    PortCounters last_;   // packets counted here, the rest as the kernel gave them
};

}  // namespace portcount
