#include "platform/ui/prompt_gate.h"

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "platform/system/debug_output.h"

namespace platform {

namespace {

thread_local PromptOwner t_owner = kNoPromptOwner;

struct Gate {
    std::mutex mutex;
    std::vector<std::weak_ptr<PromptTicket>> tickets;
    // Owners that have closed: owners are never reused, so a question of one can only come
    // from a thread the close left behind.
    std::set<PromptOwner> closed;
    int guiWaits = 0;
};

Gate& TheGate() {
    // Never destroyed: a short thread may still ask after the program's statics are gone.
    static Gate* gate = new Gate();
    return *gate;
}

void Trace(const char* what, const char* why) {
    const std::string text =
        std::string("Prompt \"") + (what ? what : "") + "\" cancelled: " + why + "\n";
    OutputDebugStringA(text.c_str());
}

}  // namespace

PromptOwner NewPromptOwner() {
    static std::atomic<PromptOwner> next{1};
    return next.fetch_add(1);
}

PromptOwner CurrentPromptOwner() {
    return t_owner;
}

void SetThreadPromptOwner(PromptOwner owner) {
    t_owner = owner;
}

PromptOwnerScope::PromptOwnerScope(PromptOwner owner) : previous_(t_owner) {
    t_owner = owner;
}

PromptOwnerScope::~PromptOwnerScope() {
    t_owner = previous_;
}

PromptTicket::PromptTicket(PromptOwner owner) : owner_(owner) {}

bool PromptTicket::Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return state_ != State::Open; });
    return state_ == State::Answered;
}

bool PromptTicket::Open() const {
    std::lock_guard lock(mutex_);
    return state_ == State::Open;
}

bool PromptTicket::Answer() {
    std::lock_guard lock(mutex_);
    if (state_ != State::Open) {
        return false;
    }
    state_ = State::Answered;
    takeDown_ = nullptr;
    changed_.notify_all();
    return true;
}

void PromptTicket::OnCancel(std::function<void()> takeDown) {
    std::lock_guard lock(mutex_);
    if (state_ == State::Open) {
        takeDown_ = std::move(takeDown);
    }
}

bool PromptTicket::Cancel() {
    std::function<void()> takeDown;
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Open) {
            return false;
        }
        state_ = State::Cancelled;
        takeDown = std::move(takeDown_);
        changed_.notify_all();
    }
    // Outside the lock: taking the dialog down may answer the ticket, which then finds it
    // cancelled.
    if (takeDown) {
        takeDown();
    }
    return true;
}

std::shared_ptr<PromptTicket> OpenPromptTicket(PromptOwner owner, const char* what) {
    if (owner == kNoPromptOwner) {
        owner = t_owner;
    }
    Gate& gate = TheGate();
    std::lock_guard lock(gate.mutex);
    if (gate.guiWaits > 0) {
        Trace(what, "the GUI thread is waiting for a port thread");
        return nullptr;
    }
    if (owner != kNoPromptOwner && gate.closed.count(owner) != 0) {
        Trace(what, "its port is closing");
        return nullptr;
    }
    std::erase_if(gate.tickets, [](const std::weak_ptr<PromptTicket>& t) {
        const auto ticket = t.lock();
        return !ticket || !ticket->Open();
    });
    auto ticket = std::make_shared<PromptTicket>(owner);
    gate.tickets.push_back(ticket);
    return ticket;
}

int CancelPrompts(PromptOwner owner) {
    std::vector<std::shared_ptr<PromptTicket>> mine;
    {
        Gate& gate = TheGate();
        std::lock_guard lock(gate.mutex);
        if (owner != kNoPromptOwner) {
            gate.closed.insert(owner);
        }
        for (const auto& t : gate.tickets) {
            if (auto ticket = t.lock(); ticket && ticket->Owner() == owner) {
                mine.push_back(std::move(ticket));
            }
        }
    }
    int cancelled = 0;
    for (const auto& ticket : mine) {
        cancelled += ticket->Cancel() ? 1 : 0;
    }
    return cancelled;
}

GuiWaitsForPortThread::GuiWaitsForPortThread() {
    Gate& gate = TheGate();
    std::lock_guard lock(gate.mutex);
    ++gate.guiWaits;
}

GuiWaitsForPortThread::~GuiWaitsForPortThread() {
    Gate& gate = TheGate();
    std::lock_guard lock(gate.mutex);
    --gate.guiWaits;
}

bool GuiWaitingForPortThread() {
    Gate& gate = TheGate();
    std::lock_guard lock(gate.mutex);
    return gate.guiWaits > 0;
}

}  // namespace platform
