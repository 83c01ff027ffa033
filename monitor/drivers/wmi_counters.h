#pragma once
// The Zenith family's three operations through the management service: probe, port listing
// and counter read, each self-contained (COM set up for the operation and undone after it, a
// connection to ROOT\WMI, one query of the family's class, every interface released).
//
// The process's COM security is set once; an "already done" answer (RPC_E_TOO_LATE from
// CoInitializeSecurity, S_FALSE or RPC_E_CHANGED_MODE from CoInitializeEx) is success, so the
// second operation of a run does not fail where the first succeeded.

#include <cstdint>
#include <memory>
#include <span>

#include "monitor/records/raw_port_counters.h"
#include "platform/wmi/wmi.h"

inline constexpr const char16_t* kWmiNamespace = u"ROOT\\WMI";
inline constexpr const char16_t* kZenithQueryLanguage = u"WQL";
inline constexpr const char16_t* kZenithQuery = u"SELECT * FROM MSSerial_TalonCard_Seltra_Status";

// COM on the calling thread for one operation: undone when it ends, unless the thread had it in
// the other model already (that set-up is not this operation's to undo).
class ComScope {
  public:
    ComScope();
    ~ComScope();
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

    // COM can be used on this thread and the process's security is set.
    bool Ready() const { return ready_; }

  private:
    bool ready_ = false;
    bool undo_ = false;
};

// A connection to ROOT\WMI with the call security the provider asks for; null on any failure.
// Needs a ready ComScope for as long as the connection lives.
std::unique_ptr<platform::IWbemServices> ConnectWmi();

// 1 when the family's class has at least one instance, else 0.
int ProbeWmi();

// Fills the 12-byte name entries with the ports' names in the order the instances arrive: the
// PortName without every "\DosDevices\", at most 11 characters. A longer name would not fit an
// entry and is skipped, as is a name listed already. Every entry is cleared first. 1 when at
// least one name was stored, else 0.
int ListWmiPorts(std::span<std::uint8_t> nameEntries);

// Stores each instance's counters into the entry of the port its PortName names (whatever the
// order the instances arrive in); ports without an instance keep their entries, a property
// that cannot be read leaves its field as it was. nameEntries holds counters.size() entries.
// 1 when at least one port was matched, else 0.
int ReadWmiCounters(std::span<const std::uint8_t> nameEntries, std::span<RawPortCounters> counters);

// Makes the next operation set the process's security again (for tests that start the process's
// COM afresh with platform::ResetWmiForTesting).
void ForgetProcessSecurityForTesting();
