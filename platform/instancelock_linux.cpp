#include "platform/instancelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace platform {

namespace {

std::string EnvFolder(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? value : "";
}

}  // namespace

std::string InstanceLock::PathFor(const std::string& applicationName) {
    std::string runtime = EnvFolder("XDG_RUNTIME_DIR");
    if (!runtime.empty()) return runtime + "/" + applicationName + ".lock";
    std::string temp = EnvFolder("TMPDIR");
    if (temp.empty()) temp = "/tmp";
    return temp + "/" + applicationName + "-" + std::to_string(getuid()) + ".lock";
}

InstanceLock::InstanceLock(const std::string& applicationName) : m_path(PathFor(applicationName)) {
    // O_NOFOLLOW and mode 0600: a file planted by someone else in a shared folder is refused
    // (the program then runs unguarded) rather than followed.
    m_fd = open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) return;
    if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
        m_state = InstanceLockState::Acquired;
        return;
    }
    if (errno == EWOULDBLOCK) m_state = InstanceLockState::AlreadyRunning;
    close(m_fd);
    m_fd = -1;
}

InstanceLock::~InstanceLock() {
    if (m_fd >= 0) close(m_fd);
}

}  // namespace platform
