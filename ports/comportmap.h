// SPDX-License-Identifier: MIT
#pragma once
// The COM port map: Linux has no COM numbers, so each serial device gets a stable number through
// a folder of symbolic links named com1 ... com255, each pointing at a device path, or at a network
// port's URL (rfc2217://HOST:PORT, socket://HOST:PORT), which is listed as present and never
// numbered automatically.
//
// A link may be owned: a mark com<N>.owner beside it names the process that made it (its PID and
// start time) and the device. An owned link counts only while that process runs and is removed
// once it has ended. A terminal that people type into (a pseudo-terminal, a virtual console, the
// console) counts only through an owned link: its number goes to the next terminal window, so a
// link left behind would lead the program into someone else's terminal.

#include <string>
#include <vector>

#include "ports/portlist.h"

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

    // Removes the owned links of processes that have ended, numbers every real serial device that
    // no link names yet (lowest free number first; not the kernel's console), then returns
    // "COM<N>" for every link that DevicePath follows. Yields nothing when the map folder cannot be
    // created or read.
    std::vector<std::string> Enumerate();
    // The same list without writing anything: no device gets a number, and the links of ended
    // owners stay (unlisted, since they no longer count). Nothing when the folder cannot be read.
    std::vector<std::string> Listed() const;
    // "COM<N>" for every link whose target does not exist now (a device unplugged, a link that
    // loops), in number order. Enumerate first, so that the links of ended owners are gone.
    std::vector<std::string> Absent() const;
    // The serial devices present that carry the kernel's console and that no link names
    // ("/dev/ttyS0"): they get no number by themselves, so a list without them says why.
    std::vector<std::string> UnnumberedConsoles() const;

    // The device path that COM<port> stands for (the link's target); empty when the port is out of
    // 1..255, has no link, its target does not exist now, the link's owner has ended, or the
    // target is a terminal that no running owner vouches for.
    std::string DevicePath(int port) const;
    // What the link com<port> leads to, as far as opening the port goes.
    enum class LinkState {
        Usable,           // a device that DevicePath gives
        NoLink,           // no link, or the port is out of 1..255
        Absent,           // the target does not exist now (unplugged, or a link that loops)
        OwnerEnded,       // an owned link whose owner has ended
        UnownedTerminal,  // an interactive terminal that no owner mark vouches for
    };
    LinkState State(int port) const;
    // The target of the link com<port> as a path, whether or not it exists now (a device unplugged,
    // a link that loops); empty when the port is out of 1..255 or has no link.
    std::string LinkTarget(int port) const;

    // Adds or replaces the link com<port> -> device, not owned; false on failure. Creates the folder.
    bool Register(int port, const std::string& device) const;
    // The same, owned by the calling process: the link counts for as long as this process runs.
    bool RegisterOwned(int port, const std::string& device) const;
    // RegisterOwned, but only where com<port> is free: nothing stands there, or an owned link whose
    // owner has ended (which it removes). False when anything else stands there, or on failure.
    bool ClaimOwned(int port, const std::string& device) const;
    // Removes the link com<port> and its owner mark; false when the link could not be removed.
    bool Unregister(int port) const;
    // Unregister, but only while the link still points at device and its mark names the calling
    // process: a link that someone has since replaced is left alone. False when nothing was removed.
    bool UnregisterOwn(int port, const std::string& device) const;

    const ComPortMapRoots& Roots() const { return m_roots; }

private:
    bool CanRegister(int port, const std::string& device) const;
    bool PlaceLink(int port, const std::string& device) const;

    ComPortMapRoots m_roots;
};

}  // namespace platform
