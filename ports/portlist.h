// SPDX-License-Identifier: MIT
#pragma once
// The serial ports present on this computer, as COM numbers: on Windows the system's list of
// serial ports, on Linux the COM port map; and what is known of the adapter behind each.

#include <string>
#include <vector>

#include "ports/portname.h"

namespace platform {

// The device behind a port as its USB descriptor and the system name it: what tells two ports apart.
struct SerialAdapter {
    std::string vendorId;      // USB vendor id, four lower-case hex digits ("0403"); empty when unknown
    std::string productId;     // "6001"
    std::string manufacturer;  // "FTDI"
    std::string product;       // "FT232R USB UART"
    std::string serial;        // "A1B2C3"
    std::string stableName;    // Linux: the /dev/serial/by-id/ path naming the device; empty when none
    std::string description;   // Windows: the device's friendly name; empty when unknown
    bool operator==(const SerialAdapter&) const = default;
};

struct SerialPortEntry {
    std::string name;         // the port's text as the system lists it, "COM3"
    std::string device;       // what stands behind it: a device path, or the system's device name
    bool present = true;      // false: the number is kept for a device that is not there now
    SerialAdapter adapter{};  // of a present port; empty for an absent one
};

// What a listing may do on Linux, where the port map is a folder of the user's: number the serial
// devices that have no COM number yet (and drop the links of owners that have ended), or only
// read it, so that something that merely looks (a shell's completion) changes nothing. Windows
// lists what its registry holds either way.
enum class PortListing { NumberNewDevices, ReadOnly };

// Whether a listing reads each port's adapter as well, or leaves it empty for SerialAdapterOf to
// read when it is wanted: a program that shows the names first need not load the system's device
// information for them (on Windows a library of its own, and a walk of the devices).
enum class PortAdapters { Read, Later };

// The ports present now, in number order; read once per call.
std::vector<SerialPortEntry> EnumerateSerialPorts(PortListing listing = PortListing::NumberNewDevices,
                                                  PortAdapters adapters = PortAdapters::Read);

// Why EnumerateSerialPorts finds no port, as a clause for a message: on Linux the port map folder
// that cannot be used and the reason, or the serial devices present that carry the system console
// (which get no number by themselves); on Windows the system's list that cannot be read; else that
// no serial device is present.
std::string WhyNoSerialPorts();

// The same, followed by the numbers kept for devices that are absent now (Linux: links of the port
// map whose device is unplugged), each with the device it names. Windows lists only the ports its
// registry holds, which are all present, so there this is EnumerateSerialPorts.
std::vector<SerialPortEntry> EnumerateSerialPortsWithAbsent(
    PortListing listing = PortListing::NumberNewDevices);

// What is known of the adapter behind a device as SerialPortEntry::device names it; every field
// empty when nothing is known (a pseudo-terminal, a built-in port without USB data).
SerialAdapter SerialAdapterOf(const std::string& device);

// One short line for messages, tooltips and logs, e.g. "FTDI FT232R USB UART A1B2C3 (0403:6001)";
// empty when nothing is known.
std::string DescribeAdapter(const SerialAdapter& adapter);

// The USB ids and serial number that a Windows device instance id or hardware id carries:
// "USB\VID_0403&PID_6001\A1B2C3" gives 0403, 6001 and A1B2C3; an instance id whose last part
// the system made up (it holds '&') or an interface's id (MI_nn) gives no serial. False, with
// nothing set, for an id that names no USB vendor and product.
bool ReadUsbDeviceId(const std::string& id, SerialAdapter& adapter);

// A device with what is known of its adapter, on one line: "/dev/ttyUSB0 [FTDI FT232R USB UART
// A1B2C3 (0403:6001), /dev/serial/by-id/usb-FTDI_...]"; the device alone when nothing is known.
std::string DescribeDevice(const std::string& device, const SerialAdapter& adapter);

// The ports present, for a message about a port that is not: "the ports present are COM3
// /dev/ttyUSB0 [FTDI FT232R USB UART A1B2C3 (0403:6001), /dev/serial/by-id/...], COM4 /dev/ttyS4",
// or "no serial port is present". It changes nothing (a read-only listing), so a message can be made
// anywhere.
std::string DescribePresentPorts();

// The COM number that a device path names by itself: on Windows \\.\COM7 however it is written
// (COM in any letter case, / for \, \\?\ for \\.\); 0 for any other path, and for every path on
// Linux, where a path is opened as it is and the numbers come from the port map.
int ComNumberOfDevicePath(const std::string& path);

}  // namespace platform
