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

std::string AppendDurably(const std::string& path, const std::string& text) {
    // Never a device or a FIFO: a record file is a regular file.
    CUniqueFd fd;
    const FileRead opened = OpenRegularFile(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, SIZE_MAX, fd);
    if (opened != FileRead::Read)
        return opened == FileRead::Refused ? "not a regular file" : std::strerror(errno);
    for (size_t done = 0; done < text.size();) {
        const ssize_t wrote = write(fd.Get(), text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return std::strerror(errno);
        done += static_cast<size_t>(wrote);
    }
    if (fsync(fd.Get()) != 0 || !fd.Close()) return std::strerror(errno);
    return {};
}

bool FileIsEmpty(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) != 0 || st.st_size == 0;
}

}  // namespace platform
