#pragma once
// The one wait of the test suites: for state that another thread or process brings about and
// that has no event a test could block on (a display's text, a device's input lines, a file
// the service writes).

#include <chrono>
#include <functional>
#include <thread>

// Far more than any wait needs on a loaded machine; only a fault runs into it.
inline constexpr std::chrono::milliseconds kWaitPatience{20000};

// Looks at `condition` until it holds; false only once `patience` has passed without it.
// Between two looks `pump` runs (a GUI suite passes its event loop, which also does the
// waiting); without one the thread sleeps a millisecond.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds patience = kWaitPatience,
                      const std::function<void()>& pump = {}) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        if (pump) {
            pump();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return true;
}
