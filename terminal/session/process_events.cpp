#include "terminal/session/process_events.h"

#include <mutex>

namespace {

std::mutex& EventsMutex() {
    static std::mutex mutex;
    return mutex;
}
platform::EventHandle& ThreadEnded() {
    static platform::EventHandle event;
    return event;
}
platform::EventHandle& SslSetup() {
    static platform::EventHandle event;
    return event;
}

}  // namespace

platform::EventHandle PortThreadEndedEvent() {
    std::lock_guard lock(EventsMutex());
    return ThreadEnded();
}

platform::EventHandle SslSetupEvent() {
    std::lock_guard lock(EventsMutex());
    return SslSetup();
}

void CreateProcessEvents() {
    std::lock_guard lock(EventsMutex());
    ThreadEnded() = platform::Event::Create(false, false);
    SslSetup() = platform::Event::Create(false, true, "ssl");
}

void CloseProcessEvents() {
    std::lock_guard lock(EventsMutex());
    ThreadEnded().reset();
    SslSetup().reset();
}
