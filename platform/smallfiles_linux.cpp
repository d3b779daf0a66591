// SPDX-License-Identifier: MIT
#include "platform/smallfiles_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>

namespace platform {
namespace {

constexpr int kTempNameTries = 16;
// Files beside are named <prefix><pid>-<count>-<nanoseconds><suffix>: the pid tells a leftover
// of a writer that has gone from the file of one that is still writing.
constexpr std::string_view kTempPrefix = ".qlxduo-";
constexpr std::string_view kTempSuffix = ".tmp";

// Makes a new file in folder; on failure errno tells why.
int CreateTempFile(const std::string& folder, mode_t mode, std::string& tempPath) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < kTempNameTries; ++attempt) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        tempPath = folder + "/" + std::string(kTempPrefix) + std::to_string(getpid()) + "-" +
                   std::to_string(++counter) + "-" + std::to_string(now.tv_nsec) + std::string(kTempSuffix);
        int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// The writer's pid in the name of one of our files beside; 0 for any other name.
pid_t WriterOf(std::string_view name) {
    if (!name.starts_with(kTempPrefix) || !name.ends_with(kTempSuffix)) return 0;
    name.remove_prefix(kTempPrefix.size());
    name.remove_suffix(kTempSuffix.size());
    unsigned long fields[3] = {};
    for (size_t i = 0; i < 3; ++i) {
        if (i > 0 && !name.starts_with('-')) return 0;
        if (i > 0) name.remove_prefix(1);
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), fields[i]);
        if (error != std::errc()) return 0;
        name.remove_prefix(static_cast<size_t>(end - name.data()));
    }
    return name.empty() && fields[0] <= 0x7fffffff ? static_cast<pid_t>(fields[0]) : 0;
}

}  // namespace

bool IsRegularFileWithin(const struct stat& st, std::size_t maxSize) {
    return S_ISREG(st.st_mode) && st.st_size >= 0 && static_cast<std::size_t>(st.st_size) <= maxSize;
}

FileRead OpenRegularFile(const std::string& path, int flags, std::size_t maxSize, CUniqueFd& fd) {
    fd.Reset();
    struct stat st;
    if (((flags & O_NOFOLLOW) != 0 ? lstat(path.c_str(), &st) : stat(path.c_str(), &st)) != 0) {
        if (errno != ENOENT) return FileRead::Failed;
        if ((flags & O_CREAT) == 0) return FileRead::Absent;
    } else if (!IsRegularFileWithin(st, maxSize)) {
        return FileRead::Refused;
    }
    fd.Reset(open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
    if (!fd.Valid()) return errno == ENOENT ? FileRead::Absent : FileRead::Failed;
    if (fstat(fd.Get(), &st) == 0 && IsRegularFileWithin(st, maxSize)) return FileRead::Read;
    fd.Reset();
    return FileRead::Refused;
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit, int extraFlags) {
    CUniqueFd fd;
    if (OpenRegularFile(path, O_RDONLY | extraFlags, SIZE_MAX, fd) != FileRead::Read) return std::nullopt;
    std::string text(limit, '\0');
    const ssize_t n = read(fd.Get(), text.data(), limit);
    if (n < 0) return std::nullopt;
    text.resize(static_cast<size_t>(n));
    return text;
}

bool WriteWhole(int fd, const std::string& contents) {
    size_t done = 0;
    while (done < contents.size()) {
        ssize_t n = pwrite(fd, contents.data() + done, contents.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

CFileBeside::CFileBeside(const std::string& target, mode_t mode) : m_target(target) {
    m_fd.Reset(CreateTempFile(FolderOf(target), mode, m_path));
    m_made = m_fd.Valid();
}

CFileBeside::~CFileBeside() {
    m_fd.Close();
    if (m_made && !m_placed) unlink(m_path.c_str());
}

bool CFileBeside::PutInPlace() {
    const bool synced = m_fd.Valid() && fsync(m_fd.Get()) == 0;
    m_placed = m_fd.Close() && synced && rename(m_path.c_str(), m_target.c_str()) == 0;
    return m_placed;
}

void RemoveLeftovers(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
        const pid_t writer = WriterOf(entry->d_name);
        if (writer > 0 && kill(writer, 0) != 0 && errno == ESRCH) unlinkat(dirfd(dir), entry->d_name, 0);
    }
    closedir(dir);
}

}  // namespace platform
