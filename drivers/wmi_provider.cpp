#include "drivers/wmi_provider.h"

#include <algorithm>
#include <charconv>

namespace portcount {

namespace {

namespace wmi = platform::wmi;
using platform::HRESULT;

bool SameIgnoringCase(std::u16string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](unsigned c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(a[i]) != lower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// The words of a query, split at blanks; empty when it holds a character outside ASCII.
std::vector<std::u16string_view> QueryWords(std::u16string_view text) {
    std::vector<std::u16string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() &&
               (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\r' || text[i] == u'\n')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < text.size() && text[i] != u' ' && text[i] != u'\t' && text[i] != u'\r' &&
               text[i] != u'\n') {
            if (text[i] > 0x7E) {
                return {};
            }
            ++i;
        }
        if (i > start) {
            words.push_back(text.substr(start, i - start));
        }
    }
    return words;
}

bool ParseNumber(std::string_view text, std::uint64_t& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    return ec == std::errc() && ptr == end && !text.empty();
}

bool ParseCode(std::string_view text, HRESULT& hr) {
    std::uint64_t value = 0;
    if (!ParseNumber(text, value) || value > 0xFFFFFFFFu) {
        return false;
    }
    hr = static_cast<HRESULT>(static_cast<std::uint32_t>(value));
    return true;
}

wmi::Property Number(const char* name, std::uint32_t value) {
    wmi::Property p;
    p.name = name;
    p.kind = wmi::Property::Kind::Number;
    p.number = value;
    return p;
}

}  // namespace

HRESULT WmiProvider::Take(Failure& failure) {
    if (failure.hr == 0 || failure.times == 0) {
        return 0;
    }
    if (failure.times > 0) {
        --failure.times;
    }
    return failure.hr;
}

HRESULT WmiProvider::CheckQuery(std::span<const std::uint8_t> input) const {
    std::u16string language;
    std::u16string query;
    if (!wmi::DecodeQueryInput(input, language, query)) {
        return platform::WBEM_E_INVALID_PARAMETER;
    }
    if (!SameIgnoringCase(language, "WQL")) {
        return platform::WBEM_E_INVALID_QUERY_TYPE;
    }
    const auto words = QueryWords(query);
    if (words.size() != 4 || !SameIgnoringCase(words[0], "SELECT") || words[1] != u"*" ||
        !SameIgnoringCase(words[2], "FROM")) {
        return platform::WBEM_E_INVALID_QUERY;
    }
    // Without Zenith ports the driver is not there, and neither is its class.
    if (!SameIgnoringCase(words[3], kWmiClass) || card_.PortCount(Family::Zenith) == 0) {
        return platform::WBEM_E_INVALID_CLASS;
    }
    return 0;
}

wmi::QueryResult WmiProvider::Instances(SteadyTime now) {
    std::vector<DriverCard::NamedCounters> ports = card_.ZenithCounters(now);
    // The ports the order names come first, in its order; the others keep theirs.
    std::stable_sort(ports.begin(), ports.end(), [&](const auto& a, const auto& b) {
        const auto rank = [&](const std::string& name) {
            const auto it = std::find(order_.begin(), order_.end(), name);
            return static_cast<std::size_t>(it - order_.begin());
        };
        return rank(a.name) < rank(b.name);
    });
    wmi::QueryResult result;
    for (const auto& [name, c] : ports) {
        if (hidden_.contains(name)) {
            continue;
        }
        wmi::Instance instance;
        wmi::Property portName;
        portName.name = "PortName";
        portName.kind = wmi::Property::Kind::Text;
        portName.text = wmi::FromAscii(std::string(kDosDevicesPrefix) + name);
        instance.properties = {portName,
                               Number("TransmittedCount", c.tx),
                               Number("ReceivedCount", c.rx),
                               Number("FrameErrorCount", c.framing),
                               Number("SerialOverrunErrorCount", c.overrun),
                               Number("BufferOverrunErrorCount", c.bufferOverrun),
                               Number("ParityErrorCount", c.parity),
                               Number("Status_Flags", c.flags)};
        if (const auto it = omitted_.find(name); it != omitted_.end()) {
            for (const auto& omission : it->second) {
                // Named, not a structured binding: a lambda cannot capture one in C++20.
                const auto& property = omission.first;
                const auto hr = omission.second;
                auto& list = instance.properties;
                const auto at = std::find_if(list.begin(), list.end(),
                                             [&](const auto& p) { return p.name == property; });
                if (at == list.end()) {
                    continue;
                }
                if (hr == platform::WBEM_E_NOT_FOUND) {
                    list.erase(at);
                } else {
                    at->kind = wmi::Property::Kind::Failure;
                    at->number = static_cast<std::uint32_t>(hr);
                    at->text.clear();
                }
            }
        }
        result.instances.push_back(std::move(instance));
    }
    return result;
}

std::vector<std::uint8_t> WmiProvider::Answer(const wmi::Request& request, SteadyTime now) {
    if (request.op == wmi::kOpConnect) {
        ++connects_;
        if (const HRESULT hr = Take(connectFailure_); hr != 0) {
            return wmi::EncodeAnswer(hr, {});
        }
        const auto ns = wmi::FromUtf16Bytes(request.input);
        if (!ns || !(SameIgnoringCase(*ns, kWmiNamespace) ||
                     SameIgnoringCase(*ns, std::string("\\\\.\\") + kWmiNamespace))) {
            return wmi::EncodeAnswer(platform::WBEM_E_INVALID_NAMESPACE, {});
        }
        return wmi::EncodeAnswer(0, {});
    }
    if (request.op != wmi::kOpQuery) {
        return wmi::EncodeAnswer(platform::WBEM_E_INVALID_PARAMETER, {});
    }
    ++queries_;
    if (const HRESULT hr = Take(queryFailure_); hr != 0) {
        return wmi::EncodeAnswer(hr, {});
    }
    if (const DWORD code = card_.FailCode(Family::Zenith); code != 0) {
        return wmi::EncodeAnswer(static_cast<HRESULT>(code), {});
    }
    if (const HRESULT hr = CheckQuery(request.input); hr != 0) {
        return wmi::EncodeAnswer(hr, {});
    }
    wmi::QueryResult result;
    if (const HRESULT hr = Take(nextFailure_); hr != 0) {
        result.endStatus = hr;  // the first Next fails
    } else {
        result = Instances(now);
    }
    return wmi::EncodeAnswer(0, wmi::EncodeQueryResult(result));
}

bool WmiProvider::IsPort(std::string_view name) const {
    return card_.HasPort(Family::Zenith, name);
}

std::string WmiProvider::Control(std::string_view line) {
    const auto words = SplitWords(line);
    const std::string_view verb = words.size() > 1 ? words[1] : std::string_view{};
    const auto noPort = [](std::string_view name) {
        return "error: no zenith port " + std::string(name);
    };
    if (verb == "fail") {
        HRESULT hr = 0;
        std::uint64_t times = 0;
        Failure* failure = nullptr;
        if (words.size() >= 4) {
            failure = words[2] == "connect" ? &connectFailure_
                      : words[2] == "query" ? &queryFailure_
                      : words[2] == "next"  ? &nextFailure_
                                            : nullptr;
        }
        if (failure == nullptr || words.size() > 5 || !ParseCode(words[3], hr) ||
            (words.size() == 5 && (!ParseNumber(words[4], times) || times > 1000000))) {
            return "error: usage: wmi fail connect|query|next CODE [COUNT]";
        }
        *failure = {hr, words.size() == 5 ? static_cast<int>(times) : -1};
        return "ok";
    }
    if (verb == "order") {
        for (std::size_t i = 2; i < words.size(); ++i) {
            if (!IsPort(words[i])) {
                return noPort(words[i]);
            }
        }
        order_.assign(words.begin() + 2, words.end());
        return "ok";
    }
    if (verb == "hide" || verb == "show") {
        if (words.size() != 3) {
            return "error: usage: wmi hide PORT | wmi show PORT|all";
        }
        if (verb == "show" && words[2] == "all") {
            hidden_.clear();
            omitted_.clear();
            return "ok";
        }
        if (!IsPort(words[2])) {
            return noPort(words[2]);
        }
        if (verb == "hide") {
            hidden_.emplace(words[2]);
        } else {
            hidden_.erase(std::string(words[2]));
            omitted_.erase(std::string(words[2]));
        }
        return "ok";
    }
    if (verb == "omit") {
        HRESULT hr = platform::WBEM_E_NOT_FOUND;
        if (words.size() < 4 || words.size() > 5 ||
            (words.size() == 5 && !ParseCode(words[4], hr))) {
            return "error: usage: wmi omit PORT PROPERTY [CODE]";
        }
        if (!IsPort(words[2])) {
            return noPort(words[2]);
        }
        omitted_[std::string(words[2])][std::string(words[3])] = hr;
        return "ok";
    }
    if (verb == "delay") {
        std::uint64_t ms = 0;
        if (words.size() != 3 || !ParseNumber(words[2], ms) || ms > 600000) {
            return "error: usage: wmi delay MS (at most 600000)";
        }
        delay_ = std::chrono::milliseconds(ms);
        return "ok";
    }
    if (verb == "stats" && words.size() == 2) {
        return "ok connects=" + std::to_string(connects_) + " queries=" + std::to_string(queries_);
    }
    if (verb == "reset" && words.size() == 2) {
        connectFailure_ = queryFailure_ = nextFailure_ = {};
        order_.clear();
        hidden_.clear();
        omitted_.clear();
        delay_ = std::chrono::milliseconds(0);
        return "ok";
    }
    return "error: usage: wmi fail|order|hide|show|omit|delay|stats|reset ...";
}

}  // namespace portcount
