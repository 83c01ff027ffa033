#pragma once
// The serial device on a tty: a real serial port or a pseudo-terminal, opened exclusively and in
// raw mode so the programs see exactly the bytes of the line. What a pseudo-terminal cannot do
// (modem lines, line-error counts) reads as "all lines off, no errors" instead of failing.
//
// Reads, writes, the input wait and the event wait each block in poll() on the tty together with
// wake-up descriptors, so Close, and the purges that abort, end them at once. Events are followed
// by a watcher thread of the device; modem-line changes come from TIOCMIWAIT on a helper loop where
// the driver has it (see tty_interruptible_loop.h for how that wait is ended).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/comm/comm_device.h"
#include "platform/comm/tty_input_filter.h"
#include "platform/comm/tty_interruptible_loop.h"
#include "platform/comm/tty_settings.h"

namespace platform {

// Opens the tty at `path` as a serial device. Null with the last error set: ERROR_FILE_NOT_FOUND
// when nothing is there, ERROR_BUSY when another handle has it open, ERROR_ACCESS_DENIED
// without permission, ERROR_INVALID_FUNCTION when the path is not a terminal device.
CommDeviceHandle OpenTtyDevice(const std::string& path);

namespace tty {

// A descriptor closed when its last holder lets it go.
struct OwnedFd {
    explicit OwnedFd(int fd) : fd(fd) {}
    ~OwnedFd();
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    const int fd;
};

// An eventfd that poll() sees readable once signalled, until drained.
class WakeFd {
  public:
    WakeFd();
    bool Valid() const { return fd_ && fd_->fd >= 0; }
    int Fd() const { return fd_->fd; }
    void Signal() const;
    void Drain() const;

  private:
    std::shared_ptr<OwnedFd> fd_;
};

// The driver's line counters (TIOCGICOUNT): modem-line transitions and line errors.
struct LineCounters {
    int cts = 0, dsr = 0, rng = 0, dcd = 0;
    int frame = 0, parity = 0, overrun = 0, brk = 0, bufOverrun = 0;
};

}  // namespace tty

class TtyDevice final : public CommDevice {
  public:
    static CommDeviceHandle Open(const std::string& path);
    ~TtyDevice() override;

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

  private:
    // Counts a call in progress so Close can wait for it; false once the device is closed.
    class Operation;

    enum class WaitState { kNone, kPending, kDone, kAborted, kLost };

    TtyDevice(std::shared_ptr<tty::OwnedFd> fd, bool modemLines, bool counters,
              bool pseudoTerminal);

    int Fd() const { return fdNumber_; }
    // The input filter's mode for the record `dcb` and the event mask `mask`. inMutex_ held.
    void SetFilterMode(const DCB& dcb, DWORD mask);
    // The watcher's share of the input for EV_RXFLAG: what the tty holds, into the input queue.
    void DrainForEventChar();
    // Sets or clears modem output lines; a tty without them (a pseudo-terminal) takes it
    // silently.
    bool ChangeLines(int lines, bool on);
    bool ReadModemLines(int& lines) const;
    bool ReadCounters(tty::LineCounters& counters) const;
    DWORD CharacterMicroseconds() const;  // stateMutex_ held

    // Moves what the tty holds into the input queue through the filter, at most `limit` raw
    // bytes; false with errno when the tty fails (gone, hung up). inMutex_ held.
    bool Drain(std::size_t limit);
    // Adds to out[got..bytes) what a read may take without waiting and returns how many it
    // added: -1 with errno on a failure, kAborted when a receive abort ended the read.
    long TakeAvailable(std::uint8_t* out, std::size_t got, std::size_t bytes, std::uint64_t aborts,
                       std::uint64_t& clearsSeen);

    bool OutputEmpty() const;
    // Waits until the output queue has gone to the line, the deadline (if any) passes, or the
    // write is aborted: 1 drained, 0 time-out, -1 aborted or closed.
    int WaitDrained(const std::chrono::steady_clock::time_point* deadline,
                    std::uint64_t abortGeneration);

    void CompleteWait(DWORD events, WaitState state);  // stateMutex_ held
    void StartWatcher();                               // stateMutex_ held
    void WatchLoop();
    // The tty reported a hang-up or an error to the watcher: true when the device has gone
    // (the far side of a pseudo-terminal closed, an adapter pulled out), after which the wait
    // ends with that error and every later wait fails with it.
    bool NoticeHangUp();
    void StartModemWaiter();

    const std::shared_ptr<tty::OwnedFd> fd_holder_;
    const int fdNumber_;
    const bool modemLines_;  // TIOCMGET works
    const bool counters_;    // TIOCGICOUNT works
    const bool pseudoTerminal_;
    tty::WakeFd closeWake_;  // signalled once, at Close, never drained
    tty::WakeFd readWake_;   // RXABORT
    tty::WakeFd inputWake_;  // RXABORT, for WaitForInput: it must not drain a read's wake-up
    tty::WakeFd writeWake_;  // TXABORT
    tty::WakeFd watchWake_;  // mask changes, new waits, new output
    tty::WakeFd modemWake_;  // a modem-line change seen by the helper loop

    std::mutex opMutex_;
    std::condition_variable opDone_;
    int activeOps_ = 0;
    bool closed_ = false;
    std::mutex closeMutex_;

    // Settings, time-outs, events and the error baseline.
    mutable std::mutex stateMutex_;
    DCB dcb_;
    COMMTIMEOUTS timeouts_;
    DWORD inQueueSize_ = 4096;
    DWORD outQueueSize_ = 4096;
    bool xoffHeld_ = false;
    tty::LineCounters errorBase_;
    DWORD mask_ = 0;
    DWORD history_ = 0;
    bool rebase_ = false;  // the watcher takes fresh counters before comparing again
    WaitState waitState_ = WaitState::kNone;
    DWORD goneError_ = 0;  // the error of a device that has gone, 0 while it is there
    DWORD* waitMask_ = nullptr;
    Event* waitDone_ = nullptr;
    std::thread watcher_;
    std::unique_ptr<tty::InterruptibleLoop> modemWaiter_;

    // The input queue: bytes already taken from the tty (filtered, or given back by an
    // aborted read).
    std::mutex inMutex_;
    std::deque<std::uint8_t> queue_;
    tty::InputFilter filter_;

    std::uint64_t rxClears_ = 0;  // input purges, inMutex_ held

    std::mutex readMutex_;  // one read at a time
    std::atomic<std::uint64_t> readAborts_{0};
    std::mutex writeMutex_;  // one write at a time
    std::mutex outMutex_;    // one piece handed to the driver at a time, against transmit aborts
    std::atomic<std::uint64_t> writeAborts_{0};
    std::atomic<bool> txPending_{false};
    // The event character came in (EV_RXFLAG); taken by the watcher.
    std::atomic<bool> rxFlagPending_{false};
};

class TtyDevice::Operation {
  public:
    explicit Operation(TtyDevice& device) : device_(device) {
        std::lock_guard lock(device_.opMutex_);
        running_ = !device_.closed_;
        if (running_) {
            ++device_.activeOps_;
        }
    }
    ~Operation() {
        if (running_) {
            std::lock_guard lock(device_.opMutex_);
            if (--device_.activeOps_ == 0) {
                device_.opDone_.notify_all();
            }
        }
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;
    explicit operator bool() const { return running_; }

  private:
    TtyDevice& device_;
    bool running_ = false;
};

}  // namespace platform
