#pragma once
// A thread that makes one blocking system call again and again (the wait for a modem-line
// change, TIOCMIWAIT, which nothing on the descriptor can wake) and that can still be ended.
// Stop sends the thread a signal, whose empty handler makes the blocked call return EINTR, and
// repeats it until the thread has left, because a signal that arrives just before the call
// starts is lost. A thread that does not leave in time (a driver whose wait ignores signals)
// is left behind: the step owns whatever it uses (it holds the descriptor through shared
// state), so nothing it touches goes away under it, and it ends with the next line change.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace platform::tty {

class InterruptibleLoop {
  public:
    // Called on the loop's thread until it returns false or Stop is called; it gets the
    // stopping flag to look at after an interrupted call.
    using Step = std::function<bool(const std::atomic<bool>& stopping)>;

    explicit InterruptibleLoop(Step step);
    ~InterruptibleLoop();  // Stop with a patience of one second
    InterruptibleLoop(const InterruptibleLoop&) = delete;
    InterruptibleLoop& operator=(const InterruptibleLoop&) = delete;

    // Returns true when the thread has left, false when it was left behind.
    bool Stop(std::chrono::milliseconds patience);
    // Whether the loop still runs (its step has not given up and Stop was not called).
    bool Running() const;

  private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

}  // namespace platform::tty
