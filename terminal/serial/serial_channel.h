#pragma once
// One port window's serial device: opened and configured from the port's settings record, read
// for what the driver already holds, written with a wait for completion, with counters of line
// errors and kilobytes, and a watcher thread that reports modem-line and communication events
// through a callback. It is a serial port's transport: the workers, the typed characters and
// the session reach it through PortTransport.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/comm/comm_device.h"
#include "platform/sync/event.h"
#include "terminal/config/port_config.h"
#include "terminal/transport/port_transport.h"

// The values a channel passes to its callback.
enum ChannelEvent : int {
    CHANNEL_WATCHER_STARTED = 0,
    CHANNEL_WATCHER_ENDED = 1,
    CHANNEL_XOFF_HOLD_ENDED = 2,
    CHANNEL_XOFF_HOLD_BEGAN = 3,
    CHANNEL_RING_ON = 4,
    CHANNEL_RING_OFF = 5,
    CHANNEL_CD_ON = 6,
    CHANNEL_CD_OFF = 7,
    CHANNEL_CTS_OFF = 8,
    CHANNEL_CTS_ON = 9,
    CHANNEL_DSR_OFF = 10,
    CHANNEL_DSR_ON = 11,
    CHANNEL_BREAK = 12,
    CHANNEL_RXCHAR = 13,
    CHANNEL_RXFLAG = 14,
    CHANNEL_LINE_ERROR = 15,
    CHANNEL_PRINTER_ERROR = 16,
    CHANNEL_TX_EMPTY = 17,
    CHANNEL_EVENT1 = 18,
    CHANNEL_EVENT2 = 19,
    // The watcher's wait failed because the device has gone (DeviceLostError says how); the
    // watcher ends right after.
    CHANNEL_DEVICE_LOST = 20,
};

// The result of SerialChannel::Open; one value only.
enum OpenResult : int {
    OPEN_SUCCESS = 0,
    OPEN_MASK_FAILED = 1,
    OPEN_TIMEOUTS_FAILED = 2,
    OPEN_STATE_FAILED = 4,
    OPEN_NO_DEVICE = 8,
    OPEN_BAD_PORT_NUMBER = 16,
    OPEN_EVENT_MISSING = 32,
};

class SerialChannel;
using ChannelCallback = void (*)(SerialChannel* channel, void* owner, ChannelEvent event);

class SerialChannel final : public PortTransport {
  public:
    // The four modem-line events stay on whatever else a port watches.
    static constexpr DWORD kModemLineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;

    SerialChannel(int portNumber, const PortConfig& config, void* owner);
    ~SerialChannel() override;
    SerialChannel(const SerialChannel&) = delete;
    SerialChannel& operator=(const SerialChannel&) = delete;

    void SetCallback(ChannelCallback callback);

    OpenResult Open();
    void StartWatcher();
    void StopWatcher();
    void CloseDevice();

    // Reads only what the driver holds, at most maxBytes; the buffer holds maxBytes + 1 bytes
    // and gets a zero byte after the data. 1 on success (also with nothing queued), 0 on failure.
    int Read(char* buffer, DWORD maxBytes, DWORD& count);
    // Waits until the device has taken all bytes. 1 on success, 0 on failure.
    int Write(const char* data, DWORD length);
    COMSTAT& ClearErrors(COMSTAT& comstat);

    // The error of the failure that showed the device has gone (a read, a write or the
    // watcher's wait; see platform::IsDeviceGoneError), or 0. Cleared by every open.
    DWORD DeviceLostError() const;

    // The open device for the line commands and settings dialogs; null while closed. Holding
    // the returned handle keeps the device object alive, never the device open.
    platform::CommDeviceHandle Device() const;

    int PortNumber() const { return portNumber_; }
    const PortConfig& Config() const { return config_; }
    const char* DevicePath() const { return devicePath_; }
    bool PortOpen() const { return portOpen_.load(std::memory_order_acquire) != 0; }
    bool WatcherRunning() const;
    bool WatcherStarted() const { return watcherStarted_.load() != 0; }
    bool NotXoff() const { return notXoff_.load() != 0; }

    double KbWritten() const { return kbWritten_.load(std::memory_order_relaxed); }
    double KbRead() const { return kbRead_.load(std::memory_order_relaxed); }
    void CountWritten(DWORD bytes);
    void CountRead(DWORD bytes);
    void ResetCounters();
    // Starting to receive clears the received kilobytes and the line errors; starting to send
    // clears the written kilobytes. Neither touches the other direction's counts.
    void ResetReadCounters();
    void ResetWrittenCounter();
    DWORD TotalErrors() const { return totalErrors_.load(std::memory_order_relaxed); }
    DWORD FramingErrors() const { return framingErrors_.load(std::memory_order_relaxed); }
    DWORD ParityErrors() const { return parityErrors_.load(std::memory_order_relaxed); }
    DWORD OverrunErrors() const { return overrunErrors_.load(std::memory_order_relaxed); }

    // PortTransport: Open and StartWatcher, Read, the device's wait for input, Write, and the
    // counters above.
    bool Open(std::string* failureText) override;
    void StartWatch() override;
    void BeginClose() override;
    bool IsOpen() const override { return PortOpen(); }
    TransportRead ReadQueued(char* buffer, DWORD maxBytes) override;
    InputWait WaitForInput(DWORD milliseconds) override;
    bool WriteAll(const char* data, DWORD length) override;
    void WriteUncounted(const char* data, DWORD length) override;
    DWORD LostError() const override { return DeviceLostError(); }
    TransportCounts Counts() const override;
    void ResetReadCounts() override { ResetReadCounters(); }
    void ResetWrittenCount() override { ResetWrittenCounter(); }
    DWORD SendPacingMs(bool patternSent, bool continuous) const override;
    std::string Caption() const override { return devicePath_; }
    platform::CommDeviceHandle SerialDevice() const override { return Device(); }

  private:
    struct Watch;
    static void RunWatcher(std::shared_ptr<Watch> watch, platform::EventHandle ended);
    static void Dispatch(Watch& watch, const platform::CommDeviceHandle& device, DWORD mask);
    void SetDevice(platform::CommDeviceHandle device);
    // ClearErrors with the outcome of the query: false, with the last error, when it failed.
    bool QueryErrors(COMSTAT& comstat);
    // Keeps the calling thread's last error when it says the device has gone.
    void NoteFailure();

    const int portNumber_;
    const PortConfig config_;
    // What the watcher thread uses lives here, shared with the thread, so that a watcher that
    // outlives the stop's wait never touches a released channel.
    std::shared_ptr<Watch> watch_;
    mutable std::mutex deviceMutex_;
    platform::CommDeviceHandle device_;
    char devicePath_[20] = {};
    std::atomic<int> portOpen_{0};
    std::atomic<int> watcherStarted_{0};
    std::atomic<int> notXoff_{1};
    std::atomic<double> kbWritten_{0};
    std::atomic<double> kbRead_{0};
    std::atomic<DWORD> totalErrors_{0};
    std::atomic<DWORD> framingErrors_{0};
    std::atomic<DWORD> parityErrors_{0};
    std::atomic<DWORD> overrunErrors_{0};
};
