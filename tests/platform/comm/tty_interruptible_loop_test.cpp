// The loop that runs a blocking call for the modem-line wait: Stop ends a call blocked in the
// kernel, and a call that will not end is left behind without harm. A read from an empty pipe
// stands in for TIOCMIWAIT, which no pseudo-terminal offers; both sleep interruptibly.

#include "platform/comm/tty_interruptible_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "tests/support/wait.h"

namespace platform::tty {
namespace {

constexpr auto kPatience = std::chrono::seconds(10);

struct Pipe {
    Pipe() { EXPECT_EQ(::pipe(fds), 0); }
    ~Pipe() {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    int fds[2] = {-1, -1};
};

// What the step saw, shared with the thread so a loop left behind never outlives it.
struct Record {
    std::mutex mutex;
    std::condition_variable changed;
    int calls = 0;
    int interrupted = 0;
    bool finished = false;

    void Note(bool wasInterrupted) {
        std::lock_guard lock(mutex);
        ++calls;
        interrupted += wasInterrupted ? 1 : 0;
        changed.notify_all();
    }
    bool WaitFor(const std::function<bool()>& condition) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kPatience, condition);
    }
};

TEST(InterruptibleLoopTest, StopEndsACallBlockedInTheKernel) {
    auto pipe = std::make_shared<Pipe>();
    auto record = std::make_shared<Record>();
    auto entered = std::make_shared<std::atomic<int>>(0);
    InterruptibleLoop loop([pipe, record, entered](const std::atomic<bool>& stopping) {
        ++*entered;
        char c = 0;
        const ssize_t n = ::read(pipe->fds[0], &c, 1);
        record->Note(n < 0 && errno == EINTR);
        return !stopping.load();
    });
    // One byte lets the first call through; the second then blocks on the empty pipe (a
    // signal that comes just before it blocks is lost, and Stop sends another).
    ASSERT_EQ(::write(pipe->fds[1], "x", 1), 1);
    ASSERT_TRUE(record->WaitFor([&] { return record->calls == 1; }));
    WaitUntil([&] { return *entered >= 2; });
    ASSERT_EQ(*entered, 2);
    EXPECT_TRUE(loop.Running());

    EXPECT_TRUE(loop.Stop(kPatience));
    EXPECT_FALSE(loop.Running());
    std::lock_guard lock(record->mutex);
    EXPECT_EQ(record->calls, 2);        // the first read and the interrupted second
    EXPECT_EQ(record->interrupted, 1);  // the blocked one ended with EINTR
}

TEST(InterruptibleLoopTest, StepThatGivesUpEndsTheLoop) {
    auto record = std::make_shared<Record>();
    InterruptibleLoop loop([record](const std::atomic<bool>&) {
        record->Note(false);
        return false;  // as when the driver has no TIOCMIWAIT
    });
    ASSERT_TRUE(record->WaitFor([&] { return record->calls == 1; }));
    // Running turns false once the thread has noted the step's answer.
    WaitUntil([&] { return !loop.Running(); });
    EXPECT_FALSE(loop.Running());
    EXPECT_TRUE(loop.Stop(kPatience));
    std::lock_guard lock(record->mutex);
    EXPECT_EQ(record->calls, 1);
}

TEST(InterruptibleLoopTest, CallThatIgnoresSignalsIsLeftBehindSafely) {
    auto pipe = std::make_shared<Pipe>();
    auto record = std::make_shared<Record>();
    auto loop = std::make_unique<InterruptibleLoop>([pipe, record](const std::atomic<bool>&) {
        {
            std::lock_guard lock(record->mutex);
            record->calls = 1;
            record->changed.notify_all();
        }
        // Like a driver wait that goes back to sleep after a signal.
        char c = 0;
        ssize_t n = 0;
        do {
            n = ::read(pipe->fds[0], &c, 1);
        } while (n < 0 && errno == EINTR);
        std::lock_guard lock(record->mutex);
        record->finished = true;
        record->changed.notify_all();
        return false;
    });
    ASSERT_TRUE(record->WaitFor([&] { return record->calls == 1; }));  // the step runs
    const auto patience = std::chrono::milliseconds(100);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(loop->Stop(patience));
    EXPECT_GE(std::chrono::steady_clock::now() - start, patience);  // it did wait that long
    const int writeEnd = ::dup(pipe->fds[1]);
    loop.reset();  // the device goes away; the step still holds its pipe
    pipe.reset();
    ASSERT_EQ(::write(writeEnd, "x", 1), 1);  // the "line change" that ends the wait
    ::close(writeEnd);
    EXPECT_TRUE(record->WaitFor([&] { return record->finished; }));
}

}  // namespace
}  // namespace platform::tty
