// SPDX-License-Identifier: MIT
#pragma once
// Serial ports for CSerialPort, opened by their path: a local device (one implementation per
// operating system), or a serial port behind a network server (rfc2217://HOST:PORT,
// socket://HOST:PORT, net/netserial.h). Which one is chosen here, once, when the port is opened;
// from then on the port is a CSerialTransport.

#include <string>

#include "platform/serialtransport.h"

namespace platform {

// An open port, owned by whoever opened it until CloseSerialDevice.
using SerialHandle = CSerialTransport*;
inline constexpr SerialHandle kNoSerialHandle = nullptr;

// Why an open failed, for people who must fix it.
struct SerialOpenFailure {
    std::string devicePath;  // empty when the COM number stands for no device
    int osError = 0;         // the system's error number of the failed step; 0 when there was none
    int ownerProcess = 0;    // the process known to hold the device (by its UUCP lock file, Linux
                             // only); 0 when none is known, and always on Windows
    std::string lockFile{};  // the lock file that names ownerProcess
    // ownerProcess's command name ("minicom") when the open found it; empty when unknown (it ended).
    std::string ownerName{};
    std::string reason{};  // the reason in words where no error number tells it (a network port)
};

// The device that COM<port> stands for; empty when it stands for none.
std::string SerialDevicePath(int port);

// Opens the port for exclusive use (a network port is connected to instead: see netserial.h): it
// fails while another program holds the device, and keeps other programs off it until
// CloseSerialDevice. On failure returns kNoSerialHandle, holds nothing and records why in failure
// (osError, and ownerProcess when the holder is known; the reason in words for a network port).
SerialHandle OpenSerialDevice(const std::string& path, SerialOpenFailure& failure);

// Releases the port and its exclusive hold, and closes it.
void CloseSerialDevice(SerialHandle handle);

// For a process about to end: gives up the exclusive hold of every port this process has open,
// so that no other program stays barred from it. The handles stay valid for CloseSerialDevice.
// On Windows the hold is the handle, which the system closes with the ending process; there this
// cancels the transfers under way, so that none keeps the ending waiting.
void ReleaseAllSerialDevices();

// Whether the open failed because another program holds the device.
bool HeldByAnotherProgram(const SerialOpenFailure& failure);

// A one-line explanation of an open failure for a tooltip or a terminal: the device, the
// system's reason and what to do about it.
std::string DescribeOpenFailure(int port, const SerialOpenFailure& failure);
// The same for a device opened by its path, with no COM number: the path, the reason, the remedy.
std::string DescribeDeviceOpenFailure(const SerialOpenFailure& failure);

}  // namespace platform
