#pragma once
// The current user's registry, as the programs' Win32 calls use it. The keys under
// HKEY_CURRENT_USER live in one text file, HKEY_CURRENT_USER.reg in the configuration
// directory, in the registry editor's REGEDIT4 format so that a user can read and edit it.
// Both programs may use it at the same time: every change locks the store, reads it afresh,
// applies the change and replaces the file in one step, so neither loses the other's values.
// Every call returns ERROR_SUCCESS or the reason of the failure (host error numbers for the
// file system's failures), as the Windows calls do.

#include <cstdint>
#include <string>

#include "platform/win/win_types.h"

#ifndef _WIN32

struct HKEY__;
using HKEY = HKEY__*;
using REGSAM = DWORD;

// The only predefined key the store holds.
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001u});

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_EXECUTE = 0x20019;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

#endif

namespace platform {

// Opens the key, creating it (and its missing parents) when it does not exist; a new key is
// written to the store at once, empty. Key names are compared without regard to case and
// keep the spelling of their creation. `subKey` null or empty opens `key` itself again.
// Only non-volatile keys are kept (`options` 0). `keyClass` and `security` are not used.
LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                     REGSAM sam, const void* security, HKEY* result, DWORD* disposition);

// Opens an existing key: ERROR_FILE_NOT_FOUND when there is none.
LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM sam, HKEY* result);

// Reads a value: its type into *type, its bytes into data. With data null, only the size is
// reported (and the call succeeds); when *cbData is smaller than the value, the call returns
// ERROR_MORE_DATA, sets *cbData to the size needed and leaves the buffer alone. Exactly the
// stored bytes are returned: a text value gets no terminating zero that it was not stored
// with. `reserved` must be null. A null or empty name is the key's default value.
LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* cbData);

// Stores `cb` bytes as they are, of any type. A value name cannot hold a line break.
LONG RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD cb);

LONG RegDeleteValueA(HKEY key, const char* name);

// Handles are small numbers that are never given out twice in a process, so a handle used
// after its close is recognised (ERROR_INVALID_HANDLE). Closing HKEY_CURRENT_USER does nothing.
LONG RegCloseKey(HKEY key);

// The store file: HKEY_CURRENT_USER.reg in the configuration directory.
std::string CurrentUserStorePath();

}  // namespace platform
