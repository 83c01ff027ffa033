#include "monitor/drivers/device_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace {

TEST(DevicePaths, ChosenByTheSystemsAnswers) {
    enum class Wow { Missing, Fails, False, True };
    struct Row {
        const char* what;
        Wow wow;
        WORD architecture;
        const char* hubline;
        const char* talon;
    } rows[] = {
        {"no IsWow64Process: a 32-bit system", Wow::Missing, PROCESSOR_ARCHITECTURE_AMD64,
         "\\\\.\\hubsio", "\\\\.\\talon"},
        {"32-bit program on a 32-bit system", Wow::False, PROCESSOR_ARCHITECTURE_INTEL,
         "\\\\.\\hubsio", "\\\\.\\talon"},
        {"under a 64-bit system", Wow::True, PROCESSOR_ARCHITECTURE_AMD64, "\\\\.\\hubsiox64",
         "\\\\.\\talonx64"},
        {"the call fails: taken as 64-bit", Wow::Fails, PROCESSOR_ARCHITECTURE_INTEL,
         "\\\\.\\hubsiox64", "\\\\.\\talonx64"},
        {"Itanium", Wow::True, PROCESSOR_ARCHITECTURE_IA64, "\\\\.\\hubsioia64",
         "\\\\.\\talonia64"},
        {"Itanium, failing call", Wow::Fails, PROCESSOR_ARCHITECTURE_IA64, "\\\\.\\hubsioia64",
         "\\\\.\\talonia64"},
        {"Itanium but 32-bit answer", Wow::False, PROCESSOR_ARCHITECTURE_IA64, "\\\\.\\hubsio",
         "\\\\.\\talon"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        int systemInfoCalls = 0;
        DevicePathQueries q;
        if (row.wow != Wow::Missing) {
            q.isWow64Process = [&row](BOOL* wow64) {
                if (row.wow == Wow::Fails) {
                    return FALSE;
                }
                *wow64 = row.wow == Wow::True ? TRUE : FALSE;
                return TRUE;
            };
        }
        q.getSystemInfo = [&](SYSTEM_INFO* info) {
            ++systemInfoCalls;
            info->wProcessorArchitecture = row.architecture;
        };
        const DevicePaths paths = ChooseDevicePaths(q);
        EXPECT_EQ(paths.hubline, row.hubline);
        EXPECT_EQ(paths.talon, row.talon);
        EXPECT_EQ(paths.zenith, "\\\\.\\zenport");
    }
}

TEST(DevicePaths, HostAnswerNamesDevicesTheServiceServes) {
    const DevicePaths paths = ChooseDevicePaths(HostDevicePathQueries());
    const std::string hub[] = {"\\\\.\\hubsio", "\\\\.\\hubsiox64", "\\\\.\\hubsioia64"};
    const std::string talon[] = {"\\\\.\\talon", "\\\\.\\talonx64", "\\\\.\\talonia64"};
    EXPECT_NE(std::find(std::begin(hub), std::end(hub), paths.hubline), std::end(hub));
    EXPECT_NE(std::find(std::begin(talon), std::end(talon), paths.talon), std::end(talon));
}

}  // namespace
