#pragma once
// The serial communications API on one simulated device end.

#include <cerrno>
#include <memory>
#include <string>

#include "platform/comm/comm_device.h"
#include "platform/comm/sim_peers.h"
#include "platform/comm/sim_station.h"

namespace platform::sim {

class SimEndpoint final : public CommDevice {
  public:
    // `name` is the device's name in the open-device registry, released again by Close.
    SimEndpoint(std::string name, std::shared_ptr<SimStation> station,
                std::shared_ptr<SimCable> cable);
    ~SimEndpoint() override;

    BOOL GetCommState(DCB& dcb) override;
    BOOL SetCommState(const DCB& dcb) override;
    BOOL GetCommTimeouts(COMMTIMEOUTS& timeouts) override;
    BOOL SetCommTimeouts(const COMMTIMEOUTS& timeouts) override;
    BOOL SetCommMask(DWORD mask) override;
    BOOL GetCommMask(DWORD& mask) override;
    BOOL WaitCommEvent(DWORD* mask, Event* done) override;
    BOOL GetCommEventResult() override;
    BOOL ReadFile(void* buffer, DWORD bytes, DWORD& read) override;
    BOOL WaitForInput(DWORD milliseconds) override;
    BOOL WriteFile(const void* data, DWORD bytes, DWORD& written) override;
    BOOL ClearCommError(DWORD& errors, COMSTAT* stat) override;
    BOOL GetCommModemStatus(DWORD& modemStatus) override;
    BOOL EscapeCommFunction(DWORD function) override;
    BOOL PurgeComm(DWORD flags) override;
    BOOL SetupComm(DWORD inQueue, DWORD outQueue) override;
    BOOL GetCommProperties(COMMPROP& properties) override;
    BOOL TransmitCommChar(char c) override;
    BOOL DeviceIoControl(DWORD code, const void* in, DWORD inBytes, void* out, DWORD outBytes,
                         DWORD& returned) override;
    void Close() override;
    // Pulls the device out, with World's lock held: outstanding calls end and every call fails
    // with kUnpluggedError until Close; the far end's inputs go off.
    void Unplug();

    // What the calls of a pulled-out device fail with, as a tty whose adapter has gone.
    static constexpr DWORD kUnpluggedError = ENODEV;

  private:
    // Runs `call(station, lock)` with the wire locked; ERROR_INVALID_HANDLE once closed.
    template <typename Call>
    BOOL WithStation(Call&& call);

    const std::string name_;
    // Both null once closed. A call keeps its own reference to the station, so a read woken
    // by Close never touches a released device.
    std::shared_ptr<SimStation> station_;
    std::shared_ptr<SimCable> cable_;
};

// Called by Close, with World's lock held: the name may be opened again.
void ReleaseSimulatedDevice(const std::string& name);
// The open device of that name, or null; World's lock held.
SimEndpoint* OpenSimulatedEndpoint(const std::string& name);

}  // namespace platform::sim
