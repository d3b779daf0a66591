// SPDX-License-Identifier: MIT
#include "platform/instancelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace platform {

namespace {

// Under the cache folder when the runtime folder cannot be used.
constexpr const char* kOwnFolderName = "Kestrelan-QLX-DUO";

std::string EnvFolder(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? value : "";
}

std::string CacheFolder() {
    const std::string cache = EnvFolder("XDG_CACHE_HOME");
    if (!cache.empty()) return cache;
    const std::string home = EnvFolder("HOME");
    return home.empty() ? home : home + "/.cache";
}

// The folder at path, opened, when it is this user's and closed to everyone else; else -1. Only
// there can no other user plant, hold or swap the lock file.
int OpenPrivateFolder(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && st.st_uid == geteuid() && (st.st_mode & 077) == 0) return fd;
    if (fd >= 0) close(fd);
    return -1;
}

// Opens the folder the lock lives in and sets path to it; -1 when there is none.
int OpenLockFolder(std::string& path) {
    path = EnvFolder("XDG_RUNTIME_DIR");
    const int runtime = path.empty() ? -1 : OpenPrivateFolder(path);
    if (runtime >= 0) return runtime;
    const std::string cache = CacheFolder();
    if (cache.empty()) return -1;
    mkdir(cache.c_str(), 0700);
    path = cache + "/" + kOwnFolderName;
    mkdir(path.c_str(), 0700);
    return OpenPrivateFolder(path);
}

bool IsOwnRegularFile(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid();
}

}  // namespace

std::string InstanceLock::PathFor(const std::string& applicationName) {
    std::string folder;
    const int fd = OpenLockFolder(folder);
    if (fd < 0) return {};
    close(fd);
    return folder + "/" + applicationName + ".lock";
}

InstanceLock::InstanceLock(const std::string& applicationName) {
    std::string folder;
    const int folderFd = OpenLockFolder(folder);
    if (folderFd < 0) return;
    const std::string fileName = applicationName + ".lock";
    m_path = folder + "/" + fileName;
    // Opened through the checked folder, so the folder cannot be swapped in between. A link is not
    // followed, and O_NONBLOCK keeps a FIFO in its place from blocking the start.
    m_fd = openat(folderFd, fileName.c_str(),
                  O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    close(folderFd);
    if (m_fd < 0) return;
    if (IsOwnRegularFile(m_fd)) {
        if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
            m_state = InstanceLockState::Acquired;
            return;
        }
        if (errno == EWOULDBLOCK) m_state = InstanceLockState::AlreadyRunning;
    }
    close(m_fd);
    m_fd = -1;
}

InstanceLock::~InstanceLock() {
    if (m_fd >= 0) close(m_fd);
}

}  // namespace platform
