#pragma once
// The simulated serial devices that a port map can name instead of hardware:
//   sim:loopback             a loopback plug (TX to RX, RTS to CTS, DTR to DSR and CD)
//   sim:loopback-ring        the same plug with RING joined to RTS as well
//   sim:null-modem/<pair>/A  one end of the null-modem cable <pair>;
//   sim:null-modem/<pair>/B  the other end
//   sim:pnp                  a plug-and-play modem that answers the identification sequence
//   sim:open                 an open line: nothing attached
// The loopback plugs, the modem and the open line also come as <device>/<name>, each name a
// device of its own beside the bare one (sim:loopback/1, sim:loopback/2, ...). A name, like a
// pair name, is any text without '/', not empty.
// Characters travel at the configured bit rate, in-process. Each name is one device: a second
// open fails with ERROR_BUSY until the first handle is closed.

#include <string>
#include <string_view>

#include "platform/comm/comm_device.h"

namespace platform {

// Null with the last error set: ERROR_FILE_NOT_FOUND for a name that is none of the above,
// ERROR_BUSY when that device is already open.
CommDeviceHandle OpenSimulatedDevice(const std::string& device);

// Empty when `device` names a simulated device; otherwise what is wrong with the name, in words
// for the user (it names the device).
std::string SimulatedDeviceNameFault(std::string_view device);

// Pulls the named device out, as a USB adapter is pulled out: every call on a handle that has
// it open fails with ENODEV from then on (outstanding reads, writes and event waits end so),
// the far end of its cable sees its lines drop, and opening the name fails with
// ERROR_FILE_NOT_FOUND until ReplugSimulatedDevice. The old handle still has to be closed before
// the name opens again. False for a name that is no simulated device.
bool UnplugSimulatedDevice(const std::string& device);
void ReplugSimulatedDevice(const std::string& device);

}  // namespace platform
