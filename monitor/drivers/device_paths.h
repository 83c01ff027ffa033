#pragma once
// Which device names the two device I/O control families are opened by. A 32-bit system has
// the plain names; a 64-bit system has the x64 names, or the ia64 names on an Itanium.

#include <functional>
#include <string>

#include "platform/system/system_info.h"

struct DevicePaths {
    std::string hubline;
    std::string talon;
    std::string zenith;

    bool operator==(const DevicePaths&) const = default;
};

// The questions the choice asks of the system, replaceable so that every answer can be tried.
struct DevicePathQueries {
    // IsWow64Process for the current process; empty when the system has no such function.
    std::function<BOOL(BOOL* wow64)> isWow64Process;
    std::function<void(SYSTEM_INFO* info)> getSystemInfo;
};

// The host's answers.
DevicePathQueries HostDevicePathQueries();

// The function missing means a 32-bit system; a failing call means a 64-bit one; otherwise
// the flag it returns decides. Zenith always has "\\.\zenport".
DevicePaths ChooseDevicePaths(const DevicePathQueries& queries);
