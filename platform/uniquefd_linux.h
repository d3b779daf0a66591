// SPDX-License-Identifier: MIT
#pragma once
// One owned file descriptor, closed with its owner. Closing on destruction keeps errno, so a
// failure's reason survives the cleanup on the way out; Close() reports the close itself, which
// for a written file is where a late write error shows.

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace platform {

class CUniqueFd {
public:
    explicit CUniqueFd(int fd = -1) : m_fd(fd) {}
    ~CUniqueFd() {
        const int saved = errno;
        Close();
        errno = saved;
    }
    CUniqueFd(CUniqueFd&& other) noexcept : m_fd(other.Release()) {}
    CUniqueFd& operator=(CUniqueFd&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    // Gives the descriptor up without closing it.
    int Release() { return std::exchange(m_fd, -1); }
    void Reset(int fd = -1) {
        Close();
        m_fd = fd;
    }
    // True when there was nothing to close or the close succeeded.
    bool Close() { return m_fd < 0 || close(std::exchange(m_fd, -1)) == 0; }

private:
    int m_fd;
};

}  // namespace platform
