#pragma once
// The short threads a port window starts beside its own (error boxes, settings dialogs, port
// tests, file transfers): each runs detached, as the port thread never waits for the user,
// and each family counts its threads so that tests and the program's exit can wait for them.

#include <condition_variable>
#include <functional>
#include <mutex>

class ShortThreads {
  public:
    // Runs `body` on a thread of its own. False, and `body` not run, when no thread can be had;
    // `failureTrace` then goes to the debug output.
    bool Start(std::function<void()> body, const char* failureTrace);
    // True once none of the family's threads runs; false after `milliseconds` without that.
    bool WaitIdle(unsigned long milliseconds);

  private:
    void Ended();

    std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;
};
