#include "monitor/drivers/device_paths.h"

#include "monitor/drivers/counter_source.h"

DevicePathQueries HostDevicePathQueries() {
    DevicePathQueries q;
    q.isWow64Process = [](BOOL* wow64) {
        return platform::IsWow64Process(platform::GetCurrentProcess(), wow64);
    };
    q.getSystemInfo = [](SYSTEM_INFO* info) { platform::GetSystemInfo(info); };
    return q;
}

DevicePaths ChooseDevicePaths(const DevicePathQueries& queries) {
    bool wow64 = false;
    if (queries.isWow64Process) {
        BOOL flag = FALSE;
        wow64 = !queries.isWow64Process(&flag) || flag != FALSE;
    }
    DevicePaths paths;
    paths.zenith = ZenithSource::kPath;
    if (!wow64) {
        paths.hubline = "\\\\.\\hubsio";
        paths.talon = "\\\\.\\talon";
        return paths;
    }
    SYSTEM_INFO info;
    if (queries.getSystemInfo) {
        queries.getSystemInfo(&info);
    }
    if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64) {
        paths.hubline = "\\\\.\\hubsioia64";
        paths.talon = "\\\\.\\talonia64";
    } else {
        paths.hubline = "\\\\.\\hubsiox64";
        paths.talon = "\\\\.\\talonx64";
    }
    return paths;
}
