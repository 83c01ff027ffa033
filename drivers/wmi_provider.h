#pragma once
// The Zenith family's management class as the service publishes it on its socket `wmi`: one
// instance of MSSerial_TalonCard_Seltra_Status per Zenith port, in the namespace ROOT\WMI,
// answered to the one query form the monitor sends ("SELECT * FROM <class>"; any other text is
// refused with the HRESULT the system gives it). Control lines make each step fail, reorder,
// hide or strip instances and delay the answers, so the monitor's handling of each is testable.

#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/driver_card.h"
#include "platform/wmi/wmi_protocol.h"

namespace portcount {

constexpr const char* kWmiNamespace = "ROOT\\WMI";
constexpr const char* kWmiClass = "MSSerial_TalonCard_Seltra_Status";
// What each instance's PortName puts before the port's name.
constexpr const char* kDosDevicesPrefix = "\\DosDevices\\";

class WmiProvider {
  public:
    explicit WmiProvider(DriverCard& card) : card_(card) {}

    // The answer frame to one request of the management socket.
    std::vector<std::uint8_t> Answer(const platform::wmi::Request& request, SteadyTime now);
    // How long each answer is held back.
    std::chrono::milliseconds Delay() const { return delay_; }

    // One "wmi ..." control line (the word "wmi" included):
    //   wmi fail connect|query|next CODE [COUNT]   the next COUNT (default: every) such
    //                                              requests fail with the HRESULT CODE; 0 stops
    //   wmi order [PORT...]                        these ports' instances first (none: as listed)
    //   wmi hide PORT / wmi show PORT|all          leave an instance out, or put it back
    //   wmi omit PORT PROPERTY [CODE]              the property is missing (or its Get fails
    //                                              with CODE)
    //   wmi delay MS                               hold every answer back MS milliseconds
    //   wmi stats                                  "ok connects=N queries=N"
    //   wmi reset                                  all of the above back to normal
    std::string Control(std::string_view line);

    int Connects() const { return connects_; }
    int Queries() const { return queries_; }

  private:
    struct Failure {
        platform::HRESULT hr = 0;
        int times = 0;  // negative: every request
    };
    // The failure a step has now, counting it down.
    platform::HRESULT Take(Failure& failure);
    platform::wmi::QueryResult Instances(SteadyTime now);
    platform::HRESULT CheckQuery(std::span<const std::uint8_t> input) const;
    bool IsPort(std::string_view name) const;

    DriverCard& card_;
    Failure connectFailure_;
    Failure queryFailure_;
    Failure nextFailure_;
    std::vector<std::string> order_;
    std::set<std::string, std::less<>> hidden_;
    std::map<std::string, std::map<std::string, platform::HRESULT>, std::less<>> omitted_;
    std::chrono::milliseconds delay_{0};
    int connects_ = 0;
    int queries_ = 0;
};

}  // namespace portcount
