// The system queries: free disk space, the version word and the 64-bit detection.
#include <gtest/gtest.h>

#include "platform/system/disk_space.h"
#include "platform/system/last_error.h"
#include "platform/system/system_info.h"

namespace platform {
namespace {

TEST(DiskSpace, BothFormsAgreeForAnExistingPath) {
    DWORD perCluster = 0, sector = 0, freeClusters = 0, totalClusters = 0;
    ASSERT_TRUE(GetDiskFreeSpaceA("/tmp", &perCluster, &sector, &freeClusters, &totalClusters));
    std::uint64_t available = 0, total = 0, totalFree = 0;
    ASSERT_TRUE(GetDiskFreeSpaceExA("/tmp", &available, &total, &totalFree));

    const std::uint64_t cluster = std::uint64_t{perCluster} * sector;
    const std::uint64_t geometryFree = cluster * freeClusters;
    EXPECT_GT(geometryFree, 0u);
    EXPECT_GT(available, 0u);
    EXPECT_LE(available, totalFree) << "the superuser's reserve is not free to the user";
    EXPECT_LE(totalFree, total);
    EXPECT_GE(totalClusters, freeClusters);
    // The same file system read twice: the two forms differ by at most the cluster rounding
    // and whatever other programs wrote in between, never by a factor.
    EXPECT_LE(geometryFree, available + (std::uint64_t{64} << 20));
    EXPECT_GE(geometryFree + cluster + (std::uint64_t{64} << 20), available);
}

TEST(DiskSpace, NullOutputsAndTheCurrentDirectoryAreAccepted) {
    DWORD freeClusters = 0;
    EXPECT_TRUE(GetDiskFreeSpaceA(nullptr, nullptr, nullptr, &freeClusters, nullptr));
    EXPECT_TRUE(GetDiskFreeSpaceExA(nullptr, nullptr, nullptr, nullptr));
}

TEST(DiskSpace, MissingPathFailsWithItsReason) {
    SetLastError(ERROR_SUCCESS);
    DWORD freeClusters = 12345;
    EXPECT_FALSE(
        GetDiskFreeSpaceA("/nonexistent/quenby", nullptr, nullptr, &freeClusters, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(freeClusters, 12345u) << "outputs are left alone on failure";
    SetLastError(ERROR_SUCCESS);
    std::uint64_t available = 0;
    EXPECT_FALSE(GetDiskFreeSpaceExA("/nonexistent/quenby", &available, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(SystemInfo, VersionWordPassesTheMultiThreadingCheck) {
    const DWORD version = GetVersion();
    const DWORD major = version & 0xFF;
    const DWORD minor = (version >> 8) & 0xFF;
    EXPECT_EQ(version & 0x80000000u, 0u) << "the NT family's high bit is clear";
    EXPECT_GE(major, 4u);
    EXPECT_EQ(major, 6u);
    EXPECT_EQ(minor, 1u);
}

TEST(SystemInfo, MachineNamesMapToArchitectures) {
    const struct {
        const char* machine;
        WORD architecture;
    } cases[] = {
        {"x86_64", PROCESSOR_ARCHITECTURE_AMD64},    {"i686", PROCESSOR_ARCHITECTURE_INTEL},
        {"i386", PROCESSOR_ARCHITECTURE_INTEL},      {"ia64", PROCESSOR_ARCHITECTURE_IA64},
        {"aarch64", PROCESSOR_ARCHITECTURE_ARM64},   {"armv7l", PROCESSOR_ARCHITECTURE_ARM},
        {"riscv64", PROCESSOR_ARCHITECTURE_UNKNOWN}, {"", PROCESSOR_ARCHITECTURE_UNKNOWN},
        {nullptr, PROCESSOR_ARCHITECTURE_UNKNOWN}};
    for (const auto& c : cases) {
        EXPECT_EQ(ProcessorArchitectureOfMachine(c.machine), c.architecture)
            << (c.machine ? c.machine : "(null)");
    }
}

TEST(SystemInfo, Wow64QueryChecksItsArguments) {
    BOOL wow64 = 7;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(IsWow64Process(GetCurrentProcess() + 1, &wow64));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(wow64, 7);
    EXPECT_FALSE(IsWow64Process(GetCurrentProcess(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

#if defined(__x86_64__)
TEST(SystemInfo, SixtyFourBitProgramOnAmd64IsNotWow64) {
    BOOL wow64 = 7;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_EQ(wow64, FALSE);
    SYSTEM_INFO native, seen;
    GetNativeSystemInfo(&native);
    GetSystemInfo(&seen);
    EXPECT_EQ(native.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
    EXPECT_EQ(seen.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
    EXPECT_GE(native.dwNumberOfProcessors, 1u);
    EXPECT_GE(native.dwPageSize, 4096u);
}
#endif

}  // namespace
}  // namespace platform
