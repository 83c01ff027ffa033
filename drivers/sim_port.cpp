#include "drivers/sim_port.h"

#include <cmath>
#include <string>

namespace portcount {

SimPort::SimPort(const SimSettings& settings, std::uint64_t seed, SteadyTime start)
    : settings_(settings), state_(seed), start_(start), last_(start) {}

double SimPort::Draw() {
    // splitmix64: small, fast and the same on every host.
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53;
}

bool SimPort::InRun(double on, double off, bool steady, double seconds) const {
    if (on <= 0 || off <= 0) {
        return steady;
    }
    return std::fmod(seconds, on + off) < on;
}

std::optional<PortCounters> SimPort::Read(SteadyTime now) {
    if (now < last_) {
        now = last_;
    }
    const double elapsed = std::chrono::duration<double>(now - last_).count();
    const double sinceStart = std::chrono::duration<double>(now - start_).count();
    last_ = now;
    const bool open = InRun(settings_.openOn, settings_.openOff, settings_.open, sinceStart);
    const bool cd = InRun(settings_.cdOn, settings_.cdOff, settings_.cd, sinceStart);
    if (open && elapsed > 0) {
        const double factor =
            settings_.variation > 0 ? 1 + settings_.variation * (2 * Draw() - 1) : 1.0;
        const double tx = settings_.txRate * elapsed * factor + txCarry_;
        const double rx = settings_.rxRate * elapsed * factor + rxCarry_;
        const double txWhole = std::floor(tx);
        const double rxWhole = std::floor(rx);
        txCarry_ = tx - txWhole;
        rxCarry_ = rx - rxWhole;
        // The u32 fields wrap like the driver's; fmod keeps the cast defined for huge counts.
        const auto txChars = static_cast<std::uint64_t>(std::fmod(txWhole, 0x1.0p64));
        const auto rxChars = static_cast<std::uint64_t>(std::fmod(rxWhole, 0x1.0p64));
        counters_.tx += static_cast<std::uint32_t>(txChars);
        counters_.rx += static_cast<std::uint32_t>(rxChars);
        if (txChars > 0) {
            ++counters_.txPackets;
        }
        if (rxChars > 0) {
            ++counters_.rxPackets;
        }
        const double errors = rxWhole * settings_.errorRate + errorCarry_;
        const double errorsWhole = std::floor(errors);
        errorCarry_ = errors - errorsWhole;
        const auto count = static_cast<std::uint64_t>(std::fmod(errorsWhole, 0x1.0p64));
        if (count <= 3) {
            for (std::uint64_t i = 0; i < count; ++i) {
                const double kind = Draw();
                std::uint16_t& field = kind < 1.0 / 3   ? counters_.overrun
                                       : kind < 2.0 / 3 ? counters_.framing
                                                        : counters_.parity;
                ++field;
            }
        } else {
            counters_.overrun += static_cast<std::uint16_t>(count / 3);
            counters_.framing += static_cast<std::uint16_t>(count / 3);
            counters_.parity += static_cast<std::uint16_t>(count - 2 * (count / 3));
        }
    }
    counters_.flags =
        static_cast<std::uint16_t>(open ? (settings_.lines | kFlagOpen | (cd ? kFlagCd : 0)) : 0);
    return counters_;
}

std::uint64_t SeedFor(const std::string& family, const std::string& port) {
    std::uint64_t hash = 0xCBF29CE484222325ull;  // FNV-1a
    for (const std::string* text : {&family, &port}) {
        for (unsigned char c : *text) {
            hash = (hash ^ c) * 0x100000001B3ull;
        }
        hash = (hash ^ 0xFF) * 0x100000001B3ull;
    }
    return hash;
}

}  // namespace portcount
