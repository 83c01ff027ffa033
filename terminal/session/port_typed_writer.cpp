#include "terminal/session/port_typed_writer.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>

namespace {

// Characters typed while a write is held back go out together in one write of at most this
// many bytes, still in the order they were typed.
constexpr std::size_t kWriteChunk = 256;

}  // namespace

struct PortTypedWriter::State {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<char> queue;
    bool writing = false;
    bool stopping = false;
    bool ended = false;
    WriteFunction write;
};

PortTypedWriter::~PortTypedWriter() {
    Stop(0);
}

bool PortTypedWriter::Start(WriteFunction write) {
    Stop(0);
    auto state = std::make_shared<State>();
    state->write = std::move(write);
    try {
        thread_ = std::thread(Run, state);
    } catch (const std::system_error&) {
        return false;
    }
    state_ = std::move(state);
    return true;
}

void PortTypedWriter::Stop(DWORD milliseconds) {
    if (!state_) {
        return;
    }
    bool ended = false;
    {
        std::unique_lock lock(state_->mutex);
        state_->stopping = true;
        state_->queue.clear();
        state_->changed.notify_all();
        ended = state_->changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                         [&] { return state_->ended; });
    }
    if (thread_.joinable()) {
        if (ended) {
            thread_.join();
        } else {
            thread_.detach();  // it holds its own share of the state
        }
    }
    state_.reset();
}

bool PortTypedWriter::Queue(char character) {
    if (!state_) {
        return false;
    }
    std::lock_guard lock(state_->mutex);
    if (state_->stopping || state_->ended) {
        return false;
    }
    state_->queue.push_back(character);
    state_->changed.notify_all();
    return true;
}

bool PortTypedWriter::Running() const {
    return state_ != nullptr;
}

bool PortTypedWriter::WaitWritten(DWORD milliseconds) {
    if (!state_) {
        return true;
    }
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] {
        return state_->ended || (state_->queue.empty() && !state_->writing);
    });
}

void PortTypedWriter::Run(std::shared_ptr<State> state) {
    char chunk[kWriteChunk];
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->changed.wait(lock, [&] { return state->stopping || !state->queue.empty(); });
        if (state->stopping) {
            break;
        }
        std::size_t length = 0;
        while (length < kWriteChunk && !state->queue.empty()) {
            chunk[length++] = state->queue.front();
            state->queue.pop_front();
        }
        state->writing = true;
        lock.unlock();
        state->write(chunk, static_cast<DWORD>(length));
        lock.lock();
        state->writing = false;
        state->changed.notify_all();
    }
    WriteFunction write = std::move(state->write);
    state->ended = true;
    state->changed.notify_all();
    lock.unlock();
    // What the write function holds (the port's shared state, perhaps its last share) is
    // released here, without the writer's lock held.
    write = nullptr;
}
