#include "platform/system/last_error.h"

#include <cerrno>
#include <cstring>

namespace platform {

namespace {
thread_local DWORD t_lastError = 0;
}

DWORD GetLastError() {
    return t_lastError;
}

void SetLastError(DWORD code) {
    t_lastError = code;
}

BOOL FailWithErrno() {
    // A failure must never read as ERROR_SUCCESS, even when the failing call left errno alone.
    t_lastError = errno != 0 ? static_cast<DWORD>(errno) : static_cast<DWORD>(EIO);
    return FALSE;
}

BOOL FailWith(DWORD code) {
    t_lastError = code;
    return FALSE;
}

std::string FormatErrorMessage(DWORD code) {
    switch (code) {
        case static_cast<DWORD>(ERROR_OPERATION_ABORTED):
            return "The I/O operation has been aborted because of either a thread exit or an "
                   "application request.";
        case static_cast<DWORD>(ERROR_IO_INCOMPLETE):
            return "Overlapped I/O event is not in a signaled state.";
        case static_cast<DWORD>(ERROR_IO_PENDING):
            return "Overlapped I/O operation is in progress.";
        case static_cast<DWORD>(ERROR_MORE_DATA):
            return "More data is available.";
        case static_cast<DWORD>(ERROR_ALREADY_EXISTS):
            return "Cannot create a file when that file already exists.";
        case static_cast<DWORD>(ERROR_BADKEY):
            return "Configuration registry key is invalid.";
        default:
            break;
    }
    char buffer[256];
    // The GNU strerror_r returns the text, which may or may not be the buffer.
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    return text;
}

}  // namespace platform
