// The driver service's own text: its configuration file and the lines its control socket
// receives. Any bytes must parse or be refused line by line without reading past the text; a
// configuration keeps only valid, distinct port names; control lines stay within their limit and
// every one gets a single line of answer, "ok..." or "error: ...".

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/driver_service.h"
#include "drivers/service_config.h"

namespace devio = platform::devio;
using namespace portcount;

namespace {

// The configuration's invariants; what is left for a card without devices (a device-backed
// port would open a file).
ServiceConfig CheckedConfig(std::string_view text) {
    std::vector<std::string> problems;
    ServiceConfig config = ParseConfig(text, "fuzz.conf", problems);
    std::size_t lines = 0;
    for (std::size_t at = 0; at < text.size(); ++lines) {
        const std::size_t newline = text.find('\n', at);
        at = newline == std::string_view::npos ? text.size() : newline + 1;
    }
    if (problems.size() > lines) {
        __builtin_trap();  // at most one complaint a line
    }
    for (auto& ports : config.ports) {
        for (std::size_t i = 0; i < ports.size(); ++i) {
            const std::string& name = ports[i].name;
            if (name.empty() || name.size() > kMaxPortNameLength) {
                __builtin_trap();
            }
            for (unsigned char c : name) {
                if (c <= 0x20 || c >= 0x7F) {
                    __builtin_trap();
                }
            }
            if (!ports[i].device.empty() && ports[i].device[0] != '/') {
                __builtin_trap();
            }
            for (std::size_t j = 0; j < i; ++j) {
                if (ports[j].name == name) {
                    __builtin_trap();  // a family lists each name once
                }
            }
        }
        std::erase_if(ports, [](const PortEntry& port) { return !port.device.empty(); });
    }
    return config;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ServiceConfig config = CheckedConfig(text);
    if (config.ports[0].empty() && config.ports[1].empty()) {
        config = DefaultCard();
    }
    const SteadyTime start{};
    const SteadyTime now = start + std::chrono::seconds(90);
    DriverCard card;
    card.Load(config, start);
    if (card.PortCount(Family::Hubline) != config.ports[0].size() ||
        card.PortCount(Family::Talon) != config.ports[1].size()) {
        __builtin_trap();
    }

    // The same bytes as they reach the control socket.
    std::span<const std::uint8_t> rest(data, size);
    for (;;) {
        std::string_view line;
        std::size_t used = 0;
        const devio::FrameStatus status = NextControlLine(rest, line, used);
        const std::string_view left(reinterpret_cast<const char*>(rest.data()), rest.size());
        const std::size_t newline = left.find('\n');
        if (status == devio::FrameStatus::Incomplete &&
            (newline != std::string_view::npos || left.size() > kMaxControlLine)) {
            __builtin_trap();  // a whole line, or too much, is waiting
        }
        if (status == devio::FrameStatus::Malformed && newline != std::string_view::npos &&
            newline <= kMaxControlLine) {
            __builtin_trap();  // a line within the limit was refused
        }
        if (status != devio::FrameStatus::Complete) {
            break;
        }
        if (used != newline + 1 || line.size() > kMaxControlLine || line.data() < left.data() ||
            line.data() + line.size() > left.data() + newline ||
            (!line.empty() && (line.front() == ' ' || line.front() == '\t' || line.back() == ' ' ||
                               line.back() == '\r'))) {
            __builtin_trap();
        }
        // The service itself answers reload by reading its file; the card answers the rest.
        if (line != "reload") {
            const std::string answer = card.Control(line, now);
            if (!(answer == "ok" || answer.starts_with("ok ") || answer.starts_with("error: ")) ||
                answer.find('\n') != std::string::npos) {
                __builtin_trap();
            }
        }
        rest = rest.subspan(used);
    }
    return 0;
}
