// SPDX-License-Identifier: MIT
#pragma once
// A unit's port as the command line names it: a COM number ("7", "COM7", "com7") or a device path
// ("/dev/ttyUSB0" on Linux, "\\.\COM7" on Windows, or a network port's URL, rfc2217://HOST:PORT),
// which is opened as it is, with no port map.

#include <string>

namespace cli {

struct PortSpec {
    int number = 0;          // 1 to 255; 0 when the port is named by its device path
    std::string devicePath;  // when it is named so
    // "COM7", or the device path.
    std::string Name() const;
    // The COM number it names, written as a number or, on Windows, as a device path (\\.\COM7);
    // 0 for another device path.
    int ComNumberNamed() const;
    // Whether both name the same port: the same COM number, however written, or the same path.
    bool SamePort(const PortSpec& other) const;
    bool operator==(const PortSpec&) const = default;
};

// Reads one port argument; false with the reason, which names the argument, when it is none.
// Anything with a path separator in it is a device path.
bool ParsePortSpec(const std::string& text, PortSpec& port, std::string& error);

}  // namespace cli
