// SPDX-License-Identifier: MIT
#include "platform/comportmap.h"
#include "platform/portlist.h"

namespace platform {
namespace {

std::vector<SerialPortEntry> PresentPorts(ComPortMap& map) {
    std::vector<SerialPortEntry> entries;
    for (const std::string& name : map.Enumerate())
        entries.push_back({name, map.DevicePath(PortOfListedName(name))});
    return entries;
}

}  // namespace

std::vector<SerialPortEntry> EnumerateSerialPorts() {
    ComPortMap map = ComPortMap::ForCurrentUser();
    return PresentPorts(map);
}

std::vector<SerialPortEntry> EnumerateSerialPortsWithAbsent() {
    ComPortMap map = ComPortMap::ForCurrentUser();
    std::vector<SerialPortEntry> entries = PresentPorts(map);
    for (const std::string& name : map.Absent())
        entries.push_back({name, map.LinkTarget(PortOfListedName(name)), false});
    return entries;
}

int ComNumberOfDevicePath(const std::string&) {
    return 0;
}

}  // namespace platform
