// SPDX-License-Identifier: MIT
#include "platform/seriallock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/smallfiles_linux.h"

namespace platform {
namespace {

// A lock file holds a few bytes; anything longer is not one, and is never read whole.
constexpr size_t kLockFileReadLimit = 32;
// Replacing a stale lock races with other programs doing the same; a few rounds settle it.
constexpr int kLockAttempts = 3;

std::string& LockFolder() {
    static std::string folder = kSerialLockFolder;
    return folder;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// "      1234\n", "1234\n" or "1234": the ASCII forms; 0 for anything else.
int ParseAsciiOwner(const char* text, size_t size) {
    size_t at = 0;
    while (at < size && IsSpace(text[at])) ++at;
    long long pid = 0;
    const size_t digits = at;
    while (at < size && text[at] >= '0' && text[at] <= '9' && pid <= INT_MAX)
        pid = pid * 10 + (text[at++] - '0');
    if (at == digits || pid > INT_MAX) return 0;
    while (at < size && IsSpace(text[at])) ++at;
    return at == size ? static_cast<int>(pid) : 0;
}

// The owner written in the lock file: ASCII, or the binary form of older programs (the process ID
// as a native 4-byte integer). 0 when the file is missing, not a regular file or holds neither.
int ReadLockOwner(const std::string& lockPath) {
    const auto bytes = ReadSmallFile(lockPath, kLockFileReadLimit, O_NOFOLLOW);
    if (!bytes || bytes->empty() || bytes->size() == kLockFileReadLimit) return 0;
    const size_t size = bytes->size();
    const int ascii = ParseAsciiOwner(bytes->data(), size);
    if (ascii != 0 || size != sizeof(std::int32_t)) return ascii;
    std::int32_t binary = 0;
    std::memcpy(&binary, bytes->data(), sizeof binary);
    return binary > 0 ? binary : 0;
}

bool IsAlive(int pid) {
    return kill(pid, 0) == 0 || errno == EPERM;
}

// The process that holds the lock now, unless that is this process or none.
int LiveOwner(const std::string& lockPath) {
    const int owner = ReadLockOwner(lockPath);
    return owner > 0 && owner != getpid() && IsAlive(owner) ? owner : 0;
}

enum class Placed { Made, Exists, Failed };

// Writes this process's lock aside and links it into place, so that no reader ever sees a lock
// file without its owner in it.
Placed PlaceLockFile(const std::string& lockPath) {
    const std::string aside = LockFolder() + "/LTMP." + std::to_string(getpid());
    unlink(aside.c_str());  // a leftover of an earlier process with this ID
    CUniqueFd fd(open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd.Valid()) return Placed::Failed;
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
    // Readable by every program whatever the umask: others must see who holds the port.
    const bool written =
        fchmod(fd.Get(), 0644) == 0 && write(fd.Get(), text, static_cast<size_t>(length)) == length;
    fd.Close();
    const int linked = written ? link(aside.c_str(), lockPath.c_str()) : -1;
    const int linkError = errno;
    unlink(aside.c_str());
    if (linked == 0) return Placed::Made;
    return written && linkError == EEXIST ? Placed::Exists : Placed::Failed;
}

}  // namespace

std::string SerialLockFolder() {
    return LockFolder();
}

void SetSerialLockFolder(const std::string& folder) {
    LockFolder() = folder;
}

std::string SerialLockPath(const std::string& devicePath) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path node = fs::canonical(devicePath, ec);
    struct stat status {};
    if (ec || stat(node.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) return {};
    const fs::path below = node.lexically_relative("/dev");
    std::string name = node.filename().string();
    if (!below.empty() && *below.begin() != "..") {
        name = below.string();
        for (char& c : name) c = c == '/' ? '_' : c;
    }
    return LockFolder() + "/LCK.." + name;
}

SerialLock AcquireSerialLock(const std::string& lockPath) {
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        const Placed placed = PlaceLockFile(lockPath);
        if (placed == Placed::Made) return {true, 0};
        // Without a lock file of its own the program still keeps off a port another one holds.
        const int owner = LiveOwner(lockPath);
        if (placed == Placed::Failed || owner != 0) return {false, owner};
        if (unlink(lockPath.c_str()) != 0 && errno != ENOENT) return {};  // stale, and not ours to remove
    }
    return {};
}

void ReleaseSerialLock(const std::string& lockPath) {
    unlink(lockPath.c_str());
}

}  // namespace platform
