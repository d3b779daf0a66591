#pragma once
// The COM port map: Linux has no COM numbers, so each serial device gets a stable number through
// a folder of symbolic links named com1 ... com255, each pointing at a device path.

#include <string>
#include <vector>

#include "platform/portlist.h"

namespace platform {

struct ComPortMapRoots {
    std::string mapFolder;  // holds the com<N> links
    std::string sysClassTty = "/sys/class/tty";
    std::string devRoot = "/dev";
};

class ComPortMap {
public:
    explicit ComPortMap(ComPortMapRoots roots);

    // The map of the current user: <AppDataFolder()>/Kestrelan/QLX-DUO/ports with the real
    // sysfs and /dev. Its folder is empty when no application-data folder is known.
    static ComPortMap ForCurrentUser();
    static std::string DefaultFolder();

    // Numbers every real serial device that no link names yet (lowest free number first), then
    // returns "COM<N>" for every link whose target exists now. Yields nothing when the map folder
    // cannot be created or read.
    std::vector<std::string> Enumerate();

    // The device path that COM<port> stands for (the link's target); empty when the port is out of
    // 1..255, has no link, or its target does not exist now.
    std::string DevicePath(int port) const;
    // The target of the link com<port> as a path, whether or not it exists now (a device unplugged,
    // a link that loops); empty when the port is out of 1..255 or has no link.
    std::string LinkTarget(int port) const;

    // Adds or replaces the link com<port> -> device; false on failure. Creates the folder.
    bool Register(int port, const std::string& device) const;
    // Removes the link com<port>; false when it could not be removed.
    bool Unregister(int port) const;

    const ComPortMapRoots& Roots() const { return m_roots; }

private:
    ComPortMapRoots m_roots;
};

}  // namespace platform
