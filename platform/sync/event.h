#pragma once
// Kernel-style events and waits: auto- and manual-reset events, optionally named within the
// process, and waits on one event or on several with a time-out.

#include <chrono>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/win/win_types.h"

namespace platform {

class Event;
using EventHandle = std::shared_ptr<Event>;

class Event {
  public:
    Event(bool manualReset, bool initialState);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // An unnamed event, or the process-wide event of that name: a second creation with the
    // same name returns the first one and sets the last error to ERROR_ALREADY_EXISTS.
    static EventHandle Create(bool manualReset, bool initialState, const char* name = nullptr);

    void Set();
    void Reset();
    bool IsSet() const;
    bool ManualReset() const { return manual_; }

  private:
    friend DWORD WaitForMultipleObjects(std::span<Event* const> events, DWORD milliseconds);
    struct Waiter;
    bool TryConsume();
    void AddWaiter(Waiter* waiter);
    void RemoveWaiter(Waiter* waiter);

    const bool manual_;
    mutable std::mutex mutex_;
    bool state_;
    std::vector<Waiter*> waiters_;
};

// Waits until one of the events is set: WAIT_OBJECT_0 + index of the lowest set event (an
// auto-reset event is reset by the wait that returns it), WAIT_TIMEOUT, or WAIT_FAILED for an
// empty list or a missing event.
DWORD WaitForMultipleObjects(std::span<Event* const> events, DWORD milliseconds);
DWORD WaitForSingleObject(Event& event, DWORD milliseconds);

void Sleep(DWORD milliseconds);

}  // namespace platform
