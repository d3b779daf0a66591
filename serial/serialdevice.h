// SPDX-License-Identifier: MIT
#pragma once
// Serial device access for CSerialPort: an opaque handle and the few operations on it,
// implemented per operating system.

#include <string>
#include <vector>

#include "platform/serialtransport.h"

namespace platform {

// What an open device is, is the platform's business.
struct SerialDevice;
using SerialHandle = SerialDevice*;
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

// Opens the device for exclusive use (a network port, rfc2217://HOST:PORT or socket://HOST:PORT, is
// connected to instead: see netserial.h): it fails while another program holds the device, and keeps
// other programs off it until CloseSerialDevice. On failure returns kNoSerialHandle, holds nothing
// and records why in failure (osError, and ownerProcess when the holder is known).
SerialHandle OpenSerialDevice(const std::string& path, SerialOpenFailure& failure);

// Writes the line format: the given rate, size, parity and stop bits, no parity checking, no
// hardware handshake and no software flow control in either direction (0x11 and 0x13 are data).
// RTS and DTR control off. False when refused.
bool SetSerialLineFormat(SerialHandle handle, const SerialLineFormat& format);

// Makes reads return at once with what has arrived, and bounds writes; false when the device
// refuses. error gets the system's error number then.
bool MakeReadsReturnAtOnce(SerialHandle handle, int& error);

// Number of received bytes waiting; -1 when the device cannot tell.
int SerialBytesWaiting(SerialHandle handle);

// Reads what has arrived, up to count bytes (count > 0), in one read of the device and never
// waiting; what does not fit stays for the next call. Returns the count read (0 when nothing has
// arrived) or -1 on failure, a hung-up device included. A reader takes what has arrived this way
// into a buffer of its own, without asking SerialBytesWaiting first.
int ReadSerial(SerialHandle handle, char* buffer, int count);

// Writes the bytes and waits for them to leave the driver, all within timeoutMs.
SerialWriteResult WriteSerial(SerialHandle handle, const char* buffer, int count, int timeoutMs);

// Waits at most timeoutMs for a received byte without spinning; HungUp when the device has gone
// or failed.
SerialWaitResult WaitSerialReadable(SerialHandle handle, int timeoutMs);

// True once the device itself has gone away — unplugged, or its line hung up — so that nothing
// can pass through this handle any more; false for a device that is merely silent.
bool SerialDeviceGone(SerialHandle handle);

// RTS and DTR control: each line enabled (raised) or disabled (lowered).
void SetSerialLineControl(SerialHandle handle, bool rts, bool dtr);
// Raises or lowers RTS.
void SetSerialRts(SerialHandle handle, bool on);

// What the device has to tell a trace about the operations since the last call: a network server
// that did not confirm a setting. Always empty for a local device.
std::vector<std::string> TakeSerialRemarks(SerialHandle handle);

// Releases the device and its exclusive hold.
void CloseSerialDevice(SerialHandle handle);

// For a process about to end: gives up the exclusive hold of every device this process has open,
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
