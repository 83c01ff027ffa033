#include "platform/wmi/wmi_protocol.h"

#include <cstdio>

namespace platform {

std::string HresultText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

}  // namespace platform

namespace platform::wmi {

namespace {

using devio::GetU32;
using devio::PutU32;

void AppendU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    std::uint8_t bytes[4];
    PutU32(bytes, v);
    out.insert(out.end(), bytes, bytes + 4);
}

// Reads fields off the front of bytes; once one does not fit, every later read fails too.
class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool U32(std::uint32_t& v) {
        if (!Take(4)) {
            return false;
        }
        v = GetU32(bytes_.data() + at_ - 4);
        return true;
    }
    bool U16(std::uint16_t& v) {
        if (!Take(2)) {
            return false;
        }
        v = static_cast<std::uint16_t>(bytes_[at_ - 2] | (bytes_[at_ - 1] << 8));
        return true;
    }
    bool U8(std::uint8_t& v) {
        if (!Take(1)) {
            return false;
        }
        v = bytes_[at_ - 1];
        return true;
    }
    bool Bytes(std::size_t n, std::span<const std::uint8_t>& out) {
        if (!Take(n)) {
            return false;
        }
        out = bytes_.subspan(at_ - n, n);
        return true;
    }
    std::size_t Left() const { return bytes_.size() - at_; }

  private:
    bool Take(std::size_t n) {
        if (!ok_ || bytes_.size() - at_ < n) {
            ok_ = false;
            return false;
        }
        at_ += n;
        return true;
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

}  // namespace

std::vector<std::uint8_t> EncodeRequest(std::uint32_t op, std::span<const std::uint8_t> input) {
    std::vector<std::uint8_t> frame;
    frame.reserve(kRequestHeaderSize + input.size());
    AppendU32(frame, kRequestMagic);
    AppendU32(frame, op);
    AppendU32(frame, static_cast<std::uint32_t>(input.size()));
    AppendU32(frame, 0);
    frame.insert(frame.end(), input.begin(), input.end());
    return frame;
}

devio::FrameStatus DecodeRequest(std::span<const std::uint8_t> bytes, Request& request) {
    if (bytes.size() < kRequestHeaderSize) {
        return devio::FrameStatus::Incomplete;
    }
    const std::uint32_t length = GetU32(bytes.data() + 8);
    if (GetU32(bytes.data()) != kRequestMagic || length > kMaxFrameBytes) {
        return devio::FrameStatus::Malformed;
    }
    if (bytes.size() - kRequestHeaderSize < length) {
        return devio::FrameStatus::Incomplete;
    }
    request.op = GetU32(bytes.data() + 4);
    request.input = bytes.subspan(kRequestHeaderSize, length);
    request.size = kRequestHeaderSize + length;
    return devio::FrameStatus::Complete;
}

std::vector<std::uint8_t> EncodeAnswer(HRESULT status, std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> frame;
    frame.reserve(kAnswerHeaderSize + bytes.size());
    AppendU32(frame, kAnswerMagic);
    AppendU32(frame, static_cast<std::uint32_t>(status));
    AppendU32(frame, static_cast<std::uint32_t>(bytes.size()));
    frame.insert(frame.end(), bytes.begin(), bytes.end());
    return frame;
}

devio::FrameStatus DecodeAnswer(std::span<const std::uint8_t> bytes, Answer& answer) {
    if (bytes.size() < kAnswerHeaderSize) {
        return devio::FrameStatus::Incomplete;
    }
    const std::uint32_t length = GetU32(bytes.data() + 8);
    if (GetU32(bytes.data()) != kAnswerMagic || length > kMaxFrameBytes) {
        return devio::FrameStatus::Malformed;
    }
    if (bytes.size() - kAnswerHeaderSize < length) {
        return devio::FrameStatus::Incomplete;
    }
    answer.status = static_cast<HRESULT>(GetU32(bytes.data() + 4));
    answer.bytes = bytes.subspan(kAnswerHeaderSize, length);
    answer.size = kAnswerHeaderSize + length;
    return devio::FrameStatus::Complete;
}

std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (const char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

std::optional<std::u16string> FromUtf16Bytes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() % 2 != 0) {
        return std::nullopt;
    }
    std::u16string text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return text;
}

