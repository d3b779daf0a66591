// SPDX-License-Identifier: MIT
#include <cstdlib>

#include "platform/comportmap.h"
#include "platform/portlist.h"

namespace platform {
namespace {

int NumberOf(const std::string& name) {
    return std::atoi(name.c_str() + 3);
}

std::vector<SerialPortEntry> PresentPorts(ComPortMap& map) {
    std::vector<SerialPortEntry> entries;
    for (const std::string& name : map.Enumerate()) entries.push_back({name, map.DevicePath(NumberOf(name))});
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
        entries.push_back({name, map.LinkTarget(NumberOf(name)), false});
    return entries;
}

int ComNumberOfDevicePath(const std::string&) {
    return 0;
}

}  // namespace platform
