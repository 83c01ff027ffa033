#pragma once
// The frames between the management calls and the driver service's socket `wmi`, in the shape
// of the device I/O control frames (all fields little-endian):
//   request: u32 magic "QWM1", u32 operation, u32 input length, u32 0, input bytes
//   answer:  u32 magic "QWA1", u32 status (an HRESULT), u32 length, bytes
// Operations: Connect (input: the namespace in UTF-16LE) and Query (input: u32 length of the
// language in code units, the language, then the query text, both UTF-16LE). A query's answer
// holds every instance at once; the enumerator hands them out one at a time:
//   u32 instance count, u32 status of the Next after the last instance, then per instance
//   u32 property count and per property: u16 name length, the ASCII name, u8 kind and
//   kind 1: u32 number | kind 2: u32 code units, UTF-16LE text | kind 3: u32 HRESULT of Get.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/devio/device_io_protocol.h"
#include "platform/wmi/wmi_types.h"

namespace platform::wmi {

constexpr const char* kSocketName = "wmi";
constexpr std::uint32_t kRequestMagic = 0x314D5751u;  // "QWM1"
constexpr std::uint32_t kAnswerMagic = 0x31415751u;   // "QWA1"
constexpr std::size_t kRequestHeaderSize = 16;
constexpr std::size_t kAnswerHeaderSize = 12;
constexpr std::uint32_t kMaxFrameBytes = devio::kMaxBufferBytes;

constexpr std::uint32_t kOpConnect = 1;
constexpr std::uint32_t kOpQuery = 2;

struct Property {
    enum class Kind : std::uint8_t { Number = 1, Text = 2, Failure = 3 };
    std::string name;
    Kind kind = Kind::Number;
    std::uint32_t number = 0;  // the number, or the HRESULT of a failing Get
    std::u16string text;

    bool operator==(const Property&) const = default;
};

struct Instance {
    std::vector<Property> properties;

    bool operator==(const Instance&) const = default;
};

struct QueryResult {
    std::vector<Instance> instances;
    HRESULT endStatus = WBEM_S_FALSE;  // what Next says once every instance was handed out

    bool operator==(const QueryResult&) const = default;
};

struct Request {
    std::uint32_t op = 0;
    std::span<const std::uint8_t> input;
    std::size_t size = 0;  // header and input
};

struct Answer {
    HRESULT status = S_OK;
    std::span<const std::uint8_t> bytes;
    std::size_t size = 0;
};

std::vector<std::uint8_t> EncodeRequest(std::uint32_t op, std::span<const std::uint8_t> input);
devio::FrameStatus DecodeRequest(std::span<const std::uint8_t> bytes, Request& request);
std::vector<std::uint8_t> EncodeAnswer(HRESULT status, std::span<const std::uint8_t> bytes);
devio::FrameStatus DecodeAnswer(std::span<const std::uint8_t> bytes, Answer& answer);

// UTF-16LE bytes of text, and back (nullopt for an odd number of bytes).
std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text);
std::optional<std::u16string> FromUtf16Bytes(std::span<const std::uint8_t> bytes);

std::vector<std::uint8_t> EncodeQueryInput(std::u16string_view language, std::u16string_view query);
bool DecodeQueryInput(std::span<const std::uint8_t> input, std::u16string& language,
                      std::u16string& query);

std::vector<std::uint8_t> EncodeQueryResult(const QueryResult& result);
// nullopt for bytes that are not a whole, well-formed result.
std::optional<QueryResult> DecodeQueryResult(std::span<const std::uint8_t> bytes);

// The text as the thread's ANSI code page (Latin-1 here) has it: a character it lacks becomes
// '?', as the system's conversion makes it.
std::string ToAnsi(std::u16string_view text);
std::u16string FromAscii(std::string_view text);

}  // namespace platform::wmi
