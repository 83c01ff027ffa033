#pragma once
// Who a prompt belongs to, and the rule that keeps prompts from deadlocking a closing port:
// nothing waits for the GUI thread while the GUI thread waits for a port thread.
//
// A thread that asks a question the GUI thread must answer holds a ticket. The ticket is
// answered by the GUI thread, or cancelled: by the close of the port that owns it (before the
// GUI thread starts to wait for that port's thread), or at once when it is asked for while the
// GUI thread is already waiting for a port thread. A cancelled ticket releases its waiter
// without the GUI thread's help; whatever the GUI thread answers later is dropped.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace platform {

// The port window (or other closable owner) a prompt belongs to; 0 belongs to nobody and is
// cancelled only by the GUI thread's wait.
using PromptOwner = std::uint64_t;
constexpr PromptOwner kNoPromptOwner = 0;

// A fresh owner, never 0 and never handed out twice in a process.
PromptOwner NewPromptOwner();

// The owner of the prompts the calling thread asks for when a request names none: set on a
// port's thread for its life, and copied by the short threads the port starts.
PromptOwner CurrentPromptOwner();

// Makes `owner` the calling thread's owner for the rest of its life (a port's own thread).
void SetThreadPromptOwner(PromptOwner owner);

// Makes `owner` the calling thread's owner until the scope ends.
class PromptOwnerScope {
  public:
    explicit PromptOwnerScope(PromptOwner owner);
    ~PromptOwnerScope();
    PromptOwnerScope(const PromptOwnerScope&) = delete;
    PromptOwnerScope& operator=(const PromptOwnerScope&) = delete;

  private:
    PromptOwner previous_;
};

// One question on its way to the GUI thread and back.
class PromptTicket {
  public:
    explicit PromptTicket(PromptOwner owner);
    PromptTicket(const PromptTicket&) = delete;
    PromptTicket& operator=(const PromptTicket&) = delete;

    PromptOwner Owner() const { return owner_; }

    // The asking thread: blocks until the ticket is answered (true) or cancelled (false).
    bool Wait();

    // The GUI thread: true while the question still wants an answer. A cancelled ticket's
    // dialog need not be built at all.
    bool Open() const;
    // The GUI thread: the answer is in place; false when the ticket was cancelled first, and
    // the answer is then never read.
    bool Answer();

    // Called once, on the cancelling thread, when the ticket is cancelled while still open:
    // the GUI side uses it to take its dialog down. Set on the GUI thread; a ticket cancelled
    // before runs nothing.
    void OnCancel(std::function<void()> takeDown);

    // Releases the waiter with Cancel; false when the ticket was no longer open.
    bool Cancel();

  private:
    enum class State { Open, Answered, Cancelled };

    const PromptOwner owner_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    State state_ = State::Open;
    std::function<void()> takeDown_;
};

// A ticket for a question of `owner` (kNoPromptOwner: the calling thread's owner), registered
// so that a close can cancel it. Empty while the GUI thread waits for a port thread: the
// question is then answered Cancel at once, and a debug trace says so.
std::shared_ptr<PromptTicket> OpenPromptTicket(PromptOwner owner, const char* what);

// Cancels every open ticket of `owner` and answers every later question of it with Cancel:
// the owner is closing. Returns how many open tickets were cancelled.
int CancelPrompts(PromptOwner owner);

// Marks the GUI thread as waiting for a port thread, for the scope's life; scopes nest.
class GuiWaitsForPortThread {
  public:
    GuiWaitsForPortThread();
    ~GuiWaitsForPortThread();
    GuiWaitsForPortThread(const GuiWaitsForPortThread&) = delete;
    GuiWaitsForPortThread& operator=(const GuiWaitsForPortThread&) = delete;
};

// True while a GuiWaitsForPortThread scope is open.
bool GuiWaitingForPortThread();

}  // namespace platform
