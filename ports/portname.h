// SPDX-License-Identifier: MIT
#pragma once
// COM port numbers and the texts that name them. Plain text on every system: the Windows spelling
// of a port's device is read and written here too.

#include <string>
#include <string_view>

namespace platform {

// COM port numbers run from 1 to 255, as on Windows; there is no port 0.
inline constexpr int kLowestComPort = 1;
inline constexpr int kHighestComPort = 255;
inline constexpr bool IsComPortNumber(int port) {
    return port >= kLowestComPort && port <= kHighestComPort;
}

// "COM7".
std::string ComName(int port);

// "\\.\COM7": the port's device in the Windows device namespace.
std::string DeviceNamespacePath(int port);

// The number in a port's text as the system lists it ("COM3" -> 3): the first three characters
// are skipped unread and the rest is read by atoi. 0 when the text is shorter than four characters
// or the number is outside 1..255.
int PortOfListedName(const std::string& name);

// Whether a device path names a network port, rfc2217://HOST:PORT or socket://HOST:PORT: the
// scheme alone decides, in any letter case. The first is Telnet with serial port control.
bool IsNetworkPortPath(std::string_view path);
bool IsTelnetPortPath(std::string_view path);

// A network port's URL taken apart.
struct NetworkPortUrl {
    bool telnet = false;  // rfc2217://; else socket://
    std::string host;     // a name, an IPv4 address, or an IPv6 address without its brackets
    std::string port;     // 1 to 65535, in digits
};
// Reads "rfc2217://HOST:PORT" or "socket://HOST:PORT", HOST an IPv6 address in brackets ([::1]);
// false for anything else, a URL without its port number included.
bool ReadNetworkPortUrl(std::string_view path, NetworkPortUrl& url);
// What a network port's URL must look like, for a message about one that does not.
inline constexpr const char* kNetworkPortUrlForm =
    "give rfc2217://HOST:PORT or socket://HOST:PORT (an IPv6 address in brackets, PORT 1 to 65535)";

// The COM number of a Windows device path, \\.\COM7 however it is written (COM in any letter
// case, / for \, \\?\ for \\.\); 0 for any other path.
int ComNumberOfWindowsPath(std::string_view path);

enum class PortText {
    Port,        // a port number in 1..255
    NotANumber,  // no COM number at all
    OutOfRange,  // a whole number outside 1..255
};

// A port as a person writes it: "7", "COM7" or "com7" (the prefix in any letter case), or the
// device's Windows spelling "\\.\COM7". Only whole digits count, without blanks; port is set on
// Port only.
PortText ReadPortNumber(std::string_view text, int& port);

}  // namespace platform
