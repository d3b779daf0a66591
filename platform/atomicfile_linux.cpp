// SPDX-License-Identifier: MIT
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>
#include <string_view>

#include "platform/atomicfile.h"

namespace platform {
namespace {

constexpr int kMaxLinkHops = 40;
constexpr int kTempNameTries = 16;
// Temporary files are named <prefix><pid>-<count>-<nanoseconds><suffix>: the pid tells a leftover
// of a writer that has gone from the file of one that is still writing.
constexpr std::string_view kTempPrefix = ".qlxduo-";
constexpr std::string_view kTempSuffix = ".tmp";

bool Acceptable(const struct stat& st) {
    return S_ISREG(st.st_mode) && st.st_size >= 0 && static_cast<size_t>(st.st_size) <= kMaxFileSize;
}

// The file at path, opened with the given flags only when it is a regular file within the size
// limit. The path is looked at first, so that no device is ever opened (an open alone can act: a
// serial line raises its control lines); the opened object is checked again, since something else
// may have taken the path in between, and O_NONBLOCK keeps a FIFO that slips in from blocking.
class RegularFile {
public:
    RegularFile(const std::string& path, int flags) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0) {
            if (errno != ENOENT) return;
            m_state = FileRead::Absent;
            if ((flags & O_CREAT) == 0) return;
        } else if (!Acceptable(st)) {
            m_state = FileRead::Refused;
            return;
        }
        m_fd = open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
        if (m_fd < 0) {
            m_state = errno == ENOENT ? FileRead::Absent : FileRead::Failed;
        } else if (fstat(m_fd, &st) != 0 || !Acceptable(st)) {
            m_state = FileRead::Refused;
            Close();
        } else {
            m_state = FileRead::Read;
        }
    }
    ~RegularFile() { Close(); }
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // Read when the file is open and may be read; otherwise why not.
    FileRead State() const { return m_state; }
    int Fd() const { return m_fd; }

    bool Close() {
        const bool ok = m_fd < 0 || close(m_fd) == 0;
        m_fd = -1;
        return ok;
    }

private:
    int m_fd = -1;
    FileRead m_state = FileRead::Failed;
};

ssize_t ReadAt(int fd, char* into, size_t size, size_t offset) {
    for (;;) {
        const ssize_t n = pread(fd, into, size, static_cast<off_t>(offset));
        if (n >= 0 || errno != EINTR) return n;
    }
}

// Reads the whole file, refusing it once it is known to exceed the limit. The length is counted
// first in a small buffer, so the contents then take one allocation of exactly their size, however
// the file misstates its size (as /proc does) or grows while it is read.
FileRead ReadBounded(int fd, std::string& contents) {
    char buffer[8192];
    size_t length = 0;
    for (ssize_t n; (n = ReadAt(fd, buffer, sizeof buffer, length)) != 0; length += static_cast<size_t>(n)) {
        if (n < 0) return FileRead::Failed;
        if (length + static_cast<size_t>(n) > kMaxFileSize) return FileRead::Refused;
    }
    std::string got(length, '\0');
    for (size_t done = 0; done < length;) {
        const ssize_t n = ReadAt(fd, got.data() + done, length - done, done);
        if (n <= 0) return FileRead::Failed;  // shrunk while read
        done += static_cast<size_t>(n);
    }
    if (ReadAt(fd, buffer, 1, length) != 0) return FileRead::Failed;  // grew while read
    contents.swap(got);
    return FileRead::Read;
}

// Writes contents from the start of the file.
bool WriteAll(int fd, const std::string& contents) {
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

// Follows symbolic links to the path they finally name, which need not exist yet; so the link
// stays and the file it names is the one replaced. False on a loop or an unreadable link.
bool FollowLinks(std::string& path) {
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        ssize_t n = readlink(path.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) return false;
        target.resize(static_cast<size_t>(n));
        path = target[0] == '/' ? target : FolderOf(path) + "/" + target;
    }
    return false;
}

