// SPDX-License-Identifier: MIT
#include "platform/instancelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/uniquefd_linux.h"

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

// The folder at path, opened, when it is this user's and closed to everyone else; else none. Only
// there can no other user plant, hold or swap the lock file.
CUniqueFd OpenPrivateFolder(const std::string& path) {
    CUniqueFd fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st;
    if (fd.Valid() && fstat(fd.Get(), &st) == 0 && st.st_uid == geteuid() && (st.st_mode & 077) == 0)
        return fd;
    return CUniqueFd();
}

// Opens the folder the lock lives in and sets path to it; none when there is none.
CUniqueFd OpenLockFolder(std::string& path) {
    path = EnvFolder("XDG_RUNTIME_DIR");
    CUniqueFd runtime = path.empty() ? CUniqueFd() : OpenPrivateFolder(path);
    if (runtime.Valid()) return runtime;
    const std::string cache = CacheFolder();
    if (cache.empty()) return CUniqueFd();
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
    if (!OpenLockFolder(folder).Valid()) return {};
    return folder + "/" + applicationName + ".lock";
}

InstanceLock::InstanceLock(const std::string& applicationName) {
    std::string folder;
    const CUniqueFd folderFd = OpenLockFolder(folder);
    if (!folderFd.Valid()) return;
    const std::string fileName = applicationName + ".lock";
    m_path = folder + "/" + fileName;
    // Opened through the checked folder, so the folder cannot be swapped in between. A link is not
    // followed, and O_NONBLOCK keeps a FIFO in its place from blocking the start.
    CUniqueFd fd(openat(folderFd.Get(), fileName.c_str(),
                        O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
    if (!fd.Valid() || !IsOwnRegularFile(fd.Get())) return;
    if (flock(fd.Get(), LOCK_EX | LOCK_NB) == 0) {
        m_fd = fd.Release();
        m_state = InstanceLockState::Acquired;
    } else if (errno == EWOULDBLOCK) {
        m_state = InstanceLockState::AlreadyRunning;
    }
}

InstanceLock::~InstanceLock() {
    if (m_fd >= 0) close(m_fd);
}

}  // namespace platform
