// SPDX-License-Identifier: MIT
#pragma once
// Single-instance guard: one running copy per application name and user. On Windows a named
// mutex; on Linux an exclusive flock on a per-user lock file stands in for it. The system drops
// either when the holding process ends, however it ends.
//
// The lock lives only where no other user can create, hold or replace it, so that no one else can
// keep the program from starting or switch the guard off (on Windows the mutex lives in the
// logon's own namespace). A lock file that another user made or owns, or one that is not of the
// expected kind, is refused (Unavailable), never used.

#include <cstdint>
#include <string>

namespace platform {

enum class InstanceLockState {
    Acquired,        // this process is the only one of that name
    AlreadyRunning,  // another process of that name holds the lock
    Unavailable,     // the lock could not be made, or was refused: run without the guard
};

class InstanceLock {
public:
    // Tries once, without waiting, to take the lock for applicationName.
    explicit InstanceLock(const std::string& applicationName);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    InstanceLockState State() const { return m_state; }
    const std::string& Path() const { return m_path; }

    // Linux: $XDG_RUNTIME_DIR/<name>.lock when that folder is this user's and closed to everyone
    // else (mode 0700); else <cache folder>/Kestrelan-QLX-DUO/<name>.lock, the cache folder being
    // $XDG_CACHE_HOME or ~/.cache, with both folders made (mode 0700) when missing and the last
    // one required to be this user's and closed to everyone else. Empty when there is no such
    // place. Windows: the mutex name, <name> itself.
    static std::string PathFor(const std::string& applicationName);

private:
    std::string m_path;
    std::intptr_t m_fd = -1;  // the lock file's descriptor; on Windows the mutex handle
    InstanceLockState m_state = InstanceLockState::Unavailable;
};

}  // namespace platform
