// SPDX-License-Identifier: MIT
// The system keeps its serial ports in HKLM\HARDWARE\DEVICEMAP\SERIALCOMM; RegNotifyChangeKeyValue
// signals an event when a value there is added, changed or removed. The notification fires once
// and is asked for again after each wake-up.
#include <windows.h>

#include <atomic>

#include "ports/portwatch.h"

namespace platform {

struct CSerialPortWatch::CState {
    HKEY key = nullptr;
    HANDLE changed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> stopped{false};

    void Arm() {
        if (key != nullptr && changed != nullptr)
            RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_NAME, changed,
                                    TRUE);
    }
};

CSerialPortWatch::CSerialPortWatch() : m_state(std::make_unique<CState>()) {
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_NOTIFY | KEY_READ,
                      &m_state->key) != ERROR_SUCCESS)
        m_state->key = nullptr;
    m_state->Arm();
}

CSerialPortWatch::~CSerialPortWatch() {
    if (m_state->key != nullptr) RegCloseKey(m_state->key);
    if (m_state->changed != nullptr) CloseHandle(m_state->changed);
    if (m_state->stop != nullptr) CloseHandle(m_state->stop);
}

bool CSerialPortWatch::Wait(int timeoutMs) {
    if (m_state->stopped) return true;
    HANDLE handles[2] = {m_state->stop, m_state->changed};
    const DWORD count = m_state->changed != nullptr && m_state->key != nullptr ? 2 : 1;
    const DWORD woke = WaitForMultipleObjects(count, handles, FALSE, static_cast<DWORD>(timeoutMs));
    if (woke == WAIT_OBJECT_0 + 1) m_state->Arm();
    return m_state->stopped;
}

void CSerialPortWatch::Stop() {
    m_state->stopped = true;
    if (m_state->stop != nullptr) SetEvent(m_state->stop);
}

}  // namespace platform
