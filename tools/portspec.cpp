// SPDX-License-Identifier: MIT
#include "tools/portspec.h"

#include "ports/portlist.h"
#include "ports/portname.h"

namespace cli {

std::string PortSpec::Name() const {
    return number != 0 ? platform::ComName(number) : devicePath;
}

int PortSpec::ComNumberNamed() const {
    return number != 0 ? number : platform::ComNumberOfDevicePath(devicePath);
}

bool PortSpec::SamePort(const PortSpec& other) const {
    const int com = ComNumberNamed();
    return com != 0 ? com == other.ComNumberNamed() : devicePath == other.devicePath;
}

bool ParsePortSpec(const std::string& text, PortSpec& port, std::string& error) {
    platform::NetworkPortUrl url;
    if (platform::IsNetworkPortPath(text) && !platform::ReadNetworkPortUrl(text, url)) {
        error = "port \"" + text + "\": " + platform::kNetworkPortUrlForm;
        return false;
    }
    if (text.find_first_of("/\\") != std::string::npos) {
        port = {0, text};
        return true;
    }
    int number = 0;
    const platform::PortText read = platform::ReadPortNumber(text, number);
    if (read == platform::PortText::NotANumber) {
        error = "port \"" + text +
                "\": give a COM number (7, COM7) or a device path (/dev/ttyUSB0, \\\\.\\COM7, "
                "rfc2217://HOST:PORT)";
        return false;
    }
    if (read == platform::PortText::OutOfRange) {
        error = "port \"" + text + "\": COM numbers run from " + std::to_string(platform::kLowestComPort) +
                " to " + std::to_string(platform::kHighestComPort);
        return false;
    }
    port = {number, ""};
    return true;
}

}  // namespace cli
