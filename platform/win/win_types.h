#pragma once
// The integer types, result values and error codes of the Windows API that the programs are
// written against. On Windows the real headers supply them; elsewhere this file does, with the
// same names and values.

#ifdef _WIN32
#include <windows.h>
#else

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BOOL = int;
using UINT = unsigned int;
using ULONG_PTR = std::uintptr_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD MAXDWORD = 0xFFFFFFFFu;

constexpr DWORD WAIT_OBJECT_0 = 0x00000000u;
constexpr DWORD WAIT_TIMEOUT = 0x00000102u;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// Result codes of the registry functions and of GetLastError. On this host a code that has a
// host error number (errno) takes that number, so the system's own failures need no
// translation and their texts come from the host; the codes with no such counterpart keep
// their Windows values, all above the host's range.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;      // ENOENT
constexpr LONG ERROR_INVALID_HANDLE = 9;      // EBADF
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 12;  // ENOMEM
constexpr LONG ERROR_ACCESS_DENIED = 13;      // EACCES
constexpr LONG ERROR_BUSY = 16;               // EBUSY
constexpr LONG ERROR_INVALID_PARAMETER = 22;  // EINVAL
constexpr LONG ERROR_INVALID_FUNCTION = 25;   // ENOTTY: the device does not offer the function
constexpr LONG ERROR_ALREADY_EXISTS = 183;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_OPERATION_ABORTED = 995;
constexpr LONG ERROR_IO_INCOMPLETE = 996;
constexpr LONG ERROR_IO_PENDING = 997;
constexpr LONG ERROR_BADKEY = 1010;

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000u;

#endif
