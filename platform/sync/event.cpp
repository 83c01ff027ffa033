#include "platform/sync/event.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <thread>

#include "platform/system/last_error.h"

namespace platform {

// One per wait in progress: every event the wait looks at knows it, and a Set wakes it.
struct Event::Waiter {
    std::mutex mutex;
    std::condition_variable wake;
    bool signalled = false;
};

Event::Event(bool manualReset, bool initialState) : manual_(manualReset), state_(initialState) {}

Event::~Event() = default;

namespace {

std::mutex& NamedEventsMutex() {
    static std::mutex m;
    return m;
}

std::map<std::string, std::weak_ptr<Event>>& NamedEvents() {
    static std::map<std::string, std::weak_ptr<Event>> events;
    return events;
}

}  // namespace

EventHandle Event::Create(bool manualReset, bool initialState, const char* name) {
    SetLastError(ERROR_SUCCESS);
    if (name == nullptr || *name == '\0') {
        return std::make_shared<Event>(manualReset, initialState);
    }
    std::lock_guard lock(NamedEventsMutex());
    auto& slot = NamedEvents()[name];
    if (auto existing = slot.lock()) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return existing;
    }
    auto created = std::make_shared<Event>(manualReset, initialState);
    slot = created;
    return created;
}

void Event::Set() {
    std::lock_guard lock(mutex_);
    state_ = true;
    for (Waiter* w : waiters_) {
        std::lock_guard wl(w->mutex);
        w->signalled = true;
        w->wake.notify_one();
    }
}

void Event::Reset() {
    std::lock_guard lock(mutex_);
    state_ = false;
}

bool Event::IsSet() const {
    std::lock_guard lock(mutex_);
    return state_;
}

bool Event::TryConsume() {
    std::lock_guard lock(mutex_);
    if (!state_) {
        return false;
    }
    if (!manual_) {
        state_ = false;
    }
    return true;
}

void Event::AddWaiter(Waiter* waiter) {
    std::lock_guard lock(mutex_);
    waiters_.push_back(waiter);
}

void Event::RemoveWaiter(Waiter* waiter) {
    std::lock_guard lock(mutex_);
    waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), waiter), waiters_.end());
}

DWORD WaitForMultipleObjects(std::span<Event* const> events, DWORD milliseconds) {
    if (events.empty() || std::any_of(events.begin(), events.end(), [](Event* e) { return !e; })) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    Event::Waiter waiter;
    for (Event* e : events) {
        e->AddWaiter(&waiter);
    }
    DWORD result = WAIT_TIMEOUT;
    for (;;) {
        // A Set between this scan and the sleep below marks the waiter, so it is never missed.
        bool found = false;
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (events[i]->TryConsume()) {
                result = WAIT_OBJECT_0 + static_cast<DWORD>(i);
                found = true;
                break;
            }
        }
        if (found) {
            break;
        }
        std::unique_lock lock(waiter.mutex);
        if (!waiter.signalled) {
            if (milliseconds == INFINITE) {
                waiter.wake.wait(lock, [&] { return waiter.signalled; });
            } else if (!waiter.wake.wait_until(lock, deadline, [&] { return waiter.signalled; })) {
                result = WAIT_TIMEOUT;
                break;
            }
        }
        waiter.signalled = false;
    }
    for (Event* e : events) {
        e->RemoveWaiter(&waiter);
    }
    return result;
}

DWORD WaitForSingleObject(Event& event, DWORD milliseconds) {
    Event* one[] = {&event};
    return WaitForMultipleObjects(one, milliseconds);
}

void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace platform
