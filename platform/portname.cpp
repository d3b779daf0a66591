// SPDX-License-Identifier: MIT
#include "platform/portname.h"

#include <charconv>
#include <climits>

namespace platform {
namespace {

constexpr std::string_view kComPrefix = "com";
constexpr std::string_view kDeviceNamespace = "\\\\.\\";

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

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

int PortOfListedName(std::string_view name) {
    if (name.size() < 4) return 0;
    name.remove_prefix(3);
    while (!name.empty() && IsSpace(name.front())) name.remove_prefix(1);
    const bool negative = !name.empty() && name.front() == '-';
    if (!name.empty() && (name.front() == '-' || name.front() == '+')) name.remove_prefix(1);
    // Past the range is past it however many digits follow.
    long long number = 0;
    for (; !name.empty() && IsDigit(name.front()) && number <= INT_MAX; name.remove_prefix(1))
        number = number * 10 + (name.front() - '0');
    const long long port = negative ? -number : number;
    return port >= kLowestComPort && port <= kHighestComPort ? static_cast<int>(port) : 0;
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
