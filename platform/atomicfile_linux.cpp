// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/atomicfile.h"
#include "platform/smallfiles_linux.h"

namespace platform {
namespace {

constexpr int kMaxLinkHops = 40;

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

// Gives the temporary file the old file's owner and group, so that a save run by root (sudo -E)
// leaves the user's file the user's. False when this process may not.
bool TakeOwnerOf(int fd, const struct stat& old) {
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    return (st.st_uid == old.st_uid && st.st_gid == old.st_gid) || fchown(fd, old.st_uid, old.st_gid) == 0;
}

enum class Replaced { Yes, No, OnlyInPlace };

// Replaces target by a file beside it that has the old file's owner, group and permission bits
// (when there is an old file). OnlyInPlace when the folder refuses a new file or this process may
// not give it the old file's owner: then only writing in place keeps the edit.
Replaced ReplaceFromBeside(const std::string& target, const std::string& contents, const struct stat* old) {
    CFileBeside file(target);
    if (file.Fd() < 0)
        return old != nullptr && (errno == EACCES || errno == EPERM) ? Replaced::OnlyInPlace : Replaced::No;
    if (old != nullptr && !TakeOwnerOf(file.Fd(), *old)) return Replaced::OnlyInPlace;
    const bool placed = WriteWhole(file.Fd(), contents) &&
                        (old == nullptr || fchmod(file.Fd(), old->st_mode & 07777) == 0) && file.PutInPlace();
    return placed ? Replaced::Yes : Replaced::No;
}

bool Overwrite(int fd, const std::string& contents) {
    return ftruncate(fd, 0) == 0 && WriteWhole(fd, contents) && fsync(fd) == 0;
}

// Writes contents over the file itself, which keeps its owner, group, permission bits and links;
// when the new contents cannot be written whole, the old ones are put back.
bool WriteInPlace(const std::string& path, const std::string& contents) {
    CUniqueFd file;
    std::string old;
    if (OpenRegularFile(path, O_RDWR, kMaxFileSize, file) != FileRead::Read ||
        ReadBounded(file.Get(), old) != FileRead::Read)
        return false;
    if (Overwrite(file.Get(), contents)) return file.Close();
    Overwrite(file.Get(), old);
    return false;
}

bool SyncFolder(const std::string& folder) {
    const CUniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.Valid() && fsync(fd.Get()) == 0;
}

}  // namespace

FileRead ReadWholeFile(const std::string& path, std::string& contents) {
    CUniqueFd file;
    const FileRead opened = OpenRegularFile(path, O_RDONLY, kMaxFileSize, file);
    return opened == FileRead::Read ? ReadBounded(file.Get(), contents) : opened;
}

bool ReadWholeFileForUpdate(const std::string& path, std::string& contents) {
    CUniqueFd file;
    return OpenRegularFile(path, O_RDWR | O_CREAT, kMaxFileSize, file) == FileRead::Read &&
           ReadBounded(file.Get(), contents) == FileRead::Read;
}

bool ReplaceWholeFile(const std::string& path, const std::string& contents) {
    std::string target = path;
    if (target.empty() || !FollowLinks(target)) return false;
    struct stat old;
    const bool hasOld = stat(target.c_str(), &old) == 0;
    if (hasOld ? !IsRegularFileWithin(old, kMaxFileSize) : errno != ENOENT) return false;
    if (hasOld && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return false;
    const Replaced replaced = ReplaceFromBeside(target, contents, hasOld ? &old : nullptr);
    if (replaced != Replaced::Yes) return replaced == Replaced::OnlyInPlace && WriteInPlace(target, contents);
    const std::string folder = FolderOf(target);
    RemoveLeftovers(folder);
    return SyncFolder(folder);
}

}  // namespace platform
