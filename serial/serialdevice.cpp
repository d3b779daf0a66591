// SPDX-License-Identifier: MIT
// What opening and closing a serial port does alike on every system: the choice between a local
// device and a network port, and the registry of open ports that a process's end releases.
#include "serial/serialdevice.h"

#include <memory>
#include <utility>

#include "net/netserial.h"
#include "ports/portname.h"
#include "serial/localdevice.h"
#include "serial/openserialdevices.h"

namespace platform {
namespace {

COpenSerialDevices& Registry() {
    return COpenSerialDevices::Instance();
}

// With the registry's hold held.
SerialHandle Registered(std::unique_ptr<CSerialTransport> port) {
    if (port) Registry().Add(port.get());
    return port.release();
}

}  // namespace

SerialHandle OpenSerialDevice(const std::string& path, SerialOpenFailure& failure) {
    if (IsNetworkPortPath(path)) {
        // A connection, not a device: no lock file, nothing for an ending process to wait for until
        // it is made; the server holds the port.
        std::unique_ptr<CSerialTransport> port = CNetSerialPort::Open(path, failure.reason, failure.osError);
        const auto hold = Registry().HoldForOpenOrClose();
        return Registered(std::move(port));
    }
    // The whole open under the registry's hold: a process told to end meanwhile waits for it, and
    // then releases this device too.
    const auto hold = Registry().HoldForOpenOrClose();
    return Registered(OpenLocalDevice(path, failure));
}

// The release under the hold, so that a process ending meanwhile waits for it; the close after,
// as closing a terminal may wait for its output to drain.
void CloseSerialDevice(SerialHandle handle) {
    {
        const auto hold = Registry().HoldForOpenOrClose();
        Registry().Remove(handle);
        handle->Release();
    }
    delete handle;
}

void ReleaseAllSerialDevices() {
    Registry().ReleaseAll();
}

}  // namespace platform
