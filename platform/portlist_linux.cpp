#include <cstdlib>

#include "platform/comportmap.h"
#include "platform/portlist.h"

namespace platform {

std::vector<SerialPortEntry> EnumerateSerialPorts() {
    ComPortMap map = ComPortMap::ForCurrentUser();
    std::vector<SerialPortEntry> entries;
    for (const std::string& name : map.Enumerate()) {
        entries.push_back({name, map.DevicePath(std::atoi(name.c_str() + 3))});
    }
    return entries;
}

}  // namespace platform
