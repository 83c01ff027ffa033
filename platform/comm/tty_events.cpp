// The event side of the tty device: the mask, the one outstanding wait, and the watcher thread
// that notices events and completes the wait.
//
// The watcher follows the tty with epoll, edge-triggered, so every arrival of input is one
// EV_RXCHAR even while older input still waits unread. Modem-line changes come from the
// driver's line counters (TIOCGICOUNT): a helper loop blocked in TIOCMIWAIT wakes the watcher
// when a line changes, and the watcher compares the counters, so a short pulse between two
// looks is not lost. Breaks and line errors raise no wake-up of their own; the watcher looks
// at the counters every 20 ms while the mask asks for them. A pseudo-terminal has neither
// counters nor modem lines: there only EV_RXCHAR and EV_TXEMPTY occur.

#include <linux/serial.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/comm/tty_device.h"
#include "platform/system/last_error.h"

namespace platform {
namespace {

constexpr DWORD kAllEvents = 0x1FFF;
constexpr DWORD kModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr int kModemWaitLines = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG;

// epoll tags
constexpr std::uint64_t kTagTty = 0;
constexpr std::uint64_t kTagClose = 1;
constexpr std::uint64_t kTagWatch = 2;
constexpr std::uint64_t kTagModem = 3;

DWORD CounterEvents(const tty::LineCounters& before, const tty::LineCounters& now,
                    bool parityChecked) {
    DWORD events = 0;
    if (now.cts != before.cts) {
        events |= EV_CTS;
    }
    if (now.dsr != before.dsr) {
        events |= EV_DSR;
    }
    if (now.dcd != before.dcd) {
        events |= EV_RLSD;
    }
    if (now.rng != before.rng) {
        events |= EV_RING;
    }
    if (now.brk != before.brk) {
        events |= EV_BREAK;
    }
    if (now.frame != before.frame || now.overrun != before.overrun ||
        (parityChecked && now.parity != before.parity)) {
        events |= EV_ERR;
    }
    return events;
}

DWORD LineEvents(int before, int now) {
    const int changed = before ^ now;
    DWORD events = 0;
    if (changed & TIOCM_CTS) {
        events |= EV_CTS;
    }
    if (changed & TIOCM_DSR) {
        events |= EV_DSR;
    }
    if (changed & TIOCM_CAR) {
        events |= EV_RLSD;
    }
    if (changed & TIOCM_RNG) {
        events |= EV_RING;
    }
    return events;
}

}  // namespace

void TtyDevice::DrainForEventChar() {
    std::size_t room = 0;
    {
        std::lock_guard lock(stateMutex_);
        room = inQueueSize_;
    }
    std::lock_guard in(inMutex_);
    if (queue_.size() < room) {
        Drain(room - queue_.size());
    }
}

BOOL TtyDevice::SetCommMask(DWORD mask) {
    Operation op(*this);
    if (!op) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    if ((mask & ~kAllEvents) != 0) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    std::lock_guard lock(stateMutex_);
    mask_ = mask;
    {
        // EV_RXFLAG has every received byte looked at for the event character.
        std::lock_guard in(inMutex_);
        SetFilterMode(dcb_, mask);
    }
    rxFlagPending_ = false;
    history_ = 0;
    rebase_ = true;
    if (waitState_ == WaitState::kPending) {
        CompleteWait(0, WaitState::kDone);
    }
    if (mask != 0) {
        StartWatcher();
    }
    watchWake_.Signal();
    return TRUE;
}

BOOL TtyDevice::GetCommMask(DWORD& mask) {
    Operation op(*this);
    if (!op) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    std::lock_guard lock(stateMutex_);
    mask = mask_;
    return TRUE;
}

BOOL TtyDevice::WaitCommEvent(DWORD* mask, Event* done) {
    Operation op(*this);
    if (!op) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    if (mask == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    std::lock_guard lock(stateMutex_);
    if (goneError_ != 0) {
        return FailWith(goneError_);
    }
    if (waitState_ == WaitState::kPending || mask_ == 0) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    // As with every overlapped call, the completion event starts out reset.
    if (done != nullptr) {
        done->Reset();
    }
    waitMask_ = mask;
    waitDone_ = done;
    if ((history_ & mask_) != 0) {
        // Events that came since the last wait complete this one at once; the completion
        // event is set too, as an immediate completion sets it.
        CompleteWait(history_ & mask_, WaitState::kDone);
        history_ = 0;
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    waitState_ = WaitState::kPending;
    watchWake_.Signal();
    return FailWith(ERROR_IO_PENDING);
}

BOOL TtyDevice::GetCommEventResult() {
    bool closed = false;
    {
        std::lock_guard lock(opMutex_);
        closed = closed_;
    }
    std::lock_guard lock(stateMutex_);
    switch (waitState_) {
        case WaitState::kDone:
            return closed ? FailWith(ERROR_INVALID_HANDLE) : TRUE;
        case WaitState::kPending:
            return FailWith(ERROR_IO_INCOMPLETE);
        case WaitState::kAborted:
            return FailWith(ERROR_OPERATION_ABORTED);
        case WaitState::kLost:
            return FailWith(goneError_);
        case WaitState::kNone:
        default:
            return FailWith(closed ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    }
}

void TtyDevice::CompleteWait(DWORD events, WaitState state) {
    if (waitMask_ != nullptr) {
        *waitMask_ = events;
    }
    waitState_ = state;
    Event* done = waitDone_;
    waitMask_ = nullptr;
    waitDone_ = nullptr;
    if (done != nullptr) {
        done->Set();
    }
}

void TtyDevice::StartWatcher() {
    if (!watcher_.joinable()) {
        watcher_ = std::thread([this] { WatchLoop(); });
    }
}

void TtyDevice::StartModemWaiter() {
    // The loop holds the descriptors itself, so it may outlive the device (see
    // tty_interruptible_loop.h).
    auto fd = fd_holder_;
    auto wake = modemWake_;
    auto loop =
        std::make_unique<tty::InterruptibleLoop>([fd, wake](const std::atomic<bool>& stopping) {
            if (::ioctl(fd->fd, TIOCMIWAIT, static_cast<unsigned long>(kModemWaitLines)) == 0) {
                wake.Signal();
                return true;
            }
            if (errno == EINTR) {
                return !stopping.load();
            }
            // The driver cannot wait for line changes: the watcher looks at the lines itself.
            wake.Signal();
            return false;
        });
    std::lock_guard lock(stateMutex_);
    modemWaiter_ = std::move(loop);
}

bool TtyDevice::NoticeHangUp() {
    // A hang-up is told apart from a passing error by the tty itself: once it has gone, even
    // asking how much input is queued fails.
    int queued = 0;
    if (::ioctl(Fd(), FIONREAD, &queued) == 0 || !IsDeviceGoneError(static_cast<DWORD>(errno))) {
        return false;
    }
    const auto error = static_cast<DWORD>(errno);
    std::lock_guard lock(stateMutex_);
    goneError_ = error;
    if (waitState_ == WaitState::kPending) {
        CompleteWait(0, WaitState::kLost);
    }
    return true;
}

void TtyDevice::WatchLoop() {
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (epoll < 0) {
        std::lock_guard lock(stateMutex_);
        if (waitState_ == WaitState::kPending) {
            CompleteWait(0, WaitState::kAborted);
        }
        return;
    }
    auto watch = [epoll](int fd, std::uint32_t events, std::uint64_t tag) {
        epoll_event e{};
        e.events = events;
        e.data.u64 = tag;
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &e);
    };
    // The tty itself is always watched for a hang-up (reported whatever the events asked for).
    watch(Fd(), EPOLLET, kTagTty);
    watch(closeWake_.Fd(), EPOLLIN, kTagClose);
    watch(watchWake_.Fd(), EPOLLIN, kTagWatch);
    watch(modemWake_.Fd(), EPOLLIN, kTagModem);

    tty::LineCounters counters;
    bool haveCounters = ReadCounters(counters);
    int lines = 0;
    bool haveLines = ReadModemLines(lines);
    bool modemWaiterStarted = false;
    // Arriving bytes wake the watcher only while EV_RXCHAR or EV_RXFLAG is asked for: otherwise
    // a busy line would wake it for every piece the driver receives, for nothing.
    bool inputWatched = false;

    for (;;) {
        DWORD mask = 0;
        bool parityChecked = false;
        bool waiterRunning = false;
        bool rebase = false;
        {
            std::lock_guard lock(stateMutex_);
            mask = mask_;
            parityChecked = dcb_.fParity;
            rebase = std::exchange(rebase_, false);
            waiterRunning = modemWaiter_ && modemWaiter_->Running();
        }
        if (rebase) {
            haveCounters = ReadCounters(counters);
            haveLines = ReadModemLines(lines);
        }
        if (((mask & (EV_RXCHAR | EV_RXFLAG)) != 0) != inputWatched) {
            inputWatched = !inputWatched;
            epoll_event e{};
            e.events = inputWatched ? EPOLLIN | EPOLLET : EPOLLET;
            e.data.u64 = kTagTty;
            ::epoll_ctl(epoll, EPOLL_CTL_MOD, Fd(), &e);
        }
        if (!modemWaiterStarted && (mask & kModemEvents) && haveCounters) {
            StartModemWaiter();
            modemWaiterStarted = true;
            waiterRunning = true;
        }

        int timeout = -1;
        auto atMost = [&timeout](int ms) { timeout = timeout < 0 ? ms : std::min(timeout, ms); };
        if (txPending_) {
            atMost(5);
        }
        if ((mask & (EV_BREAK | EV_ERR)) && haveCounters) {
            atMost(20);
        }
        if (mask & kModemEvents) {
            // With the helper loop a slow look only catches a change that fell between two of
            // its waits.
            if (waiterRunning) {
                atMost(100);
            } else if (haveCounters || haveLines) {
                atMost(20);
            }
        }

        epoll_event events[4];
        const int n = ::epoll_wait(epoll, events, 4, timeout);
        if (n < 0 && errno != EINTR) {
            break;
        }
        DWORD found = 0;
        bool closing = false;
        for (int i = 0; i < n; ++i) {
            switch (events[i].data.u64) {
                case kTagTty:
                    if ((events[i].events & (EPOLLHUP | EPOLLERR)) != 0 && NoticeHangUp()) {
                        // Nothing more comes from a tty that has gone; it would only report
                        // the hang-up again.
                        ::epoll_ctl(epoll, EPOLL_CTL_DEL, Fd(), nullptr);
                        break;
                    }
                    if (events[i].events & EPOLLIN) {
                        found |= mask & EV_RXCHAR;
                        if (mask & EV_RXFLAG) {
                            // The bytes are taken into the input queue now, through the filter
                            // that looks for the event character, as far as the queue has room.
                            DrainForEventChar();
                        }
                    }
                    break;
                case kTagClose:
                    closing = true;
                    break;
                case kTagWatch:
                    watchWake_.Drain();
                    break;
                case kTagModem:
                    modemWake_.Drain();
                    break;
                default:
                    break;
            }
        }
        if (closing) {
            break;
        }
        if (haveCounters) {
            tty::LineCounters now;
            if (ReadCounters(now)) {
                found |= CounterEvents(counters, now, parityChecked);
                counters = now;
            }
        } else if (haveLines) {
            int now = 0;
            if (ReadModemLines(now)) {
                found |= LineEvents(lines, now);
                lines = now;
            }
        }
        if (rxFlagPending_.exchange(false)) {
            found |= EV_RXFLAG;
        }
        if (txPending_ && OutputEmpty()) {
            txPending_ = false;
            found |= EV_TXEMPTY;
        }
        if (found == 0) {
            continue;
        }
        std::lock_guard lock(stateMutex_);
        if (rebase_) {
            continue;  // the mask changed meanwhile: these events belong to the old one
        }
        history_ |= found & mask_;
        if (waitState_ == WaitState::kPending && history_ != 0) {
            CompleteWait(history_, WaitState::kDone);
            history_ = 0;
        }
    }
    ::close(epoll);
}

}  // namespace platform