std::vector<std::uint8_t> EncodeQueryInput(std::u16string_view language,
                                           std::u16string_view query) {
    std::vector<std::uint8_t> input;
    AppendU32(input, static_cast<std::uint32_t>(language.size()));
    const auto l = Utf16Bytes(language);
    const auto q = Utf16Bytes(query);
    input.insert(input.end(), l.begin(), l.end());
    input.insert(input.end(), q.begin(), q.end());
    return input;
}

bool DecodeQueryInput(std::span<const std::uint8_t> input, std::u16string& language,
                      std::u16string& query) {
    Reader reader(input);
    std::uint32_t units = 0;
    std::span<const std::uint8_t> l;
    if (!reader.U32(units) || units > reader.Left() / 2 || !reader.Bytes(2u * units, l)) {
        return false;
    }
    std::span<const std::uint8_t> q;
    if (!reader.Bytes(reader.Left(), q)) {
        return false;
    }
    const auto lt = FromUtf16Bytes(l);
    const auto qt = FromUtf16Bytes(q);
    if (!lt || !qt) {
        return false;
    }
    language = *lt;
    query = *qt;
    return true;
}

std::vector<std::uint8_t> EncodeQueryResult(const QueryResult& result) {
    std::vector<std::uint8_t> out;
    AppendU32(out, static_cast<std::uint32_t>(result.instances.size()));
    AppendU32(out, static_cast<std::uint32_t>(result.endStatus));
    for (const Instance& instance : result.instances) {
        AppendU32(out, static_cast<std::uint32_t>(instance.properties.size()));
        for (const Property& p : instance.properties) {
            out.push_back(static_cast<std::uint8_t>(p.name.size() & 0xFF));
            out.push_back(static_cast<std::uint8_t>(p.name.size() >> 8));
            out.insert(out.end(), p.name.begin(), p.name.end());
            out.push_back(static_cast<std::uint8_t>(p.kind));
            if (p.kind == Property::Kind::Text) {
                AppendU32(out, static_cast<std::uint32_t>(p.text.size()));
                const auto bytes = Utf16Bytes(p.text);
                out.insert(out.end(), bytes.begin(), bytes.end());
            } else {
                AppendU32(out, p.number);
            }
        }
    }
    return out;
}

std::optional<QueryResult> DecodeQueryResult(std::span<const std::uint8_t> bytes) {
    Reader reader(bytes);
    QueryResult result;
    std::uint32_t count = 0;
    std::uint32_t end = 0;
    if (!reader.U32(count) || !reader.U32(end)) {
        return std::nullopt;
    }
    result.endStatus = static_cast<HRESULT>(end);
    // Each instance takes at least its 4-byte count: a larger count cannot be true.
    if (count > reader.Left() / 4) {
        return std::nullopt;
    }
    result.instances.resize(count);
    for (Instance& instance : result.instances) {
        std::uint32_t properties = 0;
        if (!reader.U32(properties) || properties > reader.Left() / 7) {
            return std::nullopt;
        }
        instance.properties.resize(properties);
        for (Property& p : instance.properties) {
            std::uint16_t nameLength = 0;
            std::span<const std::uint8_t> name;
            std::uint8_t kind = 0;
            std::uint32_t value = 0;
            if (!reader.U16(nameLength) || !reader.Bytes(nameLength, name) || !reader.U8(kind) ||
                !reader.U32(value)) {
                return std::nullopt;
            }
            p.name.assign(name.begin(), name.end());
            if (kind == static_cast<std::uint8_t>(Property::Kind::Text)) {
                std::span<const std::uint8_t> text;
                if (value > reader.Left() / 2 || !reader.Bytes(2u * value, text)) {
                    return std::nullopt;
                }
                p.kind = Property::Kind::Text;
                p.text = *FromUtf16Bytes(text);
            } else if (kind == static_cast<std::uint8_t>(Property::Kind::Number) ||
                       kind == static_cast<std::uint8_t>(Property::Kind::Failure)) {
                p.kind = static_cast<Property::Kind>(kind);
                p.number = value;
            } else {
                return std::nullopt;
            }
        }
    }
    if (reader.Left() != 0) {
        return std::nullopt;
    }
    return result;
}

std::string ToAnsi(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            ++i;  // one character outside the code page, written in two code units
            out.push_back('?');
        } else if (c <= 0xFF) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('?');
        }
    }
    return out;
}

std::u16string FromAscii(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const unsigned char c : text) {
        out.push_back(static_cast<char16_t>(c));
    }
    return out;
}

}  // namespace platform::wmi
