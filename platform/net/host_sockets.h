#pragma once
// The host's socket calls behind winsock.cpp, kept apart so that the Winsock names and the
// host's macros of the same names never meet in one file. Descriptors are the host's; every
// failure comes back as the host's error number (errno), never through errno itself.

#include <cstddef>
#include <cstdint>

namespace platform::host_net {

// A blocking TCP socket over IPv4, closed on exec; the descriptor, or -errno.
int OpenStream();
// 0 or the error.
int SetReceiveTimeout(int fd, std::uint32_t milliseconds);
// Connects to the address and port (both in network byte order). A negative `milliseconds`
// waits without limit. ETIMEDOUT when the time passed, EINTR when `wakeFd` (may be -1) became
// readable first, and then the connect is given up; 0 on success; else the connect's error.
int Connect(int fd, std::uint32_t address, std::uint16_t port, int milliseconds, int wakeFd);
// The bytes moved, or -errno. Signals never interrupt them and sending never raises SIGPIPE.
long Send(int fd, const void* data, std::size_t length, bool outOfBand);
long Receive(int fd, void* buffer, std::size_t length, bool outOfBand, bool peek);
// `how`: 0 receive, 1 send, 2 both. 0 or the error.
int Shutdown(int fd, int how);
int Close(int fd);

enum class WaitResult { Readable, TimedOut, Woken, Failed };
// Waits until a receive on `fd` would not block; `error` gets the wait's own failure.
WaitResult WaitReadable(int fd, int milliseconds, int wakeFd, int* error);

// A waker: a descriptor that polls readable once set, until reset. -1 when none could be made.
int MakeWaker();
void SetWaker(int fd);
void ResetWaker(int fd);
bool WakerIsSet(int fd);
void CloseWaker(int fd);

}  // namespace platform::host_net
