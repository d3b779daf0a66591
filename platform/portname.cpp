// SPDX-License-Identifier: MIT
#include "platform/portname.h"

#include <charconv>
#include <cstdlib>

namespace platform {
namespace {

constexpr std::string_view kComPrefix = "com";
constexpr std::string_view kDeviceNamespace = "\\\\.\\";

// Removes a leading "com" in any letter case; false when there is none.
bool SkipComPrefix(std::string_view& text) {
    if (text.size() < kComPrefix.size()) return false;
    for (size_t i = 0; i < kComPrefix.size(); ++i) {
        if ((text[i] | 0x20) != kComPrefix[i]) return false;
    }
    text.remove_prefix(kComPrefix.size());
    return true;
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
