#include "platform/comm/tty_interruptible_loop.h"

#include <pthread.h>
#include <signal.h>

#include <condition_variable>
#include <mutex>

namespace platform::tty {
namespace {

void IgnoreInterrupt(int) {}

// The signal that interrupts a loop's blocked call, with an empty handler installed without
// SA_RESTART. 0 when the program has its own use for that signal: then loops are not
// interrupted, only left behind.
int InterruptSignal() {
    static const int signal = [] {
        const int candidate = SIGRTMIN + 4;
        struct sigaction old {};
        if (sigaction(candidate, nullptr, &old) != 0) {
            return 0;
        }
        if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler == IgnoreInterrupt) {
            return candidate;
        }
        if ((old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL) {
            return 0;
        }
        struct sigaction action {};
        action.sa_handler = IgnoreInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        return sigaction(candidate, &action, nullptr) == 0 ? candidate : 0;
    }();
    return signal;
}

}  // namespace

struct InterruptibleLoop::Shared {
    Step step;
    std::atomic<bool> stopping{false};
    std::atomic<bool> gaveUp{false};
    std::mutex mutex;
    std::condition_variable left;
    bool exited = false;
};

InterruptibleLoop::InterruptibleLoop(Step step) : shared_(std::make_shared<Shared>()) {
    shared_->step = std::move(step);
    const int signal = InterruptSignal();
    // The thread holds the shared state itself, so one left behind never touches freed memory.
    thread_ = std::thread([shared = shared_, signal] {
        if (signal != 0) {
            // A thread started from one that blocks signals inherits that mask.
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, signal);
            pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        }
        while (!shared->stopping.load()) {
            if (!shared->step(shared->stopping)) {
                shared->gaveUp = true;
                break;
            }
        }
        {
            std::lock_guard lock(shared->mutex);
            shared->exited = true;
        }
        shared->left.notify_all();
    });
}

InterruptibleLoop::~InterruptibleLoop() {
    Stop(std::chrono::seconds(1));
}

bool InterruptibleLoop::Running() const {
    return thread_.joinable() && !shared_->stopping.load() && !shared_->gaveUp.load();
}

bool InterruptibleLoop::Stop(std::chrono::milliseconds patience) {
    if (!thread_.joinable()) {
        return true;
    }
    shared_->stopping = true;
    const int signal = InterruptSignal();
    const auto deadline = std::chrono::steady_clock::now() + patience;
    bool exited = false;
    {
        std::unique_lock lock(shared_->mutex);
        for (;;) {
            if (shared_->exited) {
                exited = true;
                break;
            }
            if (signal != 0) {
                // Not yet joined, so the thread's handle stays valid even once it has ended.
                pthread_kill(thread_.native_handle(), signal);
            }
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) {
                break;
            }
            shared_->left.wait_for(lock, std::min<std::chrono::steady_clock::duration>(
                                             std::chrono::milliseconds(10), deadline - now));
        }
    }
    if (exited) {
        thread_.join();
    } else {
        thread_.detach();
    }
    return exited;
}

}  // namespace platform::tty
