#pragma once
// The port map: which device stands behind each COM<n>. The user edits it as the text file
// ports.conf in the configuration directory, one line per port:
//
//     # comment
//     COM1 = /dev/ttyUSB0
//     com5=sim:loopback        # a '#' after white space starts a comment too
//
// A device is a path (a tty, a pseudo-terminal, any path) or one of the simulated devices
// sim:loopback, sim:loopback-ring, sim:null-modem/<pair>/A, sim:null-modem/<pair>/B, sim:pnp and
// sim:open, the four without a pair also as <device>/<name> (see sim_device.h). Numbers that are
// not mapped stand for /dev/ttyS<n-1>, the host's own serial ports.

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/win_types.h"

namespace platform {

class PortMap {
  public:
    // Reads the map file. A missing file is an empty map. Every malformed line is reported to
    // stderr as "<file>:<line>: <what is wrong>", kept in Diagnostics() and skipped; the other
    // lines still count.
    static PortMap Load(const std::string& path);
    // The same for text already read, without the report to stderr; `fileName` names the
    // source in the diagnostics.
    static PortMap Parse(std::string_view text, const std::string& fileName);

    // The device for COM<number>: the mapped one, else /dev/ttyS<number-1>; empty for a port
    // whose line in the map is wrong, so that it opens nothing.
    std::string DeviceFor(DWORD number) const;
    bool IsMapped(DWORD number) const { return devices_.count(number) != 0; }
    const std::vector<std::string>& Diagnostics() const { return diagnostics_; }

  private:
    std::map<DWORD, std::string> devices_;
    std::vector<std::string> diagnostics_;
};

// ports.conf in the configuration directory.
std::string PortMapPath();

// The map in force for the next open: the file is read at every call and parsed again (and
// its faults reported again) only when its text changed, so an edited map takes effect at
// the next open without a restart.
std::shared_ptr<const PortMap> CurrentPortMap();

// "COM<n>" in any letter case with n decimal from 1 to 2147483647, nothing before or after.
bool ParseComName(std::string_view text, DWORD& number);

// Whether `device` is one of the simulated device names the map accepts.
bool IsSimulatedDeviceName(std::string_view device);

}  // namespace platform
