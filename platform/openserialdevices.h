// SPDX-License-Identifier: MIT
#pragma once
// The serial devices this process has open, kept by each system's serial device implementation so
// that ReleaseAllSerialDevices reaches them when the process must end. For platform/ only.

#include <chrono>
#include <mutex>
#include <vector>

namespace platform {

struct SerialDevice;

class COpenSerialDevices {
public:
    // Never destroyed: the release at exit may run after static objects are gone.
    static COpenSerialDevices& Instance() {
        static auto* devices = new COpenSerialDevices;
        return *devices;
    }

    // Held across every open and close, so that a release waits for one under way.
    std::timed_mutex& Mutex() { return m_mutex; }
    // The rest with Mutex() held.
    const std::vector<SerialDevice*>& Devices() const { return m_devices; }
    void Add(SerialDevice* device) { m_devices.push_back(device); }
    void Remove(SerialDevice* device) { std::erase(m_devices, device); }

    // Runs release on every open device. An open or close under way on another thread finishes
    // first; one that never finishes must not keep the process from ending.
    template <class Release>
    void ReleaseAll(Release release) {
        constexpr auto kWaitForOtherThread = std::chrono::seconds(2);
        if (!m_mutex.try_lock_for(kWaitForOtherThread)) return;
        for (SerialDevice* device : m_devices) release(*device);
        m_mutex.unlock();
    }

private:
    std::timed_mutex m_mutex;
    std::vector<SerialDevice*> m_devices;
};

}  // namespace platform
