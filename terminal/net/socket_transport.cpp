#include "terminal/net/socket_transport.h"

#include <utility>

#include "platform/system/last_error.h"

SocketTransport::SocketTransport(std::string portName) : portName_(std::move(portName)) {}

bool SocketTransport::Open(std::string* failureText) {
    if (failureText != nullptr) {
        *failureText = "Halvo2 Can't open the port!\r\n";
    }
    return false;
}

void SocketTransport::BeginClose() {
    open_.store(0);
}

TransportRead SocketTransport::ReadQueued(char* buffer, DWORD /*maxBytes*/) {
    TransportRead read;
    buffer[0] = 0;
    read.failed = true;
    return read;
}

InputWait SocketTransport::WaitForInput(DWORD /*milliseconds*/) {
    return InputWait::Closed;
}

bool SocketTransport::WriteAll(const char* /*data*/, DWORD /*length*/) {
    platform::SetLastError(ERROR_INVALID_HANDLE);
    return false;
}

void SocketTransport::WriteUncounted(const char* /*data*/, DWORD /*length*/) {}

TransportCounts SocketTransport::Counts() const {
    TransportCounts counts;
    counts.kbWritten = kbWritten_.load();
    counts.kbRead = kbRead_.load();
    return counts;
}

DWORD SocketTransport::SendPacingMs(bool patternSent, bool continuous) const {
    if (patternSent) {
        return continuous ? 3358 : 33;
    }
    return 50;
}
