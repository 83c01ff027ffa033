#include "monitor/drivers/counter_source.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "monitor/drivers/driver_messages.h"
#include "monitor/drivers/wmi_counters.h"
#include "monitor/records/little_endian.h"
#include "monitor/stats/update_statistics.h"
#include "platform/system/last_error.h"

std::string DriverErrorText(DWORD errorCode) {
    char text[96];
    std::snprintf(text, sizeof text, kDriverErrorFormat, static_cast<int>(errorCode));
    return text;
}

CounterSource::CounterSource(CounterSourceOwner& owner, std::string_view devicePath,
                             SourceFamily family, DeviceControl& device)
    : owner_(owner), device_(device), devicePath_(devicePath), family_(family) {
    AllocateNameBuffer(kInitialPortCount);
}

CounterSource::~CounterSource() {
    if (handle_ != kNotProbed && handle_ != platform::kInvalidDeviceHandle) {
        device_.Close(handle_);
    }
}

void CounterSource::AllocateNameBuffer(std::size_t ports) {
    nameBufferSize_ = PortNameListLength(ports);
    nameEntries_ = ports;
    nameBuffer_ = std::make_unique<std::uint8_t[]>(nameBufferSize_);  // zero-filled
    std::span<std::uint8_t> header(nameBuffer_.get(), kListHeaderSize);
    le::Put32(header, 0, kPortNameListCommand);
    le::Put32(header, 4, kNameEntrySize);
}

int CounterSource::Probe() {
    if (handle_ != kNotProbed) {
        return 1;
    }
    handle_ = device_.Open(devicePath_.c_str());
    return handle_ == platform::kInvalidDeviceHandle ? 0 : 1;
}

void CounterSource::ReportDriverError() {
    owner_.ReportDriverError(family_, DriverErrorText(platform::GetLastError()));
}

std::span<std::uint8_t> CounterSource::NameEntries() {
    if (!nameBuffer_) {
        return {};
    }
    return {nameBuffer_.get() + kListHeaderSize, kNameEntrySize * nameEntries_};
}

void CounterSource::CountNamedEntries(std::size_t entries) {
    const std::span<std::uint8_t> names = NameEntries();
    entries = std::min(entries, names.size() / kNameEntrySize);
    std::size_t n = 0;
    while (n < entries && names[n * kNameEntrySize] != 0) {
        ++n;
    }
    count_ = static_cast<int>(n);
}

void CounterSource::ListPorts() {
    if (!nameBuffer_ || count_ < 0) {
        return;
    }
    // The request can never ask for more entries than the buffer holds, even if the count
    // was changed behind the buffer's back.
    const std::size_t n = std::min(static_cast<std::size_t>(count_), nameEntries_);
    std::span<std::uint8_t> header(nameBuffer_.get(), kListHeaderSize);
    le::Put32(header, 0, kPortNameListCommand);
    le::Put32(header, 4, kNameEntrySize);
    requestLength_ = static_cast<DWORD>(PortNameListLength(n));
    if (!device_.Control(handle_, IOCTL_PORT_MONITOR, nameBuffer_.get(), requestLength_,
                         &bytesReturned_)) {
        ReportDriverError();
        return;
    }
    CountNamedEntries(n);
}

void CounterSource::AllocateForPorts() {
    FreeBuffers();
    statistics_.reset();
    const std::size_t n = static_cast<std::size_t>(std::max(count_, 0));
    AllocateNameBuffer(n);
    counterBufferSize_ = PortCounterListLength(n);
    counterBuffer_ = std::make_unique<std::uint8_t[]>(counterBufferSize_);
    std::span<std::uint8_t> header(counterBuffer_.get(), kListHeaderSize);
    le::Put32(header, 0, kPortCounterListCommand);
    le::Put32(header, 4, kCounterEntrySize);
    counters_ = std::make_unique<RawPortCounters[]>(n);
    statistics_ = std::make_unique<PortStatistics[]>(n);
    recordCount_ = n;
}

void CounterSource::FreeBuffers() {
    nameBuffer_.reset();
    nameBufferSize_ = 0;
    nameEntries_ = 0;
    counterBuffer_.reset();
    counterBufferSize_ = 0;
}

