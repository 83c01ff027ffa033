#pragma once
// The suites' wait on the GUI thread: the same WaitUntil, with the event loop as its pump, so
// posted events, timers and repaints run while the test waits.

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>

#include "tests/support/wait.h"

// Handles the events as they arrive until `condition` holds; false only once `patience` has
// passed. The condition is looked at after each round of events, before the posting thread has
// moved on much.
inline bool PumpUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds patience = kWaitPatience) {
    // Wakes the loop when no event comes, so the deadline is seen.
    QTimer heartbeat;
    heartbeat.start(20);
    return WaitUntil(condition, patience,
                     [] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); });
}
