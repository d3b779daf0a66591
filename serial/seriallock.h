// SPDX-License-Identifier: MIT
#pragma once
// UUCP lock files, the convention Linux serial programs share to stay off a port that another one
// is using: <lock folder>/LCK..<device name> holds the owner's process ID as ten ASCII digits,
// right-aligned, and a newline (some programs add words after it, some old ones write the ID as a
// 4-byte integer; both are read). The device name is the real device node's path below /dev, links
// followed, with each '/' made '_': ttyUSB0 for /dev/serial/by-id/usb-..., pts_3 for /dev/pts/3
// (the base name alone would make every pseudo-terminal "LCK..3"). A node outside /dev goes by its
// base name.

#include <string>
#include <vector>

namespace platform {

inline constexpr const char* kSerialLockFolder = "/run/lock";

// Where lock files are looked for and made: kSerialLockFolder unless a test moved it.
std::string SerialLockFolder();
// For tests, which must not touch the machine's own lock folder.
void SetSerialLockFolder(const std::string& folder);

// The lock file that guards the device at that path; empty when the path is no device node.
std::string SerialLockPath(const std::string& devicePath);

// The lock files that programs opening the device through the links on that path make: for each
// link followed from the path to the node, the lock named by the link's own path below /dev and
// the one named by its base name alone (/dev/serial/by-id/usb-X gives LCK..serial_by-id_usb-X and
// LCK..usb-X, the form minicom and picocom use). None for a path that is no link.
std::vector<std::string> SerialLinkLockPaths(const std::string& devicePath);

// The live process other than this one that the lock file names; 0 when none.
int SerialLockOwner(const std::string& lockPath);

// The command name of a process as the kernel keeps it (/proc/<pid>/comm: "minicom"), for telling
// people who holds a port; characters that are no printable ASCII become '?'. Empty when the
// process has ended or the name cannot be read.
std::string ProcessName(int pid);

struct SerialLock {
    bool made = false;  // this process made the lock file and must remove it
    int owner = 0;      // the live process whose lock keeps the device busy; 0 when none
};

// Takes the device's lock file. A live lock of another process is reported as its owner and left
// alone; a stale one (its process gone, its contents unreadable, or this process's own ID left by
// an earlier process that had it) is removed. Where no lock file can be made (no lock folder, not
// writable) the device goes without one: made false, owner 0.
SerialLock AcquireSerialLock(const std::string& lockPath);

// Removes a lock file that AcquireSerialLock made. Safe in a process that is about to end.
void ReleaseSerialLock(const std::string& lockPath);

}  // namespace platform
