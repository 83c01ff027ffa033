#pragma once
// The wire between simulated serial devices: how long one character holds the line, what a
// receiver set differently from the sender makes of it, and the one engine thread that moves
// the characters of every simulated device once their time on the line is over.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/comm/comm_types.h"

namespace platform::sim {

using Clock = std::chrono::steady_clock;

// The settings both ends of a character have to agree on.
struct FrameFormat {
    DWORD bitRate = 9600;
    BYTE byteSize = 8;
    BYTE parity = NOPARITY;
    BYTE stopBits = ONESTOPBIT;
};

FrameFormat FormatOf(const DCB& dcb);

// Start bit, data bits, the parity bit if any and the stop bits, rounded up to the next
// nanosecond so that a character is never delivered before the wire could have carried it.
std::chrono::nanoseconds CharacterTime(const FrameFormat& format);

struct ReceivedCharacter {
    BYTE value = 0;
    DWORD errors = 0;  // CE_FRAME or CE_RXPARITY
};

// What a receiver set to `rx` reads when a sender set to `tx` puts `c` on the line. A receiver
// with another rate, data bit count or stop bit count samples the sender's frame at its own
// bit times (the byte arrives garbled) and reports a framing error; one that differs only in
// parity reads the data bits and reports a parity error.
ReceivedCharacter ReceiveCharacter(BYTE c, const FrameFormat& tx, const FrameFormat& rx);

// How a read behaves under a set of time-outs, for a request of `bytes` bytes.
struct ReadPlan {
    bool immediate = false;                             // only what is queued, at once
    bool returnOnAny = false;                           // as soon as at least one byte is there
    std::optional<std::chrono::milliseconds> total;     // from the start of the read
    std::optional<std::chrono::milliseconds> interval;  // between two arriving bytes
};
ReadPlan PlanRead(const COMMTIMEOUTS& timeouts, DWORD bytes);

// The write total time-out for `bytes` bytes, or nothing when writes wait without limit.
std::optional<std::chrono::milliseconds> WriteLimit(const COMMTIMEOUTS& timeouts, DWORD bytes);

class SimStation;

// Every simulated device of the process shares this lock and this engine. One lock keeps the
// two ends of a cable consistent without any lock ordering; the engine sleeps while no device
// has anything to send, so idle devices cost nothing.
class World {
  public:
    static World& Get();

    std::mutex& Mutex() { return mutex_; }

    // With the lock held.
    void Register(SimStation* station);
    void Unregister(SimStation* station);
    // A station went from idle to sending: the engine recomputes when it must wake next.
    void Wake();

  private:
    World();
    void Run();

    std::mutex mutex_;
    std::condition_variable wake_;
    bool kicked_ = false;
    std::vector<SimStation*> stations_;
};

}  // namespace platform::sim
