#pragma once
// Single-instance guard: one running copy per application name and user. On Windows a named
// mutex; on Linux an exclusive flock on a per-user lock file stands in for it. The system drops
// either when the holding process ends, however it ends.

#include <cstdint>
#include <string>

namespace platform {

enum class InstanceLockState {
    Acquired,        // this process is the only one of that name
    AlreadyRunning,  // another process of that name holds the lock
    Unavailable,     // the lock file could not be made or locked: run without the guard
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

    // $XDG_RUNTIME_DIR/<name>.lock, or <temporary folder>/<name>-<uid>.lock when that is unset;
    // on Windows the mutex name, <name> itself.
    static std::string PathFor(const std::string& applicationName);

private:
    std::string m_path;
    std::intptr_t m_fd = -1;  // the lock file's descriptor; on Windows the mutex handle
    InstanceLockState m_state = InstanceLockState::Unavailable;
};

}  // namespace platform
