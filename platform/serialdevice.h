#pragma once
// Serial device access for CSerialPort: the handle type and the few operations on it, implemented
// per operating system.

#include <string>

namespace platform {

using SerialHandle = int;
inline constexpr SerialHandle kNoSerialHandle = -1;

// Line format in the codes CSerialPort stores: parity 0 none, 1 odd, 2 even, 3 mark, 4 space;
// stop bits 0 one, 1 one and a half (sent as two), 2 two.
struct SerialLineFormat {
    int baudRate = 38400;
    int byteSize = 8;
    int parity = 0;
    int stopBits = 0;
};

// Opens the device for exclusive use, non-blocking. On failure returns kNoSerialHandle, holds
// nothing and stores the system's error number in error.
SerialHandle OpenSerialDevice(const std::string& path, int& error);

// Raw line, receiver on, modem status ignored, the given format, no parity checking, no hardware
// handshake; software flow control stays as the driver had it. RTS and DTR are lowered.
bool SetSerialLineFormat(SerialHandle handle, const SerialLineFormat& format);

// Makes sure reads on the handle return at once; false when the handle refuses.
bool MakeReadsReturnAtOnce(SerialHandle handle);

// Number of received bytes waiting; -1 when the device cannot tell.
int SerialBytesWaiting(SerialHandle handle);

// Reads what waits, up to count bytes, never waiting. Returns the count read (0 when nothing
// waits) or -1 on failure, a hung-up device included.
int ReadSerial(SerialHandle handle, char* buffer, int count);

enum class SerialWriteResult { Done, TimedOut, Failed };
// Writes the bytes and waits for them to leave the driver, all within timeoutMs.
SerialWriteResult WriteSerial(SerialHandle handle, const char* buffer, int count, int timeoutMs);

enum class SerialWaitResult { Readable, TimedOut, HungUp };
// Waits at most timeoutMs for a received byte; HungUp when the device has gone or failed.
SerialWaitResult WaitSerialReadable(SerialHandle handle, int timeoutMs);

inline constexpr int kSerialLineRts = 1;
inline constexpr int kSerialLineDtr = 2;
// Raises (on) or lowers the given modem lines (kSerialLineRts | kSerialLineDtr).
bool SetSerialModemLines(SerialHandle handle, int lines, bool on);

// Releases the device and its exclusive hold.
void CloseSerialDevice(SerialHandle handle);

}  // namespace platform
