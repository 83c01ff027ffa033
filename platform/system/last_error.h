#pragma once
// The calling thread's last error, as GetLastError and SetLastError keep it. System failures
// carry the host's error number (errno); see win_types.h for the named Windows codes.

#include <string>

#include "platform/win/win_types.h"

namespace platform {

DWORD GetLastError();
void SetLastError(DWORD code);
// Sets the last error from errno and returns FALSE, for the common failure path.
BOOL FailWithErrno();
BOOL FailWith(DWORD code);

// The system's text for an error code, without a trailing line break.
std::string FormatErrorMessage(DWORD code);

}  // namespace platform
