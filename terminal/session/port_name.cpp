#include "terminal/session/port_name.h"

#include "terminal/session/decimal_text.h"

PortKind PortKindOf(std::string_view portName) {
    return portName.size() < kShortestSocketPortName ? PortKind::Serial : PortKind::Socket;
}

int SerialPortNumber(std::string_view portName) {
    // One left-to-right pass: what two removed halves join into is not removed again.
    constexpr std::string_view kCom = "COM";
    std::string rest;
    rest.reserve(portName.size());
    std::size_t i = 0;
    while (i < portName.size()) {
        if (portName.substr(i, kCom.size()) == kCom) {
            i += kCom.size();
        } else {
            rest.push_back(portName[i++]);
        }
    }
    return LeadingDecimalValue(rest);
}

SocketPortName SplitSocketPortName(std::string_view portName) {
    SocketPortName fields;
    const std::size_t i1 = portName.find(':');
    if (i1 == std::string_view::npos) {
        fields.portText = std::string(portName);
        return fields;
    }
    fields.ipAddress = std::string(portName.substr(0, i1));

    const std::size_t i2 = portName.find(':', i1 + 1);
    if (i2 == std::string_view::npos) {
        fields.portText = std::string(portName.substr(i1 + 1));
        return fields;
    }
    fields.portText = std::string(portName.substr(i1 + 1, i2 - i1 - 1));
    fields.tlsEnabled = true;

    // A TLS name cut short leaves the missing certificate names empty.
    const std::size_t i3 = portName.find(':', i2 + 1);
    if (i3 == std::string_view::npos) {
        fields.protocol = std::string(portName.substr(i2 + 1));
        return fields;
    }
    fields.protocol = std::string(portName.substr(i2 + 1, i3 - i2 - 1));

    const std::size_t i4 = portName.find(':', i3 + 1);
    if (i4 == std::string_view::npos) {
        fields.clientCertificate = std::string(portName.substr(i3 + 1));
        return fields;
    }
    fields.clientCertificate = std::string(portName.substr(i3 + 1, i4 - i3 - 1));
    fields.serverCertificate = std::string(portName.substr(i4 + 1));
    return fields;
}

std::optional<std::uint16_t> SocketPortNumber(std::string_view portText) {
    const std::optional<std::int64_t> value = WholeDecimalValue(portText);
    // Port 0 is no peer's port, and a number beyond 16 bits must not wrap onto another port.
    if (!value || *value < 1 || *value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(*value);
}

std::string MakeSerialPortName(int portNumber) {
    return "COM" + std::to_string(portNumber);
}

std::string MakeTcpPortName(std::string_view ipAddress, int tcpPort) {
    std::string name(ipAddress);
    name += ':';
    name += std::to_string(tcpPort);
    return name;
}

std::string MakeTlsPortName(std::string_view ipAddress, int tcpPort,
                            std::string_view clientCertificate,
                            std::string_view serverCertificate) {
    std::string name = MakeTcpPortName(ipAddress, tcpPort);
    name += ":SSL:";
    name += clientCertificate;
    name += ':';
    name += serverCertificate;
    return name;
}
