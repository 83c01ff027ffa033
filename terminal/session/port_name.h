#pragma once
// The text that names a port, in its three forms: a serial port "COM<n>", a TCP socket
// "<address>:<port>" and a TLS socket "<address>:<port>:SSL:<client cert>:<server cert>".
// It is the title of the port's frame and all a port window is told about its port.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class PortKind { Serial, Socket };

// The shortest socket name (a one-digit-per-part address and a one-digit port) has 9
// characters and the longest serial name the program makes has 8.
constexpr std::size_t kShortestSocketPortName = 9;

PortKind PortKindOf(std::string_view portName);

// The number of a serial port: every "COM" removed from the name, then the leading decimal
// digits of the rest ("COM" alone, "COM0" and names without digits give 0). A number of 0 or
// less names no device and its open fails.
int SerialPortNumber(std::string_view portName);

// The fields of a socket name, split at its colons.
struct SocketPortName {
    std::string ipAddress;          // before the first ':'; empty when there is none
    std::string portText;           // between the first and second ':' (or to the end)
    bool tlsEnabled = false;        // the name has a second ':'
    std::string protocol;           // the field after the second ':'; not compared with anything
    std::string clientCertificate;  // between the third and fourth ':'
    std::string serverCertificate;  // after the fourth ':', colons included
};

SocketPortName SplitSocketPortName(std::string_view portName);

// The message box of a socket port whose port text is not a TCP port number (icon MB_ICONHAND);
// the open then fails.
inline constexpr const char* kInvalidSocketPortText = "Invalid Socket Port!";
inline constexpr const char* kInvalidSocketPortCaption = "Data Error...";

// The TCP port of a socket name's port text. The text must be wholly a decimal number, and the
// number a port one can connect to (1..65535); anything else gives nothing and the caller shows
// the message above.
std::optional<std::uint16_t> SocketPortNumber(std::string_view portText);

// The three forms as the program builds them.
std::string MakeSerialPortName(int portNumber);
std::string MakeTcpPortName(std::string_view ipAddress, int tcpPort);
std::string MakeTlsPortName(std::string_view ipAddress, int tcpPort,
                            std::string_view clientCertificate, std::string_view serverCertificate);