// Makes a new temporary file in folder, readable and writable as a new file would be; on failure
// errno tells why.
int CreateTempFile(const std::string& folder, std::string& tempPath) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < kTempNameTries; ++attempt) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        tempPath = folder + "/" + std::string(kTempPrefix) + std::to_string(getpid()) + "-" +
                   std::to_string(++counter) + "-" + std::to_string(now.tv_nsec) + std::string(kTempSuffix);
        int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// The writer's pid in the name of one of our temporary files; 0 for any other name.
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

// A writer killed part-way (SIGKILL, a file size limit) leaves its temporary file behind; remove
// those whose writer is gone. A pid that is alive, of whatever user, keeps its file.
void RemoveLeftovers(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
        const pid_t writer = WriterOf(entry->d_name);
        if (writer > 0 && kill(writer, 0) != 0 && errno == ESRCH) unlinkat(dirfd(dir), entry->d_name, 0);
    }
    closedir(dir);
}

// Gives the temporary file the old file's owner and group, so that a save run by root (sudo -E)
// leaves the user's file the user's. False when this process may not.
bool TakeOwnerOf(int fd, const struct stat& old) {
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    return (st.st_uid == old.st_uid && st.st_gid == old.st_gid) || fchown(fd, old.st_uid, old.st_gid) == 0;
}

// Writes, gives the old file's permission bits (when there is an old regular file) and flushes.
bool FillTempFile(int fd, const std::string& contents, const struct stat* old) {
    bool ok = WriteAll(fd, contents);
    if (ok && old != nullptr) ok = fchmod(fd, old->st_mode & 07777) == 0;
    if (ok) ok = fsync(fd) == 0;
    return close(fd) == 0 && ok;
}

bool Overwrite(int fd, const std::string& contents) {
    return ftruncate(fd, 0) == 0 && WriteAll(fd, contents) && fsync(fd) == 0;
}

// Writes contents over the file itself, which keeps its owner, group, permission bits and links;
// when the new contents cannot be written whole, the old ones are put back.
bool WriteInPlace(const std::string& path, const std::string& contents) {
    RegularFile file(path, O_RDWR);
    std::string old;
    if (file.State() != FileRead::Read || ReadBounded(file.Fd(), old) != FileRead::Read) return false;
    if (Overwrite(file.Fd(), contents)) return file.Close();
    Overwrite(file.Fd(), old);
    return false;
}

bool SyncFolder(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

}  // namespace

FileRead ReadWholeFile(const std::string& path, std::string& contents) {
    RegularFile file(path, O_RDONLY);
    return file.State() == FileRead::Read ? ReadBounded(file.Fd(), contents) : file.State();
}

bool ReadWholeFileForUpdate(const std::string& path, std::string& contents) {
    RegularFile file(path, O_RDWR | O_CREAT);
    return file.State() == FileRead::Read && ReadBounded(file.Fd(), contents) == FileRead::Read;
}

bool ReplaceWholeFile(const std::string& path, const std::string& contents) {
    std::string target = path;
    if (target.empty() || !FollowLinks(target)) return false;
    struct stat old;
    const bool hasOld = stat(target.c_str(), &old) == 0;
    if (hasOld ? !Acceptable(old) : errno != ENOENT) return false;
    if (hasOld && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return false;
    const std::string folder = FolderOf(target);
    std::string tempPath;
    int fd = CreateTempFile(folder, tempPath);
    if (fd < 0) return hasOld && (errno == EACCES || errno == EPERM) && WriteInPlace(target, contents);
    if (hasOld && !TakeOwnerOf(fd, old)) {
        close(fd);
        unlink(tempPath.c_str());
        return WriteInPlace(target, contents);
    }
    if (!FillTempFile(fd, contents, hasOld ? &old : nullptr) ||
        rename(tempPath.c_str(), target.c_str()) != 0) {
        unlink(tempPath.c_str());
        return false;
    }
    RemoveLeftovers(folder);
    return SyncFolder(folder);
}

}  // namespace platform
