#pragma once
// The ports of both driver families as the service keeps them, and the answers to their
// IOCTL_PORT_MONITOR requests: command 10 lists the port names, command 11 reads every port's
// counters, both in one buffer that goes in and comes back with the same length.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/open_device_scan.h"
#include "drivers/port_backend.h"
#include "drivers/proc_serial.h"
#include "drivers/service_config.h"

namespace portcount {

constexpr DWORD kIoctlPortMonitor = 0x001B2010;
constexpr std::uint32_t kCommandListPorts = 10;
constexpr std::uint32_t kCommandReadCounters = 11;
// Header (16 bytes) and trailing padding around the entries of each command's buffer.
constexpr std::uint32_t kNameListOverhead = 64;
constexpr std::uint32_t kCounterListOverhead = 56;

class DriverCard {
  public:
    DriverCard();

    // Replaces every port with those of config; all counters start again from zero.
    void Load(const ServiceConfig& config, SteadyTime now);

    std::size_t PortCount(Family family) const;
    bool HasPort(Family family, std::string_view name) const;

    // Answers one request to a device of family: the status (0 or the error code) and, on
    // success, the output buffer of outBytes bytes.
    DWORD Handle(Family family, DWORD code, std::span<const std::uint8_t> in, DWORD outBytes,
                 std::vector<std::uint8_t>& out, SteadyTime now);

    // The Zenith family's ports with their counters as they stand at now, in listing order.
    struct NamedCounters {
        std::string name;
        WideCounters counters;
    };
    std::vector<NamedCounters> ZenithCounters(SteadyTime now);
    // The code every request of the family fails with; 0 when it answers.
    DWORD FailCode(Family family) const { return families_[static_cast<int>(family)].failCode; }

    // One line of the control socket's commands (all but reload and the management socket's
    // own, which the service owns):
    //   fail FAMILY CODE              fail every request of the family with CODE (0 stops); for
    //                                 Zenith every query, CODE an HRESULT (0x... allowed)
    //   restart [FAMILY] [PORT|all]   counters of the port (or every port) back to zero
    //   set [FAMILY] PORT FIELD=V...  counters to given values; FIELD is tx rx txp rxp
    //                                 overrun framing parity, and buffer (buffer overruns) for
    //                                 Zenith, whose error counts are 32-bit
    //   ports                         the port names of each family
    // The answer is one line: "ok..." or "error: ...".
    std::string Control(std::string_view line, SteadyTime now);

    // Whether a port holds its device open; Idle, called about once a second while one does,
    // lets go of the devices no other process uses any more.
    bool HoldsDevices() const;
    void Idle(SteadyTime now);

  private:
    struct Port {
        std::string name;
        std::unique_ptr<PortBackend> backend;
        WideCounters offset;  // subtracted from the backend's values: restarts and set values
        bool present = true;  // false while the device behind the port is missing
    };
    struct FamilyPorts {
        std::vector<Port> ports;
        DWORD failCode = 0;
    };

    WideCounters Reported(Port& port, SteadyTime now);
    void ListPorts(const FamilyPorts& family, std::span<std::uint8_t> entries);
    void ReadCounters(FamilyPorts& family, std::span<std::uint8_t> entries, SteadyTime now);
    // The ports a control command names; the reason in error when it names none.
    std::vector<Port*> Select(const std::vector<std::string_view>& words, std::size_t& next,
                              bool allowAll, std::string& error);

    std::array<FamilyPorts, kFamilyCount> families_;
    std::shared_ptr<OpenDeviceScan> scan_;
    std::shared_ptr<ProcSerialTable> procSerial_;
};

}  // namespace portcount
