// SPDX-License-Identifier: MIT
#pragma once
// One open serial port, whatever carries its bytes: a local device (serial/) or a serial port behind
// a network server (net/). Which one is chosen once, when the port is opened (serial/serialdevice.h);
// everything above sees this interface only. Every call returns within its own deadline, whatever
// the device or the other end does.

#include <string>
#include <vector>

namespace platform {

// Line format in the codes CSerialPort stores: parity 0 none, 1 odd, 2 even, 3 mark, 4 space;
// stop bits 0 one, 1 one and a half, 2 two.
struct SerialLineFormat {
    int baudRate = 38400;
    int byteSize = 8;
    int parity = 0;
    int stopBits = 0;
};

enum class SerialWriteResult { Done, TimedOut, Failed };
enum class SerialWaitResult { Readable, TimedOut, HungUp };

class CSerialTransport {
public:
    CSerialTransport() = default;
    // Closes the port; the exclusive hold was given up by Release already.
    virtual ~CSerialTransport() = default;
    // A port is held by one owner: never copied.
    CSerialTransport(const CSerialTransport&) = delete;
    CSerialTransport& operator=(const CSerialTransport&) = delete;

    // Writes the line format: the given rate, size, parity and stop bits, no parity checking, no
    // hardware handshake and no software flow control in either direction (0x11 and 0x13 are data);
    // RTS and DTR control off. A driver that refuses the format is not asked why: the port goes on.
    // False only when the port must not be used, with the reason in words (a network server that
    // set another rate, or closed the connection instead of agreeing).
    virtual bool SetLineFormat(const SerialLineFormat& format, std::string& refusal) = 0;

    // Makes reads return at once with what has arrived, and bounds writes; false when the device
    // refuses, with the system's error number in error.
    virtual bool MakeReadsReturnAtOnce(int& error) = 0;

    // Reads what has arrived, up to count bytes (count > 0), never waiting; what does not fit stays
    // for the next call. Returns the count read (0 when nothing has arrived) or -1 on failure, a
    // hung-up device included.
    virtual int Read(char* buffer, int count) = 0;

    // Writes the bytes and waits for them to leave the driver, all within timeoutMs.
    virtual SerialWriteResult Write(const char* buffer, int count, int timeoutMs) = 0;

    // Waits at most timeoutMs for a received byte without spinning; HungUp when the device has gone
    // or failed.
    virtual SerialWaitResult WaitReadable(int timeoutMs) = 0;

    // True once the device itself has gone away — unplugged, its line hung up, its connection
    // closed — so that nothing can pass through it any more; false for one that is merely silent.
    virtual bool Gone() = 0;

    // RTS and DTR control: each line enabled (raised) or disabled (lowered). A line is set only to
    // change it.
    virtual void SetLineControl(bool rts, bool dtr) = 0;
    // Raises or lowers RTS.
    virtual void SetRts(bool on) = 0;

    // What the port has to tell a trace about the operations since the last call (a network server
    // that did not confirm a setting); a local device has none.
    virtual std::vector<std::string> TakeRemarks() { return {}; }

    // Gives up the exclusive hold at once, so that no other program stays barred from the device,
    // and ends the transfers under way: for a process that is ending (from another thread), and
    // at close. Closing comes later.
    virtual void Release() = 0;
};

}  // namespace platform
