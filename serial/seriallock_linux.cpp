// SPDX-License-Identifier: MIT
#include "serial/seriallock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/smallfiles_linux.h"

namespace platform {
namespace {

// A lock file holds a process ID and perhaps a few words after it; only its start is read.
constexpr size_t kLockFileReadLimit = 64;
// Replacing a stale lock races with other programs doing the same; a few rounds settle it.
constexpr int kLockAttempts = 3;
// The kernel keeps 15 bytes of a command name; more is never read.
constexpr size_t kProcessNameReadLimit = 64;
// Links followed from a device path to its node, as the kernel allows at most.
constexpr int kLinkHopLimit = 40;

std::string& LockFolder() {
    static std::string folder = kSerialLockFolder;
    return folder;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The leading process ID as the common readers take it: blanks, then digits; whatever follows
// ("      1234 minicom root\n") is the writer's business. 0 when there are no digits.
int ParseAsciiOwner(const char* text, size_t size) {
    size_t at = 0;
    while (at < size && IsSpace(text[at])) ++at;
    long long pid = 0;
    while (at < size && text[at] >= '0' && text[at] <= '9' && pid <= INT_MAX)
        pid = pid * 10 + (text[at++] - '0');
    return pid <= INT_MAX ? static_cast<int>(pid) : 0;
}

// The binary form of older programs: the process ID as a native 4-byte integer. A process ID is
// below 2^22, so its high byte is zero, while an ASCII lock ("123\n") has no zero byte.
bool IsBinaryLock(const char* bytes, size_t size) {
    return size == sizeof(std::int32_t) && std::memchr(bytes, '\0', size) != nullptr;
}

// The owner written in the lock file, binary or ASCII; 0 when the file is missing, not a regular
// file or names none.
int ReadLockOwner(const std::string& lockPath) {
    const auto bytes = ReadSmallFile(lockPath, kLockFileReadLimit, O_NOFOLLOW);
    if (!bytes || bytes->empty()) return 0;
    if (!IsBinaryLock(bytes->data(), bytes->size())) return ParseAsciiOwner(bytes->data(), bytes->size());
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
// file without its owner in it. The file aside is named after the thread: several threads of a
// batch take lock files at once.
Placed PlaceLockFile(const std::string& lockPath) {
    const std::string aside = LockFolder() + "/LTMP." + std::to_string(gettid());
    unlink(aside.c_str());  // a leftover of an earlier process or thread with this ID
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

namespace {

// The name a lock file gives the device at that path: below /dev with each '/' made '_', else the
// base name.
std::string LockName(const std::filesystem::path& node) {
    const std::filesystem::path below = node.lexically_relative("/dev");
    if (below.empty() || *below.begin() == "..") return node.filename().string();
    std::string name = below.string();
    for (char& c : name) c = c == '/' ? '_' : c;
    return name;
}

std::string LockPathFor(const std::string& name) {
    return LockFolder() + "/LCK.." + name;
}

}  // namespace

std::string SerialLockPath(const std::string& devicePath) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path node = fs::canonical(devicePath, ec);
    struct stat status {};
    if (ec || stat(node.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) return {};
    return LockPathFor(LockName(node));
}

std::vector<std::string> SerialLinkLockPaths(const std::string& devicePath) {
    namespace fs = std::filesystem;
    std::vector<std::string> paths;
    std::error_code ec;
    fs::path at = fs::absolute(devicePath, ec).lexically_normal();
    for (int hop = 0; !ec && hop < kLinkHopLimit && fs::is_symlink(at, ec); ++hop) {
        for (const std::string& name : {LockName(at), at.filename().string()}) {
            const std::string path = LockPathFor(name);
            if (std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(path);
        }
        const fs::path target = fs::read_symlink(at, ec);
        at = (at.parent_path() / target).lexically_normal();
    }
    return paths;
}

int SerialLockOwner(const std::string& lockPath) {
    return LiveOwner(lockPath);
}

std::string ProcessName(int pid) {
    if (pid <= 0) return {};
    std::string name =
        ReadSmallFile("/proc/" + std::to_string(pid) + "/comm", kProcessNameReadLimit).value_or("");
    if (name.ends_with('\n')) name.pop_back();
    for (char& c : name) {
        if (c < ' ' || c > '~') c = '?';
    }
    return name;
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
