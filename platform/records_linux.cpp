// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/records.h"
#include "platform/smallfiles_linux.h"

namespace platform {

std::string WallClockTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char date[32];
    strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset = local.tm_gmtoff / 60;
    char text[96];
    std::snprintf(text, sizeof text, "%s.%03ld%c%02ld:%02ld", date, now.tv_nsec / 1000000,
                  offset < 0 ? '-' : '+', std::labs(offset) / 60, std::labs(offset) % 60);
    return text;
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

namespace {

// Never a device or a FIFO: a record file is a regular file.
std::string OpenRecordFile(const std::string& path, int flags, CUniqueFd& fd) {
    const FileRead opened = OpenRegularFile(path, flags | O_CLOEXEC, SIZE_MAX, fd);
    if (opened == FileRead::Read) return {};
    return opened == FileRead::Refused ? "not a regular file" : std::strerror(errno);
}

// The record with a line end before it when the file's last byte, before at its size, is none.
std::string AfterLineEnd(int fd, off_t size, const std::string& text) {
    char last = '\n';
    if (size == 0 || pread(fd, &last, 1, size - 1) != 1 || last == '\n') return text;
    return (text.ends_with("\r\n") ? "\r\n" : "\n") + text;
}

// Appends the bytes; false, errno telling why, when they did not all go out.
bool AppendAll(int fd, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

}  // namespace

std::string AppendRecord(const std::string& path, const std::string& text, std::uint64_t* sizeBefore) {
    CUniqueFd fd;
    std::string error = OpenRecordFile(path, O_RDWR | O_APPEND | O_CREAT, fd);
    struct stat st {};
    if (error.empty() && fstat(fd.Get(), &st) != 0) error = std::strerror(errno);
    if (!error.empty()) return error;
    if (sizeBefore != nullptr) *sizeBefore = static_cast<std::uint64_t>(st.st_size);
    if (text.empty()) return {};
    if (AppendAll(fd.Get(), AfterLineEnd(fd.Get(), st.st_size, text)) && fsync(fd.Get()) == 0) {
        return fd.Close() ? "" : std::strerror(errno);
    }
    error = std::strerror(errno);
    // Cutting back never grows the file: no size limit or full disk stands in its way.
    if (ftruncate(fd.Get(), st.st_size) != 0 || fsync(fd.Get()) != 0)
        error += "; the part written stays: " + std::string(std::strerror(errno));
    return error;
}

std::string TakeBackRecord(const std::string& path, std::uint64_t size) {
    CUniqueFd fd;
    std::string error = OpenRecordFile(path, O_WRONLY, fd);
    if (!error.empty()) return error;
    if (ftruncate(fd.Get(), static_cast<off_t>(size)) != 0 || fsync(fd.Get()) != 0 || !fd.Close())
        return std::strerror(errno);
    return {};
}

bool FileIsEmpty(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) != 0 || st.st_size == 0;
}

}  // namespace platform
