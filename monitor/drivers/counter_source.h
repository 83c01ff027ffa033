#pragma once
// One driver family's view of its ports: the port-name list and the counter list exchanged
// with the driver through device I/O control, the counters decoded from it and one statistics
// record per port. Port i is the triple (name entry i, counters entry i, statistics record i).
//
// The counters and statistics arrays are allocated once, when the ports are discovered at
// start-up, and never again: table rows keep pointers into them for the life of the program.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "monitor/drivers/counter_source_owner.h"
#include "monitor/drivers/device_control.h"
#include "monitor/records/port_statistics.h"
#include "monitor/records/raw_port_counters.h"
#include "monitor/records/source_time_base.h"
#include "platform/devio/device_io.h"

// Device type 0x1B (serial port), function 0x804, buffered, any access; the command word at
// offset 0 of the buffer selects listing (10) or counter reading (11).
constexpr DWORD IOCTL_PORT_MONITOR = 0x001B2010u;

constexpr std::uint32_t kPortNameListCommand = 10;
constexpr std::uint32_t kPortCounterListCommand = 11;
constexpr std::size_t kListHeaderSize = 16;
constexpr std::size_t kNameEntrySize = 12;
constexpr std::size_t kNameListPadding = 48;
constexpr std::size_t kCounterEntrySize = RawPortCounters::kSize;
constexpr std::size_t kCounterListPadding = 40;
constexpr std::size_t kMaxPortNameLength = 11;

// Request lengths: 64 + 12 N and 56 + 20 N.
constexpr std::size_t PortNameListLength(std::size_t ports) {
    return kListHeaderSize + kNameEntrySize * ports + kNameListPadding;
}
constexpr std::size_t PortCounterListLength(std::size_t ports) {
    return kListHeaderSize + kCounterEntrySize * ports + kCounterListPadding;
}

class CounterSource {
  public:
    // The number of ports asked for by the first listing.
    static constexpr int kInitialPortCount = 512;
    // 0 = not yet probed; kInvalidDeviceHandle = unavailable (or, for Zenith, lost).
    static constexpr platform::DeviceHandle kNotProbed = 0;

    CounterSource(CounterSourceOwner& owner, std::string_view devicePath, SourceFamily family,
                  DeviceControl& device = SystemDeviceControl());
    virtual ~CounterSource();
    CounterSource(const CounterSource&) = delete;
    CounterSource& operator=(const CounterSource&) = delete;

    // 1 when the family's driver answers, else 0; does nothing and returns 1 once the handle
    // is not 0 (so a source found unavailable or lost stays so).
    virtual int Probe();
    // Fills the name entries and sets Count(); a failed request shows the driver error and
    // leaves the count as it was.
    virtual void ListPorts();
    // Frees any buffers, then sizes the name buffer, counter buffer and statistics array for
    // exactly Count() ports, zero-filled.
    void AllocateForPorts();
    // Frees the name and counter buffers (the probe failed; the source is never polled).
    void FreeBuffers();
    // Refreshes every counters entry. A failed request shows the driver error and leaves the
    // entries as they were. False when the request failed.
    virtual bool ReadCounters();

    // The first port i < Count() whose name equals `name` exactly; null when none does. An
    // empty name never matches (an unfilled entry is not a port).
    RawPortCounters* FindCounters(std::string_view name);
    PortStatistics* FindStatistics(std::string_view name);
    int FindPort(std::string_view name) const;

    int Count() const { return count_; }
    // Name entry i (at most 11 characters); empty when there is no name buffer.
    std::string_view PortName(int i) const;
    std::span<RawPortCounters> Counters();
    std::span<PortStatistics> Statistics();

    SourceFamily Family() const { return family_; }
    const std::string& DevicePath() const { return devicePath_; }
    platform::DeviceHandle Handle() const { return handle_; }
    DWORD RequestLength() const { return requestLength_; }
    DWORD BytesReturned() const { return bytesReturned_; }
    CounterSourceOwner& Owner() { return owner_; }
    SourceTimeBase& TimeBase() { return timeBase_; }

    // The raw driver buffers, exactly as exchanged.
    std::span<const std::uint8_t> NameBuffer() const;
    std::span<const std::uint8_t> CounterBuffer() const;

  protected:
    // Shows "Driver Communication Error!" with the thread's last error.
    void ReportDriverError();
    // Sets count_ to the number of leading entries with a name, scanning at most `entries`.
    void CountNamedEntries(std::size_t entries);
    std::span<std::uint8_t> NameEntries();

    CounterSourceOwner& owner_;
    DeviceControl& device_;
    platform::DeviceHandle handle_ = kNotProbed;

  private:
    void AllocateNameBuffer(std::size_t ports);

    const std::string devicePath_;
    const SourceFamily family_;
    int count_ = kInitialPortCount;
    DWORD requestLength_ = 0;
    DWORD bytesReturned_ = 0;

    std::unique_ptr<std::uint8_t[]> nameBuffer_;
    std::size_t nameBufferSize_ = 0;
    std::size_t nameEntries_ = 0;
    std::unique_ptr<std::uint8_t[]> counterBuffer_;
    std::size_t counterBufferSize_ = 0;
    std::unique_ptr<RawPortCounters[]> counters_;
    std::unique_ptr<PortStatistics[]> statistics_;
    std::size_t recordCount_ = 0;
    SourceTimeBase timeBase_;
};

// ReadCounters, then the statistics cycle (UpdatePortStatistics) over the source's ports.
void UpdateStatistics(CounterSource& source);

class HublineSource final : public CounterSource {
  public:
    HublineSource(CounterSourceOwner& owner, std::string_view devicePath,
                  DeviceControl& device = SystemDeviceControl())
        : CounterSource(owner, devicePath, SourceFamily::Hubline, device) {}
};

class TalonSource final : public CounterSource {
  public:
    TalonSource(CounterSourceOwner& owner, std::string_view devicePath,
                DeviceControl& device = SystemDeviceControl())
        : CounterSource(owner, devicePath, SourceFamily::Talon, device) {}
};

// The family read through the management service (monitor/drivers/wmi_counters.h). Its path
// "\\.\zenport" only names the source; it is never opened. The handle is 0 while the family is
// reachable and kInvalidDeviceHandle once it is unavailable or lost.
//
// A counter read makes one attempt per polling tick, so the user interface never waits between
// attempts: a read that fails at three ticks in a row loses the source, with one message, and
// it is not read again in this run; a read that succeeds starts the count again.
class ZenithSource final : public CounterSource {
  public:
    static constexpr const char* kPath = "\\\\.\\zenport";
    static constexpr int kAttempts = 3;

    explicit ZenithSource(CounterSourceOwner& owner)
        : CounterSource(owner, kPath, SourceFamily::Zenith) {}

    int Probe() override;
    void ListPorts() override;
    bool ReadCounters() override;

    // Failed reads since the last one that succeeded.
    int FailedReads() const { return failedReads_; }

  private:
    int failedReads_ = 0;
};
