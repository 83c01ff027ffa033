#pragma once
// The frames exchanged between a device handle and the driver service over its socket, all
// fields little-endian:
//   request: u32 magic, u32 control code, u32 input length, u32 output length, input bytes
//   answer:  u32 magic, u32 status (0 = success, else the error code), u32 returned length
//            (at most the output length), returned bytes
// One answer follows each request, in order, on one connection.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace platform::devio {

constexpr std::uint32_t kRequestMagic = 0x31564451u;  // "QDV1"
constexpr std::uint32_t kAnswerMagic = 0x31414451u;   // "QDA1"
constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kAnswerHeaderSize = 12;
// Larger buffers are refused on both sides: no driver request comes near it.
constexpr std::uint32_t kMaxBufferBytes = 16u * 1024u * 1024u;

struct RequestHeader {
    std::uint32_t code = 0;
    std::uint32_t inBytes = 0;
    std::uint32_t outBytes = 0;
};

struct AnswerHeader {
    std::uint32_t status = 0;
    std::uint32_t returned = 0;
};

inline void PutU32(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

inline std::uint32_t GetU32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

inline void EncodeRequestHeader(const RequestHeader& h, std::span<std::uint8_t, kHeaderSize> out) {
    PutU32(out.data(), kRequestMagic);
    PutU32(out.data() + 4, h.code);
    PutU32(out.data() + 8, h.inBytes);
    PutU32(out.data() + 12, h.outBytes);
}

// False for a frame that is not a request or announces buffers beyond the limit.
inline bool DecodeRequestHeader(std::span<const std::uint8_t, kHeaderSize> in, RequestHeader& h) {
    if (GetU32(in.data()) != kRequestMagic) {
        return false;
    }
    h.code = GetU32(in.data() + 4);
    h.inBytes = GetU32(in.data() + 8);
    h.outBytes = GetU32(in.data() + 12);
    return h.inBytes <= kMaxBufferBytes && h.outBytes <= kMaxBufferBytes;
}

inline void EncodeAnswerHeader(const AnswerHeader& h,
                               std::span<std::uint8_t, kAnswerHeaderSize> out) {
    PutU32(out.data(), kAnswerMagic);
    PutU32(out.data() + 4, h.status);
    PutU32(out.data() + 8, h.returned);
}

inline bool DecodeAnswerHeader(std::span<const std::uint8_t, kAnswerHeaderSize> in,
                               AnswerHeader& h) {
    if (GetU32(in.data()) != kAnswerMagic) {
        return false;
    }
    h.status = GetU32(in.data() + 4);
    h.returned = GetU32(in.data() + 8);
    return h.returned <= kMaxBufferBytes;
}

// How much of a frame the bytes a receiver holds make up.
enum class FrameStatus {
    Incomplete,  // more bytes are to come
    Malformed,   // not this framing, or lengths beyond what may follow: drop the connection
    Complete,
};

struct RequestFrame {
    RequestHeader header;
    std::span<const std::uint8_t> input;  // within the decoded bytes
    std::size_t size = 0;                 // the header and its input
};

struct AnswerFrame {
    AnswerHeader header;
    std::span<const std::uint8_t> output;  // within the decoded bytes
    std::size_t size = 0;                  // the header and its returned bytes
};

// The request at the start of bytes. Malformed as soon as the header is refused, so a peer
// announcing a huge buffer is not waited for.
inline FrameStatus DecodeRequest(std::span<const std::uint8_t> bytes, RequestFrame& frame) {
    if (bytes.size() < kHeaderSize) {
        return FrameStatus::Incomplete;
    }
    if (!DecodeRequestHeader(bytes.first<kHeaderSize>(), frame.header)) {
        return FrameStatus::Malformed;
    }
    if (bytes.size() - kHeaderSize < frame.header.inBytes) {
        return FrameStatus::Incomplete;
    }
    frame.input = bytes.subspan(kHeaderSize, frame.header.inBytes);
    frame.size = kHeaderSize + frame.header.inBytes;
    return FrameStatus::Complete;
}

// The answer at the start of bytes to a request that allowed outBytes: one that returns more
// than that would overrun the caller's buffer, so it is malformed.
inline FrameStatus DecodeAnswer(std::span<const std::uint8_t> bytes, std::uint32_t outBytes,
                                AnswerFrame& frame) {
    if (bytes.size() < kAnswerHeaderSize) {
        return FrameStatus::Incomplete;
    }
    if (!DecodeAnswerHeader(bytes.first<kAnswerHeaderSize>(), frame.header) ||
        frame.header.returned > outBytes) {
        return FrameStatus::Malformed;
    }
    if (bytes.size() - kAnswerHeaderSize < frame.header.returned) {
        return FrameStatus::Incomplete;
    }
    frame.output = bytes.subspan(kAnswerHeaderSize, frame.header.returned);
    frame.size = kAnswerHeaderSize + frame.header.returned;
    return FrameStatus::Complete;
}

// A whole answer frame. A failed request returns no bytes.
inline std::vector<std::uint8_t> EncodeAnswer(std::uint32_t status,
                                              std::span<const std::uint8_t> output) {
    if (status != 0) {
        output = {};
    }
    std::vector<std::uint8_t> frame(kAnswerHeaderSize + output.size());
    EncodeAnswerHeader({status, static_cast<std::uint32_t>(output.size())},
                       std::span<std::uint8_t, kAnswerHeaderSize>(frame.data(), kAnswerHeaderSize));
    std::copy(output.begin(), output.end(), frame.begin() + kAnswerHeaderSize);
    return frame;
}

}  // namespace platform::devio
