#include "platform/sync/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <vector>

#include "platform/system/last_error.h"

namespace platform {
namespace {

struct ResetCase {
    bool manual;
    bool initial;
    DWORD firstWait;
    DWORD secondWait;  // what a second wait without a Set in between sees
};

class EventResetTest : public ::testing::TestWithParam<ResetCase> {};

TEST_P(EventResetTest, WaitConsumesOnlyAnAutoResetEvent) {
    const ResetCase& c = GetParam();
    auto event = Event::Create(c.manual, c.initial);
    EXPECT_EQ(WaitForSingleObject(*event, 0), c.firstWait);
    event->Set();
    EXPECT_EQ(WaitForSingleObject(*event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(*event, 0), c.secondWait);
    event->Reset();
    EXPECT_EQ(WaitForSingleObject(*event, 0), WAIT_TIMEOUT);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EventResetTest,
                         ::testing::Values(ResetCase{false, false, WAIT_TIMEOUT, WAIT_TIMEOUT},
                                           ResetCase{false, true, WAIT_OBJECT_0, WAIT_TIMEOUT},
                                           ResetCase{true, false, WAIT_TIMEOUT, WAIT_OBJECT_0},
                                           ResetCase{true, true, WAIT_OBJECT_0, WAIT_OBJECT_0}));

TEST(EventTest, WaitOnSeveralReturnsTheLowestSetIndexAndConsumesOnlyThat) {
    std::vector<EventHandle> events;
    for (int i = 0; i < 4; ++i) {
        events.push_back(Event::Create(false, false));
    }
    Event* list[] = {events[0].get(), events[1].get(), events[2].get(), events[3].get()};
    events[3]->Set();
    events[1]->Set();
    EXPECT_EQ(WaitForMultipleObjects(list, 0), WAIT_OBJECT_0 + 1);
    EXPECT_FALSE(events[1]->IsSet());
    EXPECT_TRUE(events[3]->IsSet());
    EXPECT_EQ(WaitForMultipleObjects(list, 0), WAIT_OBJECT_0 + 3);
    EXPECT_EQ(WaitForMultipleObjects(list, 0), WAIT_TIMEOUT);
}

TEST(EventTest, WaitWithoutEventsFails) {
    auto event = Event::Create(true, true);
    Event* withNull[] = {event.get(), nullptr};
    EXPECT_EQ(WaitForMultipleObjects(std::span<Event* const>{}, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(withNull, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// Several threads wait on one auto-reset event and a manual-reset stop event; one Set of the
// auto-reset event must release exactly one of them, and the stop event then the rest.
TEST(EventTest, AutoResetEventReleasesOneWaiterPerSet) {
    constexpr int kWaiters = 4;
    auto work = Event::Create(false, false);
    auto stop = Event::Create(true, false);
    std::mutex mutex;
    std::condition_variable changed;
    int gotWork = 0;
    int gotStop = 0;
    int waiting = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < kWaiters; ++i) {
        threads.emplace_back([&] {
            {
                std::lock_guard lock(mutex);
                ++waiting;
            }
            changed.notify_all();
            Event* list[] = {work.get(), stop.get()};
            const DWORD r = WaitForMultipleObjects(list, INFINITE);
            std::lock_guard lock(mutex);
            if (r == WAIT_OBJECT_0) {
                ++gotWork;
            } else if (r == WAIT_OBJECT_0 + 1) {
                ++gotStop;
            }
            changed.notify_all();
        });
    }
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(
            changed.wait_for(lock, std::chrono::seconds(30), [&] { return waiting == kWaiters; }));
    }
    work->Set();  // from this thread, while the others wait
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return gotWork == 1; }));
    }
    stop->Set();
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(gotWork, 1);
    EXPECT_EQ(gotStop, kWaiters - 1);
    EXPECT_FALSE(work->IsSet());
}

TEST(EventTest, SetFromAnotherThreadWakesAnInfiniteWait) {
    auto event = Event::Create(false, false);
    std::thread setter([&] { event->Set(); });
    EXPECT_EQ(WaitForSingleObject(*event, INFINITE), WAIT_OBJECT_0);
    setter.join();
}

TEST(EventTest, TimeOutWaitsAtLeastItsTime) {
    auto a = Event::Create(false, false);
    auto b = Event::Create(true, false);
    Event* list[] = {a.get(), b.get()};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForMultipleObjects(list, 60), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
}

TEST(EventTest, NamedEventIsSharedWhileItsHandlesLive) {
    auto first = Event::Create(true, false, "quenby-event-test");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    auto second = Event::Create(false, true, "quenby-event-test");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ASSERT_EQ(first, second);
    EXPECT_TRUE(second->ManualReset()) << "the first creation's kind holds";
    first->Set();
    EXPECT_EQ(WaitForSingleObject(*second, 0), WAIT_OBJECT_0);

    auto other = Event::Create(true, false, "quenby-event-test-other");
    EXPECT_NE(other, first);
    first.reset();
    second.reset();
    auto fresh = Event::Create(false, false, "quenby-event-test");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_FALSE(fresh->IsSet());
}

}  // namespace
}  // namespace platform
