#pragma once
// What the programs ask about the system they run on: the version word, the processor
// architecture, and whether the program runs as a 32-bit program on a 64-bit system (the
// monitor picks its drivers' device names by these).

#include <cstdint>

#include "platform/win/win_types.h"

#ifndef _WIN32

constexpr WORD PROCESSOR_ARCHITECTURE_INTEL = 0;
constexpr WORD PROCESSOR_ARCHITECTURE_ARM = 5;
constexpr WORD PROCESSOR_ARCHITECTURE_IA64 = 6;
constexpr WORD PROCESSOR_ARCHITECTURE_AMD64 = 9;
constexpr WORD PROCESSOR_ARCHITECTURE_ARM64 = 12;
constexpr WORD PROCESSOR_ARCHITECTURE_UNKNOWN = 0xFFFF;

// The parts of the Windows record that mean something here; the others stay zero.
struct SYSTEM_INFO {
    WORD wProcessorArchitecture = 0;
    WORD wReserved = 0;
    DWORD dwPageSize = 0;
    void* lpMinimumApplicationAddress = nullptr;
    void* lpMaximumApplicationAddress = nullptr;
    ULONG_PTR dwActiveProcessorMask = 0;
    DWORD dwNumberOfProcessors = 0;
    DWORD dwProcessorType = 0;
    DWORD dwAllocationGranularity = 0;
    WORD wProcessorLevel = 0;
    WORD wProcessorRevision = 0;
};

#endif

namespace platform {

// The version word: major version in the low byte, minor in the next, the build number in
// the high word with its top bit clear (the mark of the NT family). This host answers as
// version 6.1, build 7601, so the programs' checks for a multi-threading system pass.
DWORD GetVersion();

// A process as IsWow64Process takes it. Only the calling process can be asked about, through
// the pseudo-handle GetCurrentProcess returns.
using ProcessHandle = std::intptr_t;
ProcessHandle GetCurrentProcess();

// *wow64 = TRUE when a 32-bit program runs on a 64-bit system. FALSE with
// ERROR_INVALID_HANDLE for a process other than the caller's, ERROR_INVALID_PARAMETER for a
// null output.
BOOL IsWow64Process(ProcessHandle process, BOOL* wow64);

// The system as the program sees it (a 32-bit program on a 64-bit system sees a 32-bit one)
// and as it really is.
void GetSystemInfo(SYSTEM_INFO* info);
void GetNativeSystemInfo(SYSTEM_INFO* info);

// The architecture code for a machine name as uname reports it ("x86_64", "i686", ...).
WORD ProcessorArchitectureOfMachine(const char* machine);

}  // namespace platform
