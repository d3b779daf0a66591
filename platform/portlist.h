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

// What a listing may do on Linux, where the port map is a folder of the user's: number the serial
// devices that have no COM number yet (and drop the links of owners that have ended), or only
// read it, so that something that merely looks (a shell's completion) changes nothing. Windows
// lists what its registry holds either way.
enum class PortListing { NumberNewDevices, ReadOnly };

// The ports present now, in the system's order; read once per call.
std::vector<SerialPortEntry> EnumerateSerialPorts(PortListing listing = PortListing::NumberNewDevices);

// The same, followed by the numbers kept for devices that are absent now (Linux: links of the port
// map whose device is unplugged), each with the device it names. Windows lists only the ports its
// registry holds, which are all present, so there this is EnumerateSerialPorts.
std::vector<SerialPortEntry> EnumerateSerialPortsWithAbsent(
    PortListing listing = PortListing::NumberNewDevices);

// The COM number that a device path names by itself: on Windows \\.\COM7 however it is written
// (COM in any letter case, / for \, \\?\ for \\.\); 0 for any other path, and for every path on
// Linux, where a path is opened as it is and the numbers come from the port map.
int ComNumberOfDevicePath(const std::string& path);

}  // namespace platform
