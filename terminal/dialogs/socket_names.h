#pragma once
// The socket side of the Open Ports dialog: the address check, the run of socket port numbers
// from the "From Port" and "To Port" fields and the port names of the socket windows.

#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kInvalidSocketIpText = "Invalid Socket IP!";
inline constexpr const char* kSocketPortNullText = "Socket Port is NULL!";

// True for a dotted IPv4 address a socket window may connect to:
// 1. at most 15 characters (the longest dotted quad);
// 2. an address as the system's address conversion reads it, and not 255.255.255.255 (that
//    conversion's failure value);
// 3. exactly three "." characters;
// 4. the text after the third "." is not exactly "0" or "255" (network and broadcast host
//    parts), so a host part written "00" or "010" passes.
// With three dots only the four-part form is left, and it is read as the address conversion
// reads it: each part is decimal, octal with a leading 0 ("010" is 8) or hexadecimal after
// "0x"/"0X", at most 255, and begins with a digit. Unlike the conversion, nothing may follow the
// last part (it would ignore text after a white space, which would then end up in the port's
// name) and "0x" without a hex digit is not a number. Host names are never accepted.
bool IsValidSocketIp(std::string_view text);

// The socket port numbers of the two fields, appended to `ports` (emptied first): with `toPort`
// empty the number of `fromPort` alone; with the number of `toPort` greater than the number of
// `fromPort` the run from..to read as a range item "from-to"; otherwise the number of `fromPort`
// alone. Numbers are read as atoi reads them. Refused (false, `ports` left empty) for an empty
// `fromPort` (the caller says kSocketPortNullText first) and beyond the limits of a range text:
// a number above 99999 or a run of more than 1024 ports.
bool SocketPortRun(std::string_view fromPort, std::string_view toPort, std::vector<int>& ports);

// One socket port name per element of `ports`, from the last element to the first, so a run
// comes out highest port first: "<address>:<port>", or with `secure`
// "<address>:<port>:SSL:<client certificate>:<server certificate>" (empty names stay empty).
std::vector<std::string> BuildSocketPortNames(std::string_view ipAddress,
                                              const std::vector<int>& ports, bool secure,
                                              std::string_view clientCertificate,
                                              std::string_view serverCertificate);
