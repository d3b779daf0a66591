// SPDX-License-Identifier: MIT
#include "ports/portname.h"

#include <charconv>
#include <cstdlib>
#include <utility>

namespace platform {
namespace {

constexpr std::string_view kComPrefix = "com";
constexpr std::string_view kDeviceNamespace = "\\\\.\\";
constexpr std::string_view kTelnetScheme = "rfc2217://";
constexpr std::string_view kSocketScheme = "socket://";

// Removes a leading prefix (written in lower case) in any letter case; false when there is none.
bool SkipPrefixNoCase(std::string_view& text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (c != prefix[i]) return false;
    }
    text.remove_prefix(prefix.size());
    return true;
}

bool SkipComPrefix(std::string_view& text) {
    return SkipPrefixNoCase(text, kComPrefix);
}

}  // namespace

std::string ComName(int port) {
    return "COM" + std::to_string(port);
}

std::string DeviceNamespacePath(int port) {
    return std::string(kDeviceNamespace) + ComName(port);
}

int PortOfListedName(const std::string& name) {
    const int port = name.size() < 4 ? 0 : std::atoi(name.c_str() + 3);
    return IsComPortNumber(port) ? port : 0;
}

bool IsTelnetPortPath(std::string_view path) {
    return SkipPrefixNoCase(path, kTelnetScheme);
}

bool IsNetworkPortPath(std::string_view path) {
    return IsTelnetPortPath(path) || SkipPrefixNoCase(path, kSocketScheme);
}

bool ReadNetworkPortUrl(std::string_view path, NetworkPortUrl& url) {
    NetworkPortUrl read;
    read.telnet = SkipPrefixNoCase(path, kTelnetScheme);
    if (!read.telnet && !SkipPrefixNoCase(path, kSocketScheme)) return false;
    const size_t colon = path.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    std::string_view host = path.substr(0, colon);
    const std::string_view port = path.substr(colon + 1);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') return false;
        host = host.substr(1, host.size() - 2);
    } else if (host.find_first_of(":/[]") != std::string_view::npos) {
        return false;
    }
    int number = 0;
    const auto [stop, failed] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (port.empty() || port.size() > 5 || port.front() == '-' || stop != port.data() + port.size() ||
        failed != std::errc() || number < 1 || number > 65535) {
        return false;
    }
    read.host = host;
    read.port = port;
    url = std::move(read);
    return true;
}

int ComNumberOfWindowsPath(std::string_view path) {
    const auto separator = [](char c) { return c == '\\' || c == '/'; };
    if (path.size() < 5 || !separator(path[0]) || !separator(path[1]) || (path[2] != '.' && path[2] != '?') ||
        !separator(path[3])) {
        return 0;
    }
    int port = 0;
    return ReadPortNumber(std::string(kDeviceNamespace) + std::string(path.substr(4)), port) == PortText::Port
               ? port
               : 0;
}

PortText ReadPortNumber(std::string_view text, int& port) {
    const bool deviceNamespace = text.starts_with(kDeviceNamespace);
    if (deviceNamespace) text.remove_prefix(kDeviceNamespace.size());
    if (!SkipComPrefix(text) && deviceNamespace) return PortText::NotANumber;
    int number = 0;
    const auto [stop, failed] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || stop != text.data() + text.size() ||
        (failed != std::errc() && failed != std::errc::result_out_of_range)) {
        return PortText::NotANumber;
    }
    if (failed != std::errc() || !IsComPortNumber(number)) return PortText::OutOfRange;
    port = number;
    return PortText::Port;
}

}  // namespace platform
