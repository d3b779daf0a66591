#pragma once
// Single-instance guard: one running copy per application name and user. On Linux an exclusive
// flock on a per-user lock file stands in for a named mutex; the kernel drops the lock when the
// holding process ends, however it ends.
//
// The lock lives only where no other user can create, hold or replace it, so that no one else can
// keep the program from starting or switch the guard off. A lock object that another user made or
// owns, or one that is not of the expected kind, is refused (Unavailable), never used.

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

    // $XDG_RUNTIME_DIR/<name>.lock when that folder is this user's and closed to everyone else
    // (mode 0700); else <cache folder>/Kestrelan-QLX-DUO/<name>.lock, the cache folder being
    // $XDG_CACHE_HOME or ~/.cache, with both folders made (mode 0700) when missing and the last
    // one required to be this user's and closed to everyone else. Empty when there is no such
    // place.
    static std::string PathFor(const std::string& applicationName);

private:
    std::string m_path;
    int m_fd = -1;
    InstanceLockState m_state = InstanceLockState::Unavailable;
};

}  // namespace platform
