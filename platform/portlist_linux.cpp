// SPDX-License-Identifier: MIT
#include "platform/comportmap.h"
#include "platform/portlist.h"

namespace platform {
namespace {

std::vector<SerialPortEntry> PresentPorts(ComPortMap& map, PortListing listing) {
    std::vector<SerialPortEntry> entries;
    for (const std::string& name : listing == PortListing::ReadOnly ? map.Listed() : map.Enumerate())
        entries.push_back({name, map.DevicePath(PortOfListedName(name))});
    return entries;
}

}  // namespace

std::vector<SerialPortEntry> EnumerateSerialPorts(PortListing listing) {
    ComPortMap map = ComPortMap::ForCurrentUser();
    return PresentPorts(map, listing);
}

std::vector<SerialPortEntry> EnumerateSerialPortsWithAbsent(PortListing listing) {
    ComPortMap map = ComPortMap::ForCurrentUser();
    std::vector<SerialPortEntry> entries = PresentPorts(map, listing);
    for (const std::string& name : map.Absent())
        entries.push_back({name, map.LinkTarget(PortOfListedName(name)), false});
    return entries;
}

int ComNumberOfDevicePath(const std::string&) {
    return 0;
}

}  // namespace platform
