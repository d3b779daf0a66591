// SPDX-License-Identifier: MIT
#pragma once
// The small files of the Linux services (settings, port-map owner marks, lock files, a unit's
// state): opened without ever blocking or opening anything but a regular file, read within a
// bound, and replaced by a new file written beside them and renamed over them.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>

#include "platform/atomicfile.h"
#include "platform/uniquefd_linux.h"

namespace platform {

// Whether st describes a regular file of at most maxSize bytes.
bool IsRegularFileWithin(const struct stat& st, std::size_t maxSize);

// Opens the file at path with flags into fd, only when it is a regular file of at most maxSize
// bytes (Read); otherwise says why not (Absent, Refused, Failed) and leaves fd closed. With O_CREAT
// an absent file is made. The path is looked at first (lstat with O_NOFOLLOW, else stat), so that
// no device is ever opened (an open alone can act: a serial line raises its control lines); the
// opened object is checked again, since something else may have taken the path in between, and
// O_NONBLOCK keeps a FIFO that slips in from blocking.
FileRead OpenRegularFile(const std::string& path, int flags, std::size_t maxSize, CUniqueFd& fd);

// The first `limit` bytes (fewer when the file is shorter) of the regular file at path, in one
// read; nothing when it is no regular file or cannot be read. extraFlags: O_NOFOLLOW, say.
std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit, int extraFlags = 0);

// Writes contents whole, from the start of the file.
bool WriteWhole(int fd, const std::string& contents);

// The folder part of a path: "." for a bare name, "/" for a name in the root.
std::string FolderOf(const std::string& path);

// A new file beside target, to be renamed over it once written whole: a reader of target sees the
// old file or the new one, never half of one. Made with O_EXCL under a name of its own, never
// through a link planted there; the name holds the writer's process ID (see RemoveLeftovers). It
// is removed again unless put in place.
class CFileBeside {
public:
    // mode: the new file's permission bits before the umask. When Fd() is -1 the file could not be
    // made, and errno tells why.
    explicit CFileBeside(const std::string& target, mode_t mode = 0666);
    ~CFileBeside();
    CFileBeside(const CFileBeside&) = delete;
    CFileBeside& operator=(const CFileBeside&) = delete;

    int Fd() const { return m_fd.Get(); }
    // Flushes the file to disk, closes it and renames it over the target.
    bool PutInPlace();

private:
    std::string m_target;
    std::string m_path;
    CUniqueFd m_fd;
    bool m_made = false;
    bool m_placed = false;
};

// A writer killed part-way (SIGKILL, a file size limit) leaves its file beside behind; removes
// those in folder whose writer has ended. A process that is alive, of whatever user, keeps its
// files.
void RemoveLeftovers(const std::string& folder);

}  // namespace platform
