#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/atomicfile.h"

namespace platform {
namespace {

constexpr int kMaxLinkHops = 40;
constexpr int kTempNameTries = 16;

// Reads everything from fd to its end; false on any read error.
bool ReadAll(int fd, std::string& contents) {
    std::string got;
    char buffer[8192];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        got.append(buffer, static_cast<size_t>(n));
    }
    contents.swap(got);
    return true;
}

bool WriteAll(int fd, const std::string& contents) {
    size_t done = 0;
    while (done < contents.size()) {
        ssize_t n = write(fd, contents.data() + done, contents.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool ReadOpened(int fd, std::string& contents) {
    if (fd < 0) return false;
    bool ok = ReadAll(fd, contents);
    close(fd);
    return ok;
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

// Makes a new temporary file in folder, readable and writable as a new file would be.
int CreateTempFile(const std::string& folder, std::string& tempPath) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < kTempNameTries; ++attempt) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        tempPath = folder + "/.qlxduo-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + "-" +
                   std::to_string(now.tv_nsec) + ".tmp";
        int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Writes, gives the old file's permission bits (when there is an old regular file) and flushes.
bool FillTempFile(int fd, const std::string& contents, const struct stat* old) {
    bool ok = WriteAll(fd, contents);
    if (ok && old != nullptr) ok = fchmod(fd, old->st_mode & 07777) == 0;
    if (ok) ok = fsync(fd) == 0;
    return close(fd) == 0 && ok;
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
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? FileRead::Absent : FileRead::Failed;
    return ReadOpened(fd, contents) ? FileRead::Read : FileRead::Failed;
}

bool ReadWholeFileForUpdate(const std::string& path, std::string& contents) {
    return ReadOpened(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666), contents);
}

bool ReplaceWholeFile(const std::string& path, const std::string& contents) {
    std::string target = path;
    if (target.empty() || !FollowLinks(target)) return false;
    struct stat old;
    bool hasOld = stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    if (hasOld && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return false;
    const std::string folder = FolderOf(target);
    std::string tempPath;
    int fd = CreateTempFile(folder, tempPath);
    if (fd < 0) return false;
    if (!FillTempFile(fd, contents, hasOld ? &old : nullptr) ||
        rename(tempPath.c_str(), target.c_str()) != 0) {
        unlink(tempPath.c_str());
        return false;
    }
    return SyncFolder(folder);
}

}  // namespace platform
