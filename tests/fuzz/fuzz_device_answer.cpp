// Answer frames as a counter source receives them from a driver: any bytes must decode or be
// refused without writing past the request's buffer, and whatever a driver returns must leave
// the source within its limits: no more ports than were asked for, names of at most 11
// characters that find their own port, counters that encode back to the bytes they came from.

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "monitor/drivers/counter_source.h"
#include "platform/devio/device_io_protocol.h"
#include "platform/system/last_error.h"

namespace devio = platform::devio;

namespace {

// Serves the fuzz bytes as the driver's side of the connection, one answer per request; the
// transport's part (copying the returned bytes, failing with the status) is what
// DeviceIoControl does around the same decoder.
class WireControl final : public DeviceControl {
  public:
    explicit WireControl(std::span<const std::uint8_t> stream) : rest_(stream) {}

    platform::DeviceHandle Open(const char*) override { return 1; }
    void Close(platform::DeviceHandle) override {}

    BOOL Control(platform::DeviceHandle, DWORD, void* buffer, DWORD length,
                 DWORD* bytesReturned) override {
        *bytesReturned = 0;
        lastSucceeded_ = false;
        devio::AnswerFrame frame;
        const devio::FrameStatus status = devio::DecodeAnswer(rest_, length, frame);
        if (status == devio::FrameStatus::Incomplete &&
            rest_.size() >= devio::kAnswerHeaderSize + frame.header.returned) {
            __builtin_trap();  // everything announced is there, yet more is awaited
        }
        if (status != devio::FrameStatus::Complete) {
            rest_ = {};  // the connection is dropped
            return platform::FailWith(status == devio::FrameStatus::Malformed ? EPROTO
                                                                              : ECONNRESET);
        }
        if (frame.output.size() > length || frame.size > rest_.size() ||
            frame.output.data() != rest_.data() + devio::kAnswerHeaderSize) {
            __builtin_trap();
        }
        std::copy(frame.output.begin(), frame.output.end(), static_cast<std::uint8_t*>(buffer));
        rest_ = rest_.subspan(frame.size);
        if (frame.header.status != 0) {
            return platform::FailWith(frame.header.status);
        }
        *bytesReturned = frame.header.returned;
        platform::SetLastError(ERROR_SUCCESS);
        lastSucceeded_ = true;
        return TRUE;
    }

    bool Done() const { return rest_.empty(); }
    bool LastSucceeded() const { return lastSucceeded_; }

  private:
    std::span<const std::uint8_t> rest_;
    bool lastSucceeded_ = false;
};

class QuietOwner final : public CounterSourceOwner {
  public:
    void PostMonitorMessage(UINT) override {}
    void ShowMessageBox(const std::string&, const std::string&, UINT) override {}
    ReportSettings Settings() override { return {}; }
    double FreeDiskBytes() override { return 0; }
};

// After a listing; a failed one keeps the count it had, over entries without names.
void CheckNames(CounterSource& source, int asked, bool listed) {
    if (source.Count() < 0 || source.Count() > asked) {
        __builtin_trap();
    }
    for (int i = 0; i < source.Count(); ++i) {
        const std::string_view name = source.PortName(i);
        if (name.size() > kMaxPortNameLength) {
            __builtin_trap();
        }
        if (!listed) {
            continue;
        }
        if (name.empty()) {
            __builtin_trap();  // the count takes only the leading named entries
        }
        const int found = source.FindPort(name);
        if (found > i || (found < 0 && !source.Counters().empty())) {
            __builtin_trap();  // a listed name must find its own port or an earlier twin
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WireControl wire(std::span(data, size));
    QuietOwner owner;
    HublineSource source(owner, "\\\\.\\hubsio", wire);

    // Start-up as the sources run it: probe, list, size the buffers, list again.
    if (source.Probe() != 1) {
        __builtin_trap();
    }
    source.ListPorts();
    CheckNames(source, CounterSource::kInitialPortCount, wire.LastSucceeded());
    const int listed = source.Count();
    source.AllocateForPorts();
    source.ListPorts();
    CheckNames(source, listed, wire.LastSucceeded());

    for (int poll = 0; poll < 8 && !wire.Done(); ++poll) {
        const bool read = source.ReadCounters();
        const auto counters = source.Counters();
        if (counters.size() > static_cast<std::size_t>(std::max(source.Count(), 0)) ||
            source.Statistics().size() != counters.size()) {
            __builtin_trap();
        }
        if (!read) {
            continue;
        }
        const auto buffer = source.CounterBuffer();
        if (buffer.size() != PortCounterListLength(static_cast<std::size_t>(listed))) {
            __builtin_trap();
        }
        for (std::size_t i = 0; i < counters.size(); ++i) {
            std::array<std::uint8_t, kCounterEntrySize> encoded{};
            EncodeRawPortCounters(counters[i], encoded);
            if (std::memcmp(encoded.data(), buffer.data() + kListHeaderSize + i * kCounterEntrySize,
                            kCounterEntrySize) != 0) {
                __builtin_trap();  // the counters do not encode back to what the driver sent
            }
        }
    }
    return 0;
}
