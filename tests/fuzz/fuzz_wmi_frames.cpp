// The management socket's frames from both ends. The service takes any bytes as requests: each
// is decoded or refused without reading past the bytes, and each decoded one gets exactly one
// well-formed answer. The client takes any bytes as a query's answer: a result that decodes
// encodes back to the very same bytes, so nothing in it was made up or dropped.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "drivers/service_config.h"
#include "drivers/wmi_provider.h"
#include "platform/wmi/wmi_protocol.h"

namespace wmi = platform::wmi;
namespace devio = platform::devio;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);

    static portcount::DriverCard card;
    static bool loaded = false;
    if (!loaded) {
        std::vector<std::string> problems;
        card.Load(
            portcount::ParseConfig("zenith COM7 sim\nzenith COM8 sim open=no\n", "fuzz", problems),
            portcount::SteadyTime{});
        loaded = true;
    }
    portcount::WmiProvider provider(card);
    std::span<const std::uint8_t> rest = bytes;
    for (;;) {
        wmi::Request request;
        const devio::FrameStatus status = wmi::DecodeRequest(rest, request);
        if (status != devio::FrameStatus::Complete) {
            break;
        }
        if (request.size > rest.size() || request.input.size() + 16 != request.size) {
            __builtin_trap();
        }
        const auto frame = provider.Answer(request, portcount::SteadyTime{});
        wmi::Answer answer;
        if (wmi::DecodeAnswer(frame, answer) != devio::FrameStatus::Complete ||
            answer.size != frame.size()) {
            __builtin_trap();
        }
        rest = rest.subspan(request.size);
    }

    if (const auto result = wmi::DecodeQueryResult(bytes)) {
        const std::vector<std::uint8_t> again = wmi::EncodeQueryResult(*result);
        if (again.size() != size || !std::equal(again.begin(), again.end(), data)) {
            __builtin_trap();
        }
    }
    return 0;
}
