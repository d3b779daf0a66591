// SPDX-License-Identifier: MIT
#pragma once
// The serial ports present on this computer, as COM numbers: on Windows the system's list of
// serial ports, on Linux the COM port map.

#include <string>
#include <vector>

#include "platform/portname.h"

namespace platform {

struct SerialPortEntry {
    std::string name;     // the port's text as the system lists it, "COM3"
    std::string device;   // what stands behind it: a device path, or the system's device name
    bool present = true;  // false: the number is kept for a device that is not there now
};

// The ports present now, in the system's order; read once per call. On Linux serial devices that
// have no COM number yet get one first.
std::vector<SerialPortEntry> EnumerateSerialPorts();

// The same, followed by the numbers kept for devices that are absent now (Linux: links of the port
// map whose device is unplugged), each with the device it names. Windows lists only the ports its
// registry holds, which are all present, so there this is EnumerateSerialPorts.
std::vector<SerialPortEntry> EnumerateSerialPortsWithAbsent();

// The COM number that a device path names by itself: on Windows \\.\COM7 however it is written
// (COM in any letter case, / for \, \\?\ for \\.\); 0 for any other path, and for every path on
// Linux, where a path is opened as it is and the numbers come from the port map.
int ComNumberOfDevicePath(const std::string& path);

}  // namespace platform
