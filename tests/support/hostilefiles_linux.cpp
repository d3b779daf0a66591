// SPDX-License-Identifier: MIT
#include "hostilefiles.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>

#include "testenv.h"

namespace testenv {
namespace {

namespace fs = std::filesystem;

bool MakeSocket(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const bool made = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return made;
}

bool MakeFile(const std::string& path, const std::string& contents, off_t size) {
    WriteFile(path, contents);
    return truncate(path.c_str(), size) == 0;
}

bool Link(const std::string& target, const std::string& path) {
    fs::create_symlink(target, path);
    return true;
}

bool MakeZeroDevice(const std::string& path) {
    return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 5)) == 0;
}

}  // namespace

std::vector<HostileFile> HostileFiles(const std::string& overLimit, const std::string& sparseStart) {
    using Folder = const std::string&;
    using Path = const std::string&;
    return {
        {"FIFO", [](Folder, Path p) { return mkfifo(p.c_str(), 0644) == 0; }},
        {"link to a FIFO",
         [](Folder d, Path p) { return mkfifo((d + "/fifo").c_str(), 0644) == 0 && Link(d + "/fifo", p); }},
        {"socket", [](Folder, Path p) { return MakeSocket(p); }},
        {"character device (zero)", [](Folder, Path p) { return MakeZeroDevice(p); }},
        {"link to a character device (zero)",
         [](Folder d, Path p) { return MakeZeroDevice(d + "/zero") && Link("zero", p); }},
        {"block device", [](Folder, Path p) { return mknod(p.c_str(), S_IFBLK | 0600, makedev(7, 0)) == 0; }},
        {"folder", [](Folder, Path p) { return fs::create_directory(p); }},
        {"file one byte over the limit",
         [overLimit](Folder, Path p) {
             return MakeFile(p, overLimit, static_cast<off_t>(overLimit.size()));
         }},
        {"sparse file of 1 GiB",
         [sparseStart](Folder, Path p) { return MakeFile(p, sparseStart, off_t{1} << 30); }},
        // Regular, of size 0 as far as stat knows, and several MiB long: only a bounded read stops.
        {"link to a file larger than its stated size",
         [](Folder, Path p) { return access("/proc/kallsyms", R_OK) == 0 && Link("/proc/kallsyms", p); }},
    };
}

std::string ForEachHostileFile(
    const std::vector<HostileFile>& files,
    const std::function<void(const std::string& folder, const std::string& path)>& check) {
    std::string notMade;
    for (const HostileFile& file : files) {
        SCOPED_TRACE(file.name);
        TempDir dir;
        const std::string path = dir.File("file");
        if (!file.make(dir.Path(), path)) {
            notMade += std::string(" ") + file.name + ";";
            continue;
        }
        check(dir.Path(), path);
    }
    return notMade.empty() ? notMade : "could not be made here (devices need root):" + notMade;
}

}  // namespace testenv
