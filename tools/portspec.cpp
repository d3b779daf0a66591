// SPDX-License-Identifier: MIT
#include "tools/portspec.h"

#include <cctype>
#include <charconv>
#include <cstdlib>

#include "platform/portlist.h"

namespace cli {

std::string PortSpec::Name() const {
    return number != 0 ? "COM" + std::to_string(number) : devicePath;
}

int PortSpec::ComNumberNamed() const {
    return number != 0 ? number : platform::ComNumberOfDevicePath(devicePath);
}

bool PortSpec::SamePort(const PortSpec& other) const {
    const int com = ComNumberNamed();
    return com != 0 ? com == other.ComNumberNamed() : devicePath == other.devicePath;
}

int ComNumber(const std::string& name) {
    return name.size() > 3 ? std::atoi(name.c_str() + 3) : 0;
}

bool ParsePortSpec(const std::string& text, PortSpec& port, std::string& error) {
    if (text.find_first_of("/\\") != std::string::npos) {
        port = {0, text};
        return true;
    }
    std::string head = text.substr(0, 3);
    for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool prefixed = head == "com";
    const char* digits = text.data() + (prefixed ? 3 : 0);
    const char* const end = text.data() + text.size();
    int number = 0;
    const auto [stop, failed] = std::from_chars(digits, end, number);
    if (stop != end || digits == end || (failed != std::errc() && failed != std::errc::result_out_of_range)) {
        error =
            "port \"" + text + "\": give a COM number (7, COM7) or a device path (/dev/ttyUSB0, \\\\.\\COM7)";
        return false;
    }
    if (failed != std::errc() || !platform::IsComPortNumber(number)) {
        error = "port \"" + text + "\": COM numbers run from " + std::to_string(platform::kLowestComPort) +
                " to " + std::to_string(platform::kHighestComPort);
        return false;
    }
    port = {number, ""};
    return true;
}

}  // namespace cli
