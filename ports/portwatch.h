// SPDX-License-Identifier: MIT
#pragma once
// Waiting for the list of serial ports to change, as devices are plugged in and out: on Linux the
// device folders and the COM port map, on Windows the system's registry list of serial ports. The
// list itself is read with EnumerateSerialPorts; a wake-up only says it may have changed.

#include <cstdint>
#include <memory>

namespace platform {

class CSerialPortWatch {
public:
    // Begins watching; a change from now on wakes the next Wait.
    CSerialPortWatch();
    ~CSerialPortWatch();
    CSerialPortWatch(const CSerialPortWatch&) = delete;
    CSerialPortWatch& operator=(const CSerialPortWatch&) = delete;

    // Waits until the ports may have changed, Stop was called, or timeoutMs passed. True when
    // Stop was called, now or before.
    bool Wait(int timeoutMs);
    // Ends every Wait, now and later; may be called from any thread.
    void Stop();

    // For a window that waits in its own event loop instead of in Wait: what the loop waits on
    // besides its other events — on Linux a file descriptor that turns readable, on Windows an
    // event handle that is signalled — once the ports may have changed; -1 when there is nothing
    // to wait on. Each time it is, TakeChange takes the news and watches on.
    std::intptr_t EventSource() const;
    void TakeChange();

private:
    struct CState;
    std::unique_ptr<CState> m_state;
};

}  // namespace platform
