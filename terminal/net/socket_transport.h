#pragma once
// A socket port's transport: a TCP client connection, with TLS records when the port's name asks
// for them. Its counts are the kilobytes it moved; a socket has no line errors, no modem lines
// and no serial device.
//
// Connecting is not built yet: every open fails as a refused connection does, with the same
// text in the port's display, and the port stays closed. The pacing and counts are the socket
// port's already, so that the workers never ask what kind of port they drive.

#include <atomic>
#include <string>

#include "terminal/transport/port_transport.h"

class SocketTransport final : public PortTransport {
  public:
    explicit SocketTransport(std::string portName);

    bool Open(std::string* failureText) override;
    void BeginClose() override;
    bool IsOpen() const override { return open_.load() != 0; }
    TransportRead ReadQueued(char* buffer, DWORD maxBytes) override;
    InputWait WaitForInput(DWORD milliseconds) override;
    bool WriteAll(const char* data, DWORD length) override;
    void WriteUncounted(const char* data, DWORD length) override;
    DWORD LostError() const override { return 0; }
    TransportCounts Counts() const override;
    void ResetReadCounts() override { kbRead_.store(0); }
    void ResetWrittenCount() override { kbWritten_.store(0); }
    // A socket port paces its pattern by the record: about every 33 ms, every 3358 ms with a
    // continuous character, and 50 ms after any other cycle.
    DWORD SendPacingMs(bool patternSent, bool continuous) const override;
    std::string Caption() const override { return {}; }

  private:
    const std::string portName_;
    std::atomic<int> open_{0};
    std::atomic<double> kbWritten_{0};
    std::atomic<double> kbRead_{0};
};
