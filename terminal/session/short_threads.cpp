#include "terminal/session/short_threads.h"

#include <chrono>
#include <system_error>
#include <thread>

#include "platform/system/debug_output.h"

bool ShortThreads::Start(std::function<void()> body, const char* failureTrace) {
    {
        std::lock_guard lock(mutex_);
        ++count_;
    }
    try {
        std::thread([this, body = std::move(body)] {
            body();
            Ended();
        }).detach();
    } catch (const std::system_error&) {
        platform::OutputDebugStringA(failureTrace);
        Ended();
        return false;
    }
    return true;
}

bool ShortThreads::WaitIdle(unsigned long milliseconds) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                             [&] { return count_ == 0; });
}

void ShortThreads::Ended() {
    std::lock_guard lock(mutex_);
    --count_;
    changed_.notify_all();
}
