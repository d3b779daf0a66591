// SPDX-License-Identifier: MIT
#pragma once
// The serial ports this process has open, kept by the serial device layer so that
// ReleaseAllSerialDevices reaches them when the process must end. For serial/ only.

#include <chrono>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "platform/serialtransport.h"

namespace platform {

class COpenSerialDevices {
public:
    // Never destroyed: the release at exit may run after static objects are gone.
    static COpenSerialDevices& Instance() {
        static auto* devices = new COpenSerialDevices;
        return *devices;
    }

    // Held across every open and close, so that a release waits for those under way. Opens and
    // closes of different devices (a batch) do not wait for each other.
    std::shared_lock<std::shared_timed_mutex> HoldForOpenOrClose() { return std::shared_lock(m_work); }
    // The rest with HoldForOpenOrClose() held.
    void Add(CSerialTransport* device) {
        std::lock_guard hold(m_listMutex);
        m_devices.push_back(device);
    }
    void Remove(CSerialTransport* device) {
        std::lock_guard hold(m_listMutex);
        std::erase(m_devices, device);
    }

    // Releases every open port. Opens and closes under way on other threads finish first; one that
    // never finishes must not keep the process from ending.
    void ReleaseAll() {
        constexpr auto kWaitForOtherThreads = std::chrono::seconds(2);
        if (!m_work.try_lock_for(kWaitForOtherThreads)) return;
        {
            std::lock_guard hold(m_listMutex);
            for (CSerialTransport* port : m_devices) port->Release();
        }
        m_work.unlock();
    }

private:
    std::shared_timed_mutex m_work;
    std::mutex m_listMutex;
    std::vector<CSerialTransport*> m_devices;
};

}  // namespace platform
