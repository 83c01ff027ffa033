#include "terminal/dialogs/socket_names.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "terminal/dialogs/port_range.h"
#include "terminal/session/decimal_text.h"
#include "terminal/session/port_name.h"

namespace {

constexpr std::size_t kLongestDottedQuad = 15;

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One part of a dotted quad in C notation; nothing when it is not a number or beyond 255.
std::optional<std::uint32_t> AddressPart(std::string_view part) {
    if (part.empty() || part.front() < '0' || part.front() > '9')
        return std::nullopt;
    std::uint32_t base = 10;
    std::size_t i = 0;
    if (part.size() > 1 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
        base = 16;
        i = 2;
        if (i == part.size())
            return std::nullopt;
    } else if (part[0] == '0') {
        base = 8;
    }
    std::uint32_t value = 0;
    for (; i < part.size(); ++i) {
        const int digit = HexDigitValue(part[i]);
        if (digit < 0 || static_cast<std::uint32_t>(digit) >= base)
            return std::nullopt;
        value = value * base + static_cast<std::uint32_t>(digit);
        // Checked at every digit, so a long run of digits cannot wrap round.
        if (value > 255)
            return std::nullopt;
    }
    return value;
}

// The address of a four-part dotted text, in host order; nothing when a part is not a number.
std::optional<std::uint32_t> DottedQuadValue(std::string_view text) {
    std::uint32_t address = 0;
    for (int n = 0; n < 4; ++n) {
        const std::size_t dot = text.find('.');
        const bool lastPart = n == 3;
        if (lastPart != (dot == std::string_view::npos))
            return std::nullopt;
        const std::optional<std::uint32_t> part = AddressPart(text.substr(0, dot));
        if (!part)
            return std::nullopt;
        address = (address << 8) | *part;
        text = lastPart ? std::string_view{} : text.substr(dot + 1);
    }
    return address;
}

}  // namespace

bool IsValidSocketIp(std::string_view text) {
    if (text.size() > kLongestDottedQuad)
        return false;
    if (std::count(text.begin(), text.end(), '.') != 3)
        return false;
    const std::optional<std::uint32_t> address = DottedQuadValue(text);
    // 255.255.255.255 in any notation is the conversion's failure value.
    if (!address || *address == 0xFFFFFFFFu)
        return false;
    const std::string_view hostPart = text.substr(text.rfind('.') + 1);
    return hostPart != "0" && hostPart != "255";
}

bool SocketPortRun(std::string_view fromPort, std::string_view toPort, std::vector<int>& ports) {
    ports.clear();
    if (fromPort.empty())
        return false;
    // The two fields hold digits only, so the run "from-to" read as a range item is the run of
    // the two numbers; reading the numbers directly keeps a stray sign from turning into a
    // hyphen.
    const int from = LeadingDecimalValue(fromPort);
    const int to = toPort.empty() ? from : LeadingDecimalValue(toPort);
    const bool ok = AppendPortRun(from, to > from ? to : from, ports);
    if (!ok)
        ports.clear();
    return ok;
}

std::vector<std::string> BuildSocketPortNames(std::string_view ipAddress,
                                              const std::vector<int>& ports, bool secure,
                                              std::string_view clientCertificate,
                                              std::string_view serverCertificate) {
    std::vector<std::string> names;
    names.reserve(ports.size());
    for (auto port = ports.rbegin(); port != ports.rend(); ++port) {
        names.push_back(
            secure ? MakeTlsPortName(ipAddress, *port, clientCertificate, serverCertificate)
                   : MakeTcpPortName(ipAddress, *port));
    }
    return names;
}
