// Request frames as the driver service receives them on a device socket: any bytes must
// decode or be refused without reading past them, and every request that decodes must get an
// answer the client decodes back whole: the driver's status, and on success a buffer of
// exactly the length asked for.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include "drivers/driver_service.h"
#include "platform/devio/device_io_protocol.h"

namespace devio = platform::devio;
using portcount::Family;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A fixed clock: the same input always gets the same answers.
    const portcount::SteadyTime start{};
    const portcount::SteadyTime now = start + std::chrono::seconds(90);
    portcount::DriverCard card;
    card.Load(portcount::SimulatedCard(3), start);

    std::span<const std::uint8_t> rest(data, size);
    for (int index = 0;; ++index) {
        devio::RequestFrame frame;
        const devio::FrameStatus status = devio::DecodeRequest(rest, frame);
        if (status == devio::FrameStatus::Incomplete &&
            rest.size() >= devio::kHeaderSize + frame.header.inBytes) {
            __builtin_trap();  // everything announced is there, yet more is awaited
        }
        if (status != devio::FrameStatus::Complete) {
            break;
        }
        if (frame.size != devio::kHeaderSize + frame.header.inBytes || frame.size > rest.size() ||
            frame.input.data() != rest.data() + devio::kHeaderSize ||
            frame.input.size() != frame.header.inBytes ||
            frame.header.outBytes > devio::kMaxBufferBytes) {
            __builtin_trap();
        }
        std::array<std::uint8_t, devio::kHeaderSize> again{};
        devio::EncodeRequestHeader(frame.header, again);
        if (!std::equal(again.begin(), again.end(), rest.begin())) {
            __builtin_trap();  // the header does not encode back to the bytes it came from
        }

        const Family family = index % 2 == 0 ? Family::Hubline : Family::Talon;
        const auto answer = portcount::AnswerRequest(card, family, frame, now);
        devio::AnswerFrame decoded;
        if (devio::DecodeAnswer(answer, frame.header.outBytes, decoded) !=
                devio::FrameStatus::Complete ||
            decoded.size != answer.size()) {
            __builtin_trap();  // the client would refuse the service's own answer
        }
        const auto& output = decoded.output;
        if (decoded.header.status != 0) {
            if (!output.empty()) {
                __builtin_trap();  // a failed request returns no bytes
            }
        } else {
            // One buffer goes in and comes back: same length, same command and entry size.
            if (output.size() != frame.header.outBytes || output.size() != frame.input.size() ||
                output.size() < 16 ||
                !std::equal(output.begin(), output.begin() + 8, frame.input.begin())) {
                __builtin_trap();
            }
            if (devio::GetU32(output.data()) == portcount::kCommandListPorts) {
                // Every name entry keeps its terminating NUL.
                for (std::size_t at = 16 + portcount::kNameEntrySize - 1; at < output.size();
                     at += portcount::kNameEntrySize) {
                    if (output[at] != 0) {
                        __builtin_trap();
                    }
                }
            }
        }
        rest = rest.subspan(frame.size);
    }
    return 0;
}
