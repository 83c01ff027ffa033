#pragma once
// Device handles for the drivers' control devices and device I/O control requests to them.
// "\\.\NAME" is a connection to the driver service's socket NAME in the device directory
// ($QUENBY_DEVICE_DIR, else $XDG_RUNTIME_DIR/quenby-devices, else /tmp/quenby-devices-<uid>),
// which is refused, with a message on standard error, unless only this user can reach it.
// A request sends the control code and the input buffer and gets the output buffer and the
// driver's status back; a missing socket is a device that cannot be opened, a broken
// connection a failed request.

#include <cstdint>
#include <string>

#include "platform/win/win_types.h"

namespace platform {

// A small non-zero number naming an open device; kInvalidDeviceHandle when none could be
// opened. Handles are never reused within a process.
using DeviceHandle = std::uint32_t;
constexpr DeviceHandle kInvalidDeviceHandle = 0xFFFFFFFFu;

constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;

// Where the driver service's sockets are: the directory the user names in
// $QUENBY_DEVICE_DIR, else $XDG_RUNTIME_DIR/quenby-devices, else /tmp/quenby-devices-<uid>.
struct DeviceDirectoryPlace {
    std::string path;
    bool named = false;  // named by the user, so it may be reached through a symbolic link
};
DeviceDirectoryPlace ChooseDeviceDirectory();
// ChooseDeviceDirectory's path (the directory is created by the service, not here).
std::string DeviceDirectory();

// Whoever can make or change the device directory can serve made-up counters or read the
// requests, so only a directory of this user's that no other user may enter, list or change
// (no permission bits for group or others) is used. One at the default place must not be a
// symbolic link either: anyone can plant one under /tmp. 0 when dir may be used; otherwise
// ENOENT (missing), ENOTDIR, EACCES (not safe) or the error of examining it, with a message
// that names the directory in problem.
int CheckDeviceDirectory(const std::string& dir, bool named, std::string& problem);

// For the service: creates dir with mode 0700 (and its missing parents) when it is not there,
// then checks it as above. Empty when it may be used, else the message.
std::string MakeDeviceDirectory(const std::string& dir, bool named);

// Opens "\\.\NAME". kInvalidDeviceHandle with the last error set (ERROR_FILE_NOT_FOUND when
// no driver serves NAME) on failure.
DeviceHandle CreateDeviceFile(const char* path, DWORD access, DWORD share);

// Sends one request and waits for its answer. FALSE with the last error on failure: the
// driver's own error code, or a system code when the connection broke. On success
// *bytesReturned is what the driver returned (at most outBytes).
BOOL DeviceIoControl(DeviceHandle device, DWORD code, const void* in, DWORD inBytes, void* out,
                     DWORD outBytes, DWORD* bytesReturned, void* overlapped);

BOOL CloseDeviceHandle(DeviceHandle device);

// How long a request waits for the driver's answer (5 s unless a test shortens it); a driver
// that does not answer in time fails the request with ETIMEDOUT.
void SetDeviceAnswerTimeoutForTesting(int milliseconds);

}  // namespace platform
