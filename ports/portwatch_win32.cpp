// SPDX-License-Identifier: MIT
// The system keeps its serial ports in HKLM\HARDWARE\DEVICEMAP\SERIALCOMM; RegNotifyChangeKeyValue
// signals an event when a value there is added, changed or removed. The notification fires once
// and is asked for again after each wake-up. The system makes the key with its first serial port:
// until then the key above it is watched for the key to appear.
#include <windows.h>

#include <atomic>

#include "ports/portwatch.h"

namespace platform {
namespace {

constexpr const wchar_t* kDeviceMap = L"HARDWARE\\DEVICEMAP";
constexpr const wchar_t* kSerialComm = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

HKEY OpenForNotify(const wchar_t* name) {
    HKEY key = nullptr;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, name, 0, KEY_NOTIFY | KEY_READ, &key) == ERROR_SUCCESS ? key
                                                                                                    : nullptr;
}

}  // namespace

struct CSerialPortWatch::CState {
    HKEY key = nullptr;
    bool keyIsSerialComm = false;
    HANDLE changed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> stopped{false};

    // Watches the ports' key, or the key above it while the ports' key does not exist.
    void Arm() {
        if (!keyIsSerialComm) {
            if (HKEY serialComm = OpenForNotify(kSerialComm)) {
                Close();
                key = serialComm;
                keyIsSerialComm = true;
            } else if (key == nullptr) {
                key = OpenForNotify(kDeviceMap);
            }
        }
        if (key != nullptr && changed != nullptr)
            RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_NAME, changed,
                                    TRUE);
    }
    void Close() {
        if (key != nullptr) RegCloseKey(key);
        key = nullptr;
    }
};

CSerialPortWatch::CSerialPortWatch() : m_state(std::make_unique<CState>()) {
    m_state->Arm();
}

CSerialPortWatch::~CSerialPortWatch() {
    m_state->Close();
    if (m_state->changed != nullptr) CloseHandle(m_state->changed);
    if (m_state->stop != nullptr) CloseHandle(m_state->stop);
}

bool CSerialPortWatch::Wait(int timeoutMs) {
    if (m_state->stopped) return true;
    HANDLE handles[2] = {m_state->stop, m_state->changed};
    const DWORD count = m_state->changed != nullptr && m_state->key != nullptr ? 2 : 1;
    const DWORD woke = WaitForMultipleObjects(count, handles, FALSE, static_cast<DWORD>(timeoutMs));
    if (woke == WAIT_OBJECT_0 + 1) TakeChange();
    return m_state->stopped;
}

void CSerialPortWatch::Stop() {
    m_state->stopped = true;
    if (m_state->stop != nullptr) SetEvent(m_state->stop);
}

std::intptr_t CSerialPortWatch::EventSource() const {
    return m_state->changed != nullptr && m_state->key != nullptr
               ? reinterpret_cast<std::intptr_t>(m_state->changed)
               : -1;
}

void CSerialPortWatch::TakeChange() {
    m_state->Arm();
}

}  // namespace platform
