#pragma once
// The 8250 serial driver's table in /proc/tty/driver/serial: one line per port with the
// kernel's counters and modem lines, shown only to root. Read from there, a port's counters
// come without opening the port, so watching it leaves its lines alone. A line reads
//   3: uart:16550A port:000003F8 irq:4 tx:123 rx:456 fe:1 pe:2 brk:0 oe:3 RTS|DTR|CD
// with fe, pe, brk and oe only when not zero and a modem line only while it is up.

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "drivers/port_backend.h"

namespace portcount {

// The ports whose lines carry counters, by port number: tx, rx, overrun, framing, parity and
// the line flags (no packets). A line without a device ("uart:unknown"), without counters (a
// reader who is not root) or with a value that is not a number is left out.
std::map<int, PortCounters> ParseProcSerial(std::string_view text);

// The port number of an 8250 device node (/dev/ttyS<n>: character device 4, 64 + n), found
// without opening it; -1 for anything else.
int SerialLineOfDevice(const std::string& path);

class ProcSerialTable {
  public:
    explicit ProcSerialTable(std::string path = "/proc/tty/driver/serial");

    // The port's counters as the table shows them at now; nullopt when the table cannot be
    // read or has no counters for the port. One reading serves every port read at one time.
    std::optional<PortCounters> Find(int line, SteadyTime now);

  private:
    std::string path_;
    std::map<int, PortCounters> lines_;
    SteadyTime readAt_{};
    bool fresh_ = false;
};

}  // namespace portcount
