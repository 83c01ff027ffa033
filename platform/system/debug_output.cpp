#include "platform/system/debug_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace platform {

namespace {

using Sink = std::function<void(std::string_view)>;

std::mutex& SinkMutex() {
    static std::mutex m;
    return m;
}

std::shared_ptr<const Sink>& CurrentSink() {
    static std::shared_ptr<const Sink> sink;
    return sink;
}

void WriteToStandardError(std::string_view text) {
    // One write per text where the system allows, so texts of several threads do not
    // interleave inside a line.
    while (!text.empty()) {
        const ssize_t n = ::write(STDERR_FILENO, text.data(), text.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;  // nobody to tell that the debug channel itself failed
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

}  // namespace

bool DebugOutputEnabled() {
    const char* flag = std::getenv("QUENBY_DEBUG");
    return flag && *flag && std::strcmp(flag, "0") != 0;
}

void OutputDebugStringA(const char* text) {
    if (!text) {
        return;
    }
    std::shared_ptr<const Sink> sink;
    {
        std::lock_guard lock(SinkMutex());
        sink = CurrentSink();
    }
    if (sink) {
        (*sink)(text);
    } else if (DebugOutputEnabled()) {
        WriteToStandardError(text);
    }
}

void SetDebugOutputSinkForTesting(std::function<void(std::string_view)> sink) {
    std::lock_guard lock(SinkMutex());
    if (sink) {
        CurrentSink() = std::make_shared<const Sink>(std::move(sink));
    } else {
        CurrentSink().reset();
    }
}

}  // namespace platform
