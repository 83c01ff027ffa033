#include "platform/system/system_info.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <string_view>

#include "platform/system/last_error.h"

namespace platform {

namespace {

constexpr DWORD kMajorVersion = 6;
constexpr DWORD kMinorVersion = 1;
constexpr DWORD kBuildNumber = 7601;

constexpr ProcessHandle kCurrentProcess = -1;  // the Windows pseudo-handle's value

// The architecture this program was built for.
constexpr WORD ProgramArchitecture() {
#if defined(__x86_64__)
    return PROCESSOR_ARCHITECTURE_AMD64;
#elif defined(__i386__)
    return PROCESSOR_ARCHITECTURE_INTEL;
#elif defined(__aarch64__)
    return PROCESSOR_ARCHITECTURE_ARM64;
#elif defined(__arm__)
    return PROCESSOR_ARCHITECTURE_ARM;
#elif defined(__ia64__)
    return PROCESSOR_ARCHITECTURE_IA64;
#else
    return PROCESSOR_ARCHITECTURE_UNKNOWN;
#endif
}

bool Is64Bit(WORD architecture) {
    return architecture == PROCESSOR_ARCHITECTURE_AMD64 ||
           architecture == PROCESSOR_ARCHITECTURE_IA64 ||
           architecture == PROCESSOR_ARCHITECTURE_ARM64;
}

WORD NativeArchitecture() {
    utsname names{};
    if (::uname(&names) != 0) {
        return ProgramArchitecture();
    }
    const WORD native = ProcessorArchitectureOfMachine(names.machine);
    return native == PROCESSOR_ARCHITECTURE_UNKNOWN ? ProgramArchitecture() : native;
}

void Fill(SYSTEM_INFO* info, WORD architecture) {
    if (!info) {
        return;
    }
    *info = SYSTEM_INFO{};
    info->wProcessorArchitecture = architecture;
    const long page = ::sysconf(_SC_PAGESIZE);
    info->dwPageSize = page > 0 ? static_cast<DWORD>(page) : 4096u;
    const long cpus = ::sysconf(_SC_NPROCESSORS_ONLN);
    info->dwNumberOfProcessors = cpus > 0 ? static_cast<DWORD>(cpus) : 1u;
    const DWORD maskBits = info->dwNumberOfProcessors < 8 * sizeof(ULONG_PTR)
                               ? info->dwNumberOfProcessors
                               : static_cast<DWORD>(8 * sizeof(ULONG_PTR));
    info->dwActiveProcessorMask =
        maskBits == 8 * sizeof(ULONG_PTR) ? ~ULONG_PTR{0} : (ULONG_PTR{1} << maskBits) - 1;
    info->dwAllocationGranularity = 65536;  // fixed on Windows, whatever the page size
}

}  // namespace

DWORD GetVersion() {
    return kMajorVersion | (kMinorVersion << 8) | (kBuildNumber << 16);
}

ProcessHandle GetCurrentProcess() {
    return kCurrentProcess;
}

WORD ProcessorArchitectureOfMachine(const char* machine) {
    if (!machine) {
        return PROCESSOR_ARCHITECTURE_UNKNOWN;
    }
    const std::string_view m(machine);
    if (m == "x86_64" || m == "amd64") {
        return PROCESSOR_ARCHITECTURE_AMD64;
    }
    if (m == "i386" || m == "i486" || m == "i586" || m == "i686" || m == "x86") {
        return PROCESSOR_ARCHITECTURE_INTEL;
    }
    if (m == "ia64") {
        return PROCESSOR_ARCHITECTURE_IA64;
    }
    if (m == "aarch64" || m == "arm64") {
        return PROCESSOR_ARCHITECTURE_ARM64;
    }
    if (m.substr(0, 3) == "arm") {
        return PROCESSOR_ARCHITECTURE_ARM;
    }
    return PROCESSOR_ARCHITECTURE_UNKNOWN;
}

BOOL IsWow64Process(ProcessHandle process, BOOL* wow64) {
    if (process != kCurrentProcess) {
        return FailWith(static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    if (!wow64) {
        return FailWith(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    *wow64 = (!Is64Bit(ProgramArchitecture()) && Is64Bit(NativeArchitecture())) ? TRUE : FALSE;
    return TRUE;
}

void GetSystemInfo(SYSTEM_INFO* info) {
    // A 32-bit program on a 64-bit system is shown a 32-bit system, as WOW64 does.
    Fill(info, ProgramArchitecture());
}

void GetNativeSystemInfo(SYSTEM_INFO* info) {
    Fill(info, NativeArchitecture());
}

}  // namespace platform
