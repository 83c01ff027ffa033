#include "platform/comm/sim_wire.h"

#include <algorithm>
#include <bit>
#include <thread>

#include "platform/comm/comm_device.h"
#include "platform/comm/sim_station.h"

namespace platform::sim {

namespace {

// The engine delivers in batches no finer than this, so hundreds of fast devices cost a few
// wake-ups per millisecond in all rather than one per character.
constexpr auto kBatch = std::chrono::milliseconds(1);

// Longest time a late engine pass may still catch up; beyond it the line counts as having been
// idle. Characters then arrive later than the wire would allow, never earlier.
constexpr auto kCatchUp = std::chrono::milliseconds(5);

// Beyond this a time-out is no longer a time but "never" (and would overflow the clock).
constexpr std::uint64_t kLongestTimeoutMs = std::uint64_t{1} << 40;

int SenderLevel(BYTE c, const FrameFormat& tx, std::uint64_t bitIndex) {
    if (bitIndex == 0) {
        return 0;  // start bit
    }
    if (bitIndex <= tx.byteSize) {
        return (c >> (bitIndex - 1)) & 1;
    }
    if (tx.parity != NOPARITY && bitIndex == tx.byteSize + 1u) {
        const unsigned data = c & ((1u << tx.byteSize) - 1u);
        const bool oddOnes = (std::popcount(data) & 1) != 0;
        switch (tx.parity) {
            case ODDPARITY:
                return oddOnes ? 0 : 1;
            case EVENPARITY:
                return oddOnes ? 1 : 0;
            case MARKPARITY:
                return 1;
            default:
                return 0;
        }
    }
    return 1;  // stop bits, then the idle line
}

std::optional<std::chrono::milliseconds> Limit(std::uint64_t ms) {
    if (ms == 0 || ms > kLongestTimeoutMs) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(ms);
}

}  // namespace

FrameFormat FormatOf(const DCB& dcb) {
    return FrameFormat{LineBitRate(dcb.BaudRate), dcb.ByteSize, dcb.Parity, dcb.StopBits};
}

std::chrono::nanoseconds CharacterTime(const FrameFormat& format) {
    const std::uint64_t stopHalfBits =
        format.stopBits == ONESTOPBIT ? 2 : (format.stopBits == ONE5STOPBITS ? 3 : 4);
    const std::uint64_t halfBits =
        2 * (1u + format.byteSize + (format.parity != NOPARITY ? 1u : 0u)) + stopHalfBits;
    const std::uint64_t halfBitRate = 2ull * std::max<DWORD>(format.bitRate, 1);
    return std::chrono::nanoseconds((halfBits * 1'000'000'000ull + halfBitRate - 1) / halfBitRate);
}

ReceivedCharacter ReceiveCharacter(BYTE c, const FrameFormat& tx, const FrameFormat& rx) {
    ReceivedCharacter result;
    const bool frameDiffers =
        tx.bitRate != rx.bitRate || tx.byteSize != rx.byteSize || tx.stopBits != rx.stopBits;
    if (!frameDiffers) {
        result.value = static_cast<BYTE>(c & ((1u << rx.byteSize) - 1u));
        result.errors = tx.parity != rx.parity ? CE_RXPARITY : 0;
        return result;
    }
    // The receiver samples data bit j in the middle of its own bit j + 1 after the start edge.
    unsigned value = 0;
    for (unsigned j = 0; j < rx.byteSize; ++j) {
        const std::uint64_t index =
            (std::uint64_t{2 * j + 3} * tx.bitRate) / (std::uint64_t{2} * rx.bitRate);
        value |= static_cast<unsigned>(SenderLevel(c, tx, index)) << j;
    }
    result.value = static_cast<BYTE>(value);
    result.errors = CE_FRAME;
    return result;
}

ReadPlan PlanRead(const COMMTIMEOUTS& t, DWORD bytes) {
    ReadPlan plan;
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
        t.ReadTotalTimeoutConstant == 0) {
        plan.immediate = true;
        return plan;
    }
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
        t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD) {
        // Whatever is queued at once; with nothing queued, the first byte within the constant.
        plan.returnOnAny = true;
        plan.total = std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
        return plan;
    }
    plan.total =
        Limit(std::uint64_t{t.ReadTotalTimeoutMultiplier} * bytes + t.ReadTotalTimeoutConstant);
    plan.interval = Limit(t.ReadIntervalTimeout);
    return plan;
}

std::optional<std::chrono::milliseconds> WriteLimit(const COMMTIMEOUTS& t, DWORD bytes) {
    return Limit(std::uint64_t{t.WriteTotalTimeoutMultiplier} * bytes +
                 t.WriteTotalTimeoutConstant);
}

World& World::Get() {
    // Never destroyed: the engine thread and devices still open at exit keep using it.
    static World* world = new World();
    return *world;
}

World::World() {
    std::thread([this] { Run(); }).detach();
}

void World::Register(SimStation* station) {
    stations_.push_back(station);
}

void World::Unregister(SimStation* station) {
    stations_.erase(std::remove(stations_.begin(), stations_.end(), station), stations_.end());
}

void World::Wake() {
    kicked_ = true;
    wake_.notify_one();
}

void World::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        kicked_ = false;
        const auto now = Clock::now();
        for (SimStation* station : stations_) {
            if (station->Transmitting()) {
                station->Pump(now, kCatchUp);
            }
        }
        std::optional<Clock::time_point> next;
        for (SimStation* station : stations_) {
            station->NotifyIfChanged();
            if (station->Transmitting()) {
                const auto due = station->NextCharacterEnd();
                next = next ? std::min(*next, due) : due;
            }
        }
        if (kicked_) {
            continue;  // a delivery released another sender: look at it with a fresh clock
        }
        if (!next) {
            wake_.wait(lock, [this] { return kicked_; });
        } else {
            wake_.wait_until(lock, std::max(*next, now + kBatch), [this] { return kicked_; });
        }
    }
}

}  // namespace platform::sim
