#include "drivers/driver_card.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "drivers/service_config.h"
#include "drivers/sim_port.h"
#include "drivers/tty_port.h"

namespace portcount {

namespace {

std::uint32_t GetU32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

// Decimal, or hexadecimal after "0x".
bool ParseU64(std::string_view text, std::uint64_t& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    return ec == std::errc() && ptr == end && !text.empty();
}

// Subtraction modulo 2^32: the driver's counters wrap, and the 16-bit families take the low
// half, which is the subtraction in their own width.
WideCounters Minus(const WideCounters& a, const WideCounters& b) {
    return {a.tx - b.tx,
            a.rx - b.rx,
            a.txPackets - b.txPackets,
            a.rxPackets - b.rxPackets,
            a.overrun - b.overrun,
            a.bufferOverrun - b.bufferOverrun,
            a.framing - b.framing,
            a.parity - b.parity,
            a.flags};
}

}  // namespace

DriverCard::DriverCard()
    : scan_(std::make_shared<OpenDeviceScan>()), procSerial_(std::make_shared<ProcSerialTable>()) {}

void DriverCard::Load(const ServiceConfig& config, SteadyTime now) {
    for (int f = 0; f < kFamilyCount; ++f) {
        FamilyPorts& family = families_[f];
        family.ports.clear();
        family.failCode = config.failCode[f];
        for (const PortEntry& entry : config.ports[f]) {
            Port port;
            port.name = entry.name;
            if (entry.device.empty()) {
                const std::uint64_t seed =
                    entry.sim.seed != 0 ? entry.sim.seed
                                        : SeedFor(FamilyName(static_cast<Family>(f)), entry.name);
                port.backend = std::make_unique<SimPort>(entry.sim, seed, now);
            } else {
                port.backend = std::make_unique<TtyPort>(entry.device, scan_, procSerial_);
                // A device's kernel counters run since boot: the listing starts from zero.
                const auto raw = port.backend->Read(now);
                port.present = raw.has_value();
                port.offset = Widen(raw.value_or(PortCounters{}));
            }
            family.ports.push_back(std::move(port));
        }
    }
}

bool DriverCard::HoldsDevices() const {
    for (const FamilyPorts& family : families_) {
        for (const Port& port : family.ports) {
            if (port.backend->HoldsDevice()) {
                return true;
            }
        }
    }
    return false;
}

void DriverCard::Idle(SteadyTime now) {
    for (FamilyPorts& family : families_) {
        for (Port& port : family.ports) {
            port.backend->Idle(now);
        }
    }
}

std::size_t DriverCard::PortCount(Family family) const {
    return families_[static_cast<int>(family)].ports.size();
}

bool DriverCard::HasPort(Family family, std::string_view name) const {
    const auto& ports = families_[static_cast<int>(family)].ports;
    return std::any_of(ports.begin(), ports.end(), [&](const Port& p) { return p.name == name; });
}

WideCounters DriverCard::Reported(Port& port, SteadyTime now) {
    const auto raw = port.backend->Read(now);
    if (!raw) {
        port.present = false;
        return WideCounters{};
    }
    if (!port.present) {
        // A device that came (back) counts from zero again, as it did when it was listed.
        port.present = true;
        port.offset = Widen(*raw);
    }
    return Minus(Widen(*raw), port.offset);
}

std::vector<DriverCard::NamedCounters> DriverCard::ZenithCounters(SteadyTime now) {
    std::vector<NamedCounters> result;
    FamilyPorts& family = families_[static_cast<int>(Family::Zenith)];
    result.reserve(family.ports.size());
    for (Port& port : family.ports) {
        result.push_back({port.name, Reported(port, now)});
    }
    return result;
}

void DriverCard::ListPorts(const FamilyPorts& family, std::span<std::uint8_t> entries) {
    std::memset(entries.data(), 0, entries.size());
    const std::size_t slots = entries.size() / kNameEntrySize;
    for (std::size_t i = 0; i < slots && i < family.ports.size(); ++i) {
        const std::string& name = family.ports[i].name;
        std::memcpy(entries.data() + i * kNameEntrySize, name.data(),
                    std::min(name.size(), kMaxPortNameLength));
    }
}

void DriverCard::ReadCounters(FamilyPorts& family, std::span<std::uint8_t> entries,
                              SteadyTime now) {
    std::memset(entries.data(), 0, entries.size());
    const std::size_t slots = entries.size() / kCounterEntrySize;
    for (std::size_t i = 0; i < slots && i < family.ports.size(); ++i) {
        EncodePortCounters(Narrow(Reported(family.ports[i], now)),
                           std::span<std::uint8_t, kCounterEntrySize>(
                               entries.data() + i * kCounterEntrySize, kCounterEntrySize));
    }
}

DWORD DriverCard::Handle(Family which, DWORD code, std::span<const std::uint8_t> in, DWORD outBytes,
                         std::vector<std::uint8_t>& out, SteadyTime now) {
    FamilyPorts& family = families_[static_cast<int>(which)];
    if (family.failCode != 0) {
        return family.failCode;
    }
    // The Zenith family is reached through the management socket only.
    if (code != kIoctlPortMonitor || which == Family::Zenith) {
        return ERROR_INVALID_FUNCTION;
    }
    // One buffer serves as input and output, so both lengths are the request length.
    if (in.size() != outBytes || in.size() < 16) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::size_t length = in.size();
    const std::uint32_t command = GetU32(in.data());
    const std::uint32_t entrySize = GetU32(in.data() + 4);
    std::size_t overhead = 0;
    if (command == kCommandListPorts && entrySize == kNameEntrySize) {
        overhead = kNameListOverhead;
    } else if (command == kCommandReadCounters && entrySize == kCounterEntrySize) {
        overhead = kCounterListOverhead;
    } else {
        return ERROR_INVALID_PARAMETER;
    }
    if (length < overhead || (length - overhead) % entrySize != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::size_t entries = (length - overhead) / entrySize;
    out.assign(in.begin(), in.end());
    // The padding after the entries goes back as zeros, like the header's reserved words.
    std::memset(out.data() + 8, 0, 8);
    std::memset(out.data() + 16 + entries * entrySize, 0, overhead - 16);
    const std::span<std::uint8_t> area(out.data() + 16, entries * entrySize);
    if (command == kCommandListPorts) {
        ListPorts(family, area);
    } else {
        ReadCounters(family, area, now);
    }
    return 0;
}

std::vector<DriverCard::Port*> DriverCard::Select(const std::vector<std::string_view>& words,
                                                  std::size_t& next, bool allowAll,
                                                  std::string& error) {
    std::vector<Port*> chosen;
    int onlyFamily = -1;
    if (next < words.size()) {
        if (const auto family = ParseFamily(words[next])) {
            onlyFamily = static_cast<int>(*family);
            ++next;
        }
    }
    std::string_view name = "all";
    if (next < words.size() && words[next].find('=') == std::string_view::npos) {
        name = words[next++];
    } else if (!allowAll) {
        error = "error: which port?";
        return chosen;
    }
    for (int f = 0; f < kFamilyCount; ++f) {
        if (onlyFamily >= 0 && f != onlyFamily) {
            continue;
        }
        for (Port& port : families_[f].ports) {
            if ((allowAll && name == "all") || port.name == name) {
                chosen.push_back(&port);
            }
        }
    }
    if (chosen.empty() && !(allowAll && name == "all")) {
        error = "error: no port " + std::string(name);
    }
    return chosen;
}

std::string DriverCard::Control(std::string_view line, SteadyTime now) {
    const auto words = SplitWords(line);
    if (words.empty()) {
        return "error: empty command";
    }
    const std::string_view verb = words[0];
    if (verb == "fail") {
        std::uint64_t code = 0;
        const auto family = words.size() == 3 ? ParseFamily(words[1]) : std::nullopt;
        if (!family || !ParseU64(words[2], code) || code > 0xFFFFFFFFu) {
            return "error: usage: fail hubline|talon|zenith CODE (0 stops failing)";
        }
        families_[static_cast<int>(*family)].failCode = static_cast<DWORD>(code);
        return "ok";
    }
    if (verb == "ports") {
        std::string answer = "ok";
        for (int f = 0; f < kFamilyCount; ++f) {
            answer += std::string(" ") + FamilyName(static_cast<Family>(f)) + ":";
            for (const Port& port : families_[f].ports) {
                answer += (&port == &families_[f].ports.front() ? "" : ",") + port.name;
            }
        }
        return answer;
    }
    if (verb == "restart" || verb == "set") {
        const bool restart = verb == "restart";
        std::size_t next = 1;
        std::string error;
        const std::vector<Port*> ports = Select(words, next, restart, error);
        if (!error.empty()) {
            return error;
        }
        if (restart && next != words.size()) {
            return "error: usage: restart [hubline|talon|zenith] [PORT|all]";
        }
        // Error counts are 32-bit only where every port named is a Zenith port.
        bool wide = !ports.empty();
        for (const Port* port : ports) {
            const auto& zenith = families_[static_cast<int>(Family::Zenith)].ports;
            wide = wide && port >= zenith.data() && port < zenith.data() + zenith.size();
        }
        WideCounters values;
        for (; next < words.size(); ++next) {
            const std::string_view word = words[next];
            const std::size_t eq = word.find('=');
            std::uint64_t value = 0;
            if (eq == std::string_view::npos || !ParseU64(word.substr(eq + 1), value)) {
                return "error: expected FIELD=NUMBER, found '" + std::string(word) + "'";
            }
            const std::string_view field = word.substr(0, eq);
            const std::uint64_t limit =
                field == "tx" || field == "rx" || wide ? 0xFFFFFFFFu : 0xFFFFu;
            if (value > limit) {
                return "error: " + std::string(field) + " is at most " + std::to_string(limit);
            }
            const auto v = static_cast<std::uint32_t>(value);
            if (field == "tx") {
                values.tx = v;
            } else if (field == "rx") {
                values.rx = v;
            } else if (field == "txp") {
                values.txPackets = v;
            } else if (field == "rxp") {
                values.rxPackets = v;
            } else if (field == "overrun") {
                values.overrun = v;
            } else if (field == "framing") {
                values.framing = v;
            } else if (field == "parity") {
                values.parity = v;
            } else if (field == "buffer" && wide) {
                values.bufferOverrun = v;
            } else {
                return "error: unknown field '" + std::string(field) + "'";
            }
        }
        for (Port* port : ports) {
            // The backend keeps running; the offset makes it read as values from now on.
            const auto raw = port->backend->Read(now);
            port->offset = Minus(Widen(raw.value_or(PortCounters{})), values);
        }
        return "ok " + std::to_string(ports.size()) + (ports.size() == 1 ? " port" : " ports");
    }
    return "error: unknown command '" + std::string(verb) + "'";
}

}  // namespace portcount
