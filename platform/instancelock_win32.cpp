// SPDX-License-Identifier: MIT
// The single-instance guard is a named mutex: the application name without a namespace prefix, so
// it holds within one logon. The system removes it when the last process holding it ends.
#include <windows.h>

#include "platform/instancelock.h"
#include "platform/winutil_win32.h"

namespace platform {

std::string InstanceLock::PathFor(const std::string& applicationName) {
    return applicationName;
}

InstanceLock::InstanceLock(const std::string& applicationName) : m_path(PathFor(applicationName)) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, win32::Widen(m_path).c_str());
    const DWORD error = GetLastError();
    // No mutex at all (the name taken by an object of another kind): run without the guard.
    if (mutex == nullptr) return;
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        m_state = InstanceLockState::AlreadyRunning;
        return;
    }
    m_fd = reinterpret_cast<std::intptr_t>(mutex);
    m_state = InstanceLockState::Acquired;
}

InstanceLock::~InstanceLock() {
    if (m_fd != -1) CloseHandle(reinterpret_cast<HANDLE>(m_fd));
}

}  // namespace platform