bool CounterSource::ReadCounters() {
    if (!counterBuffer_ || !counters_) {
        return false;
    }
    const std::size_t n = std::min(
        {static_cast<std::size_t>(std::max(count_, 0)), recordCount_,
         (counterBufferSize_ - kListHeaderSize - kCounterListPadding) / kCounterEntrySize});
    std::span<std::uint8_t> buffer(counterBuffer_.get(), counterBufferSize_);
    le::Put32(buffer, 0, kPortCounterListCommand);
    le::Put32(buffer, 4, kCounterEntrySize);
    requestLength_ = static_cast<DWORD>(PortCounterListLength(n));
    if (!device_.Control(handle_, IOCTL_PORT_MONITOR, buffer.data(), requestLength_,
                         &bytesReturned_)) {
        // The entries keep what they hold; the statistics run on them and see no change.
        ReportDriverError();
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        counters_[i] = DecodeRawPortCounters(
            buffer.subspan(kListHeaderSize + i * kCounterEntrySize).first<kCounterEntrySize>());
    }
    return true;
}

std::string_view CounterSource::PortName(int i) const {
    if (!nameBuffer_ || i < 0 || static_cast<std::size_t>(i) >= nameEntries_) {
        return {};
    }
    const char* entry =
        reinterpret_cast<const char*>(nameBuffer_.get() + kListHeaderSize + i * kNameEntrySize);
    // An entry that fills all 12 bytes has lost its NUL; only 11 characters are a name.
    return {entry, strnlen(entry, kMaxPortNameLength)};
}

int CounterSource::FindPort(std::string_view name) const {
    if (name.empty() || !nameBuffer_) {
        return -1;
    }
    const int ports = std::min(count_, static_cast<int>(std::min(nameEntries_, recordCount_)));
    for (int i = 0; i < ports; ++i) {
        if (PortName(i) == name) {
            return i;
        }
    }
    return -1;
}

RawPortCounters* CounterSource::FindCounters(std::string_view name) {
    const int i = FindPort(name);
    return i < 0 ? nullptr : &counters_[static_cast<std::size_t>(i)];
}

PortStatistics* CounterSource::FindStatistics(std::string_view name) {
    const int i = FindPort(name);
    return i < 0 ? nullptr : &statistics_[static_cast<std::size_t>(i)];
}

std::span<RawPortCounters> CounterSource::Counters() {
    if (!counters_) {
        return {};
    }
    return {counters_.get(), std::min(static_cast<std::size_t>(std::max(count_, 0)), recordCount_)};
}

std::span<PortStatistics> CounterSource::Statistics() {
    if (!statistics_) {
        return {};
    }
    return {statistics_.get(),
            std::min(static_cast<std::size_t>(std::max(count_, 0)), recordCount_)};
}

std::span<const std::uint8_t> CounterSource::NameBuffer() const {
    return {nameBuffer_.get(), nameBufferSize_};
}

std::span<const std::uint8_t> CounterSource::CounterBuffer() const {
    return {counterBuffer_.get(), counterBufferSize_};
}

int ZenithSource::Probe() {
    if (handle_ != kNotProbed) {
        return 1;
    }
    if (ProbeWmi() == 1) {
        handle_ = kNotProbed;  // reachable: there is no device handle to keep
        return 1;
    }
    handle_ = platform::kInvalidDeviceHandle;
    return 0;
}

void ZenithSource::ListPorts() {
    const std::span<std::uint8_t> entries = NameEntries();
    if (ListWmiPorts(entries) == 1) {
        CountNamedEntries(entries.size() / kNameEntrySize);
    }
}

bool ZenithSource::ReadCounters() {
    if (handle_ == platform::kInvalidDeviceHandle) {
        return false;  // lost: never read again in this run
    }
    const std::span<RawPortCounters> counters = Counters();
    const std::span<std::uint8_t> entries = NameEntries();
    if (ReadWmiCounters(entries.first(std::min(entries.size(), counters.size() * kNameEntrySize)),
                        counters) == 1) {
        failedReads_ = 0;
        return true;
    }
    if (++failedReads_ >= kAttempts) {
        handle_ = platform::kInvalidDeviceHandle;
        owner_.ShowMessageBox(kZenithLostText, kDriverWarningCaption, MB_ICONHAND);
    }
    return false;
}

void UpdateStatistics(CounterSource& source) {
    source.ReadCounters();
    UpdatePortStatistics(source.TimeBase(), source.Counters(), source.Statistics(), source.Owner());
}
