// The data side of the tty device: reads through the input queue and its filter, writes
// until the line has taken everything, the queue status with the line errors, purges and the
// immediate character. Every wait is a poll() on the tty together with the device's wake-up
// descriptors, so Close and the aborting purges end it at once.

#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>

#include "platform/comm/tty_device.h"
#include "platform/system/last_error.h"

namespace platform {

using Clock = std::chrono::steady_clock;

namespace {

constexpr DWORD kAllPurgeFlags = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr long kAborted = -2;

int PollTimeout(Clock::duration remaining) {
    if (remaining <= Clock::duration::zero()) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(remaining).count();
    return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

std::optional<Clock::duration> Milliseconds(std::uint64_t ms) {
    if (ms == 0) {
        return std::nullopt;
    }
    // Beyond what a wait can mean (years); keeps the clock arithmetic from overflowing.
    constexpr std::uint64_t kLongest = 1ull << 40;
    return std::chrono::milliseconds(static_cast<long long>(std::min(ms, kLongest)));
}

// What the read time-outs ask of one ReadFile.
struct ReadPlan {
    bool queuedOnly = false;   // return at once with what is queued
    bool returnOnAny = false;  // return as soon as any byte is there
    std::optional<Clock::duration> total;
    std::optional<Clock::duration> interval;
};

ReadPlan PlanRead(const COMMTIMEOUTS& t, DWORD bytes) {
    ReadPlan plan;
    if (t.ReadIntervalTimeout == MAXDWORD) {
        if (t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0) {
            plan.queuedOnly = true;
            return plan;
        }
        if (t.ReadTotalTimeoutMultiplier == MAXDWORD) {
            // Whatever is queued at once, else wait up to the constant for the first byte.
            plan.returnOnAny = true;
            plan.total = Milliseconds(t.ReadTotalTimeoutConstant);
            return plan;
        }
    }
    plan.total = Milliseconds(std::uint64_t{t.ReadTotalTimeoutMultiplier} * bytes +
                              t.ReadTotalTimeoutConstant);
    if (t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD) {
        plan.interval = std::chrono::milliseconds(t.ReadIntervalTimeout);
    }
    return plan;
}

}  // namespace

bool TtyDevice::Drain(std::size_t limit) {
    std::uint8_t raw[4096];
    std::size_t taken = 0;
    while (taken < limit) {
        const ssize_t n = ::read(Fd(), raw, std::min(sizeof raw, limit - taken));
        if (n > 0) {
            filter_.Feed(std::span<const std::uint8_t>(raw, static_cast<std::size_t>(n)), queue_);
            if (filter_.TakeEventCharSeen()) {
                rxFlagPending_ = true;
                watchWake_.Signal();
            }
            taken += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) {
            errno = EIO;  // hung up
            return false;
        }
        if (errno == EINTR) {
            continue;
        }
        return errno == EAGAIN;
    }
    return true;
}

long TtyDevice::TakeAvailable(std::uint8_t* out, std::size_t got, std::size_t bytes,
                              std::uint64_t aborts, std::uint64_t& clearsSeen) {
    std::lock_guard lock(inMutex_);
    if (readAborts_.load() != aborts) {
        // The bytes this read holds go back in front of the queue, unless an input purge came
        // after them: then they would have been discarded with the queue.
        if (rxClears_ == clearsSeen) {
            queue_.insert(queue_.begin(), out, out + got);
        }
        return kAborted;
    }
    clearsSeen = rxClears_;
    const std::size_t before = got;
    auto fromQueue = [&] {
        while (got < bytes && !queue_.empty()) {
            out[got++] = queue_.front();
            queue_.pop_front();
        }
    };
    fromQueue();
    if (got == bytes) {
        return static_cast<long>(got - before);
    }
    if (!filter_.Transparent()) {
        const bool ok = Drain(bytes - got);
        const int error = errno;
        fromQueue();
        if (!ok && got == before) {
            errno = error;
            return -1;
        }
        return static_cast<long>(got - before);
    }
    for (;;) {
        const ssize_t n = ::read(Fd(), out + got, bytes - got);
        if (n > 0) {
            return static_cast<long>(got - before + static_cast<std::size_t>(n));
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            return static_cast<long>(got - before);
        }
        if (n == 0) {
            errno = EIO;  // hung up
        }
        // What came before the failure is handed over; the failure shows at the next read.
        return got > before ? static_cast<long>(got - before) : -1;
    }
}

BOOL TtyDevice::ReadFile(void* buffer, DWORD bytes, DWORD& read) {
    read = 0;
    Operation op(*this);
    if (!op) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    if (bytes > 0 && buffer == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    // Taken before queueing behind another read, so a receive abort ends waiting reads too.
    const std::uint64_t aborts = readAborts_.load();
    std::lock_guard reading(readMutex_);
    ReadPlan plan;
    {
        std::lock_guard lock(stateMutex_);
        plan = PlanRead(timeouts_, bytes);
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t got = 0;
    const auto start = Clock::now();
    auto lastArrival = start;
    bool lineTrouble = false;
    std::uint64_t clearsSeen = 0;
    for (;;) {
        const long n = TakeAvailable(out, got, bytes, aborts, clearsSeen);
        if (n == kAborted) {
            return FailWith(ERROR_OPERATION_ABORTED);
        }
        if (n < 0 || (n == 0 && lineTrouble)) {
            // The tty failed, or reports a hang-up with nothing to read. Bytes already taken
            // are handed over; the failure shows at the next read.
            if (got > 0) {
                break;
            }
            return n < 0 ? FailWithErrno() : FailWith(EIO);
        }
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            lastArrival = Clock::now();
        }
        if (got == bytes || plan.queuedOnly || (plan.returnOnAny && got > 0)) {
            break;
        }
        int timeout = -1;
        const auto now = Clock::now();
        if (plan.total) {
            const auto left = start + *plan.total - now;
            if (left <= Clock::duration::zero()) {
                break;
            }
            timeout = PollTimeout(left);
        }
        if (plan.interval && got > 0) {
            const auto left = lastArrival + *plan.interval - now;
            if (left <= Clock::duration::zero()) {
                break;
            }
            timeout = timeout < 0 ? PollTimeout(left) : std::min(timeout, PollTimeout(left));
        }
        pollfd fds[3] = {
            {Fd(), POLLIN, 0}, {closeWake_.Fd(), POLLIN, 0}, {readWake_.Fd(), POLLIN, 0}};
        if (::poll(fds, 3, timeout) < 0) {
            if (errno == EINTR) {
                continue;
            }
            const DWORD error = static_cast<DWORD>(errno);
            std::lock_guard in(inMutex_);
            queue_.insert(queue_.begin(), out, out + got);
            return FailWith(error);
        }
        if (fds[1].revents != 0) {
            return FailWith(ERROR_OPERATION_ABORTED);
        }
        if (fds[2].revents != 0) {
            readWake_.Drain();
        }
        lineTrouble = (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 &&
                      (fds[0].revents & POLLIN) == 0;
    }
    read = static_cast<DWORD>(got);
    return TRUE;
}

BOOL TtyDevice::WaitForInput(DWORD milliseconds) {
    Operation op(*this);
    if (!op) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    const std::uint64_t aborts = readAborts_.load();
    DWORD inQueueSize = 0;
    {
        std::lock_guard lock(stateMutex_);
        inQueueSize = inQueueSize_;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    bool lineTrouble = false;
    for (;;) {
        {
            std::lock_guard in(inMutex_);
            if (readAborts_.load() != aborts) {
                return FailWith(ERROR_OPERATION_ABORTED);
            }
            if (!queue_.empty()) {
                return TRUE;
            }
            int queued = 0;
            if (!filter_.Transparent()) {
                // Only what comes out of the filter is input: a dropped NUL wakes nobody.
                // The filtered bytes wait in the input queue for the next read.
                if (!Drain(std::max<DWORD>(inQueueSize, 1)) && queue_.empty()) {
                    return FailWithErrno();
                }
                queued = static_cast<int>(queue_.size());
            } else if (::ioctl(Fd(), FIONREAD, &queued) != 0) {
                return FailWithErrno();
            }
            if (queued > 0) {
                return TRUE;
            }
            if (lineTrouble) {
                return FailWith(EIO);  // hung up with nothing to read, as a read reports it
            }
        }
        int timeout = -1;
        if (milliseconds != INFINITE) {
            const auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero()) {
                return FailWith(WAIT_TIMEOUT);
            }
            timeout = PollTimeout(left);
        }
        pollfd fds[3] = {
            {Fd(), POLLIN, 0}, {closeWake_.Fd(), POLLIN, 0}, {inputWake_.Fd(), POLLIN, 0}};
        if (::poll(fds, 3, timeout) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return FailWithErrno();
        }
        if (fds[1].revents != 0) {
            return FailWith(ERROR_OPERATION_ABORTED);
        }
        if (fds[2].revents != 0) {
            inputWake_.Drain();  // the abort count, looked at above, tells whether it was ours
        }
        lineTrouble = (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 &&
                      (fds[0].revents & POLLIN) == 0;
    }
}

bool TtyDevice::OutputEmpty() const {
    int queued = 0;
    if (::ioctl(Fd(), TIOCOUTQ, &queued) == 0 && queued > 0) {
        return false;
    }
    // The driver's buffer is empty; a UART that can say so tells whether its shift register
    // has finished the last character too.
    int lineStatus = 0;
    if (::ioctl(Fd(), TIOCSERGETLSR, &lineStatus) == 0) {
        return (lineStatus & TIOCSER_TEMT) != 0;
    }
    return true;
}

int TtyDevice::WaitDrained(const Clock::time_point* deadline, std::uint64_t abortGeneration) {
    for (;;) {
        if (OutputEmpty()) {
            return 1;
        }
        int queued = 0;
        ::ioctl(Fd(), TIOCOUTQ, &queued);
        DWORD perChar = 0;
        {
            std::lock_guard lock(stateMutex_);
            perChar = CharacterMicroseconds();
        }
        // Look again about when the queue should have gone out, at least every 20 ms.
        const long long expectedMs = static_cast<long long>(queued) * perChar / 1000;
        int timeout = static_cast<int>(std::clamp<long long>(expectedMs, 1, 20));
        if (deadline) {
            const auto left = *deadline - Clock::now();
            if (left <= Clock::duration::zero()) {
                return 0;
            }
            timeout = std::min(timeout, PollTimeout(left));
        }
        pollfd fds[2] = {{closeWake_.Fd(), POLLIN, 0}, {writeWake_.Fd(), POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0 && errno != EINTR) {
            return -1;
        }
        if (fds[0].revents != 0) {
            return -1;
        }
        if (fds[1].revents != 0) {
            writeWake_.Drain();
        }
        if (writeAborts_.load() != abortGeneration) {
            return -1;
        }
    }
}

BOOL TtyDevice::WriteFile(const void* data, DWORD bytes, DWORD& written) {
    written = 0;
    Operation op(*this);
    if (!op) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    if (bytes > 0 && data == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    // Taken before queueing behind another write, so a transmit abort ends waiting writes too.
    const std::uint64_t aborts = writeAborts_.load();
    std::lock_guard writing(writeMutex_);
    COMMTIMEOUTS t;
    bool toggle = false;
    bool dsrFlow = false;
    {
        std::lock_guard lock(stateMutex_);
        t = timeouts_;
        toggle = dcb_.fRtsControl == RTS_CONTROL_TOGGLE;
        dsrFlow = dcb_.fOutxDsrFlow && modemLines_;
    }
    const auto total = Milliseconds(std::uint64_t{t.WriteTotalTimeoutMultiplier} * bytes +
                                    t.WriteTotalTimeoutConstant);
    std::optional<Clock::time_point> deadline;
    if (total) {
        deadline = Clock::now() + *total;
    }
    if (toggle) {
        ChangeLines(TIOCM_RTS, true);
    }
    const auto* bytesIn = static_cast<const std::uint8_t*>(data);
    BOOL result = TRUE;
    bool timedOut = false;
    while (written < bytes) {
        // The driver has no DSR flow control: hold back here, in small pieces so a drop of
        // DSR takes effect soon.
        int lines = 0;
        const bool dsrHold = dsrFlow && ReadModemLines(lines) && !(lines & TIOCM_DSR);
        if (!dsrHold) {
            const std::size_t chunk =
                dsrFlow ? std::min<DWORD>(64, bytes - written) : bytes - written;
            ssize_t n = 0;
            {
                // A transmit abort flushes the driver under this lock: no piece of the
                // aborted write can slip in after the flush.
                std::lock_guard out(outMutex_);
                if (writeAborts_.load() != aborts) {
                    result = FailWith(ERROR_OPERATION_ABORTED);
                    break;
                }
                n = ::write(Fd(), bytesIn + written, chunk);
            }
            if (n > 0) {
                written += static_cast<DWORD>(n);
                txPending_ = true;
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno != EAGAIN) {
                result = FailWithErrno();
                break;
            }
        }
        int timeout = -1;
        if (deadline) {
            const auto left = *deadline - Clock::now();
            if (left <= Clock::duration::zero()) {
                timedOut = true;
                break;
            }
            timeout = PollTimeout(left);
        }
        if (dsrHold) {
            timeout = timeout < 0 ? 10 : std::min(timeout, 10);
        }
        pollfd fds[3] = {{Fd(), static_cast<short>(dsrHold ? 0 : POLLOUT), 0},
                         {closeWake_.Fd(), POLLIN, 0},
                         {writeWake_.Fd(), POLLIN, 0}};
        if (::poll(fds, 3, timeout) < 0 && errno != EINTR) {
            result = FailWithErrno();
            break;
        }
        if (fds[1].revents != 0) {
            result = FailWith(ERROR_OPERATION_ABORTED);
            break;
        }
        if (fds[2].revents != 0) {
            writeWake_.Drain();
        }
        if (dsrHold && writeAborts_.load() != aborts) {
            result = FailWith(ERROR_OPERATION_ABORTED);
            break;
        }
    }
    // Once the driver holds every byte its buffer keeps the line busy up to the next write,
    // as a UART's FIFO does; only toggle mode waits for the last bit, since RTS must stay up
    // until then.
    if (result && !timedOut && bytes > 0 && written == bytes && toggle) {
        if (WaitDrained(deadline ? &*deadline : nullptr, aborts) < 0) {
            result = FailWith(ERROR_OPERATION_ABORTED);
        }
    }
    if (toggle) {
        ChangeLines(TIOCM_RTS, false);
    }
    watchWake_.Signal();  // the watcher looks for the empty output queue
    return result;
}

BOOL TtyDevice::ClearCommError(DWORD& errors, COMSTAT* stat) {
    errors = 0;
    Operation op(*this);
    if (!op) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    COMSTAT status;
    DWORD inQueueSize = 0;
    {
        std::lock_guard lock(stateMutex_);
        tty::LineCounters now;
        // A pseudo-terminal keeps no counts: it reports no errors, which is true of it.
        if (ReadCounters(now)) {
            if (now.frame != errorBase_.frame) {
                errors |= CE_FRAME;
            }
            if (now.parity != errorBase_.parity && dcb_.fParity) {
                errors |= CE_RXPARITY;
            }
            if (now.overrun != errorBase_.overrun) {
                errors |= CE_OVERRUN;
            }
            if (now.bufOverrun != errorBase_.bufOverrun) {
                errors |= CE_RXOVER;
            }
            if (now.brk != errorBase_.brk) {
                errors |= CE_BREAK;
            }
            errorBase_ = now;
        }
        status.fXoffHold = xoffHeld_;
        int lines = 0;
        if (ReadModemLines(lines)) {
            const bool ctsFlow = dcb_.fOutxCtsFlow || dcb_.fRtsControl == RTS_CONTROL_HANDSHAKE;
            status.fCtsHold = ctsFlow && !(lines & TIOCM_CTS);
            status.fDsrHold = dcb_.fOutxDsrFlow && !(lines & TIOCM_DSR);
        }
        inQueueSize = inQueueSize_;
    }
    if (stat == nullptr) {
        return TRUE;
    }
    {
        std::lock_guard in(inMutex_);
        if (!filter_.Transparent()) {
            // Marks and dropped NULs make the tty's count wrong for the data: filter what is
            // there (as much as the input queue holds) and count the result.
            const std::size_t room = inQueueSize > queue_.size() ? inQueueSize - queue_.size() : 0;
            if (room > 0 && !Drain(room) && queue_.empty()) {
                return FailWithErrno();
            }
            status.cbInQue = static_cast<DWORD>(queue_.size());
        } else {
            int queued = 0;
            if (::ioctl(Fd(), FIONREAD, &queued) != 0) {
                return FailWithErrno();
            }
            status.cbInQue = static_cast<DWORD>(queue_.size() + static_cast<std::size_t>(queued));
        }
    }
    int outQueued = 0;
    if (::ioctl(Fd(), TIOCOUTQ, &outQueued) == 0) {
        status.cbOutQue = static_cast<DWORD>(outQueued);
    }
    *stat = status;
    return TRUE;
}

BOOL TtyDevice::PurgeComm(DWORD flags) {
    Operation op(*this);
    if (!op) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    if ((flags & ~kAllPurgeFlags) != 0) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    if (flags & (PURGE_TXABORT | PURGE_TXCLEAR)) {
        std::lock_guard out(outMutex_);
        if (flags & PURGE_TXABORT) {
            ++writeAborts_;
            writeWake_.Signal();
        }
        // What an aborted write left in the driver goes with it.
        if (!tty::FlushQueues(Fd(), false, true)) {
            return FailWithErrno();
        }
    }
    if (flags & (PURGE_RXABORT | PURGE_RXCLEAR)) {
        std::lock_guard in(inMutex_);
        if (flags & PURGE_RXCLEAR) {
            if (!tty::FlushQueues(Fd(), true, false)) {
                return FailWithErrno();
            }
            queue_.clear();
            filter_.Reset();
            ++rxClears_;
        }
        if (flags & PURGE_RXABORT) {
            ++readAborts_;
            readWake_.Signal();
            inputWake_.Signal();
        }
    }
    return TRUE;
}

BOOL TtyDevice::TransmitCommChar(char c) {
    Operation op(*this);
    if (!op) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    const auto byte = static_cast<unsigned char>(c);
    auto sent = [this] {
        txPending_ = true;
        watchWake_.Signal();
        return TRUE;
    };
    if (!pseudoTerminal_) {
        // The START character is borrowed for a moment; SetCommState must not run meanwhile.
        std::lock_guard lock(stateMutex_);
        if (tty::SendPriorityChar(Fd(), byte)) {
            return sent();
        }
    }
    // A pseudo-terminal has no output queue to jump (what it takes goes straight to the far
    // end), and its flow-control character path writes like data, which output held by
    // SETXOFF would swallow without a word: so the character is written, with the hold lifted
    // for it. No write of ours slips in meanwhile, and none waits inside the pseudo-terminal
    // (held output refuses data instead of queueing it). The NUL character, which the
    // priority path cannot carry, goes this way on every tty.
    for (;;) {
        ssize_t n = 0;
        int error = 0;
        {
            std::lock_guard lock(stateMutex_);
            std::lock_guard out(outMutex_);
            const bool lift = pseudoTerminal_ && xoffHeld_;
            if (lift) {
                tty::HoldOutput(Fd(), false);
            }
            n = ::write(Fd(), &byte, 1);
            error = errno;
            if (lift) {
                tty::HoldOutput(Fd(), true);
            }
        }
        if (n == 1) {
            return sent();
        }
        if (n < 0 && error != EAGAIN && error != EINTR) {
            return FailWith(static_cast<DWORD>(error));
        }
        // No room: look again when there is, or every 10 ms while a hold hides the room.
        pollfd fds[2] = {{Fd(), POLLOUT, 0}, {closeWake_.Fd(), POLLIN, 0}};
        if (::poll(fds, 2, 10) < 0 && errno != EINTR) {
            return FailWithErrno();
        }
        if (fds[1].revents != 0) {
            return FailWith(ERROR_OPERATION_ABORTED);
        }
    }
}

}  // namespace platform
