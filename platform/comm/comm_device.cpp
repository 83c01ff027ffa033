// CreateFileA for serial devices: the port name is looked up in the port map, and the device it
// names is opened by its backend (simulated devices in-process, everything else as a tty).

#include "platform/comm/comm_device.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/comm/port_map.h"
#include "platform/comm/sim_device.h"
#include "platform/comm/tty_device.h"
#include "platform/system/last_error.h"

namespace platform {

namespace {

constexpr DWORD kFastRateStandIn = 300;
constexpr DWORD kFastRate = 500000;

// "\\.\COM<n>" or "COM<n>".
bool ParsePortPath(std::string_view path, DWORD& number) {
    constexpr std::string_view kDevicePrefix = "\\\\.\\";
    if (path.substr(0, kDevicePrefix.size()) == kDevicePrefix) {
        path.remove_prefix(kDevicePrefix.size());
    }
    return ParseComName(path, number);
}

}  // namespace

CommDeviceHandle CreateCommDevice(const char* path) {
    if (path == nullptr) {
        FailWith(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    DWORD number = 0;
    if (!ParsePortPath(path, number)) {
        FailWith(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    const std::string device = CurrentPortMap()->DeviceFor(number);
    if (device.empty()) {
        FailWith(ERROR_FILE_NOT_FOUND);  // its line in the port map is wrong
        return nullptr;
    }
    if (device.rfind("sim:", 0) == 0) {
        return OpenSimulatedDevice(device);
    }
    return OpenTtyDevice(device);
}

bool IsDeviceGoneError(DWORD error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

DWORD LineBitRate(DWORD baudRate) {
    return baudRate == kFastRateStandIn ? kFastRate : baudRate;
}

}  // namespace platform
