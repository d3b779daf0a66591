// SPDX-License-Identifier: MIT
#pragma once
// CSerialPort: the program's only access to a serial port. Opens one COM port by number, sets its
// line format, switches RTS and DTR, writes bytes, and reads the bytes that have already arrived
// without ever waiting for more. Results: 1 success, 0 failure; Read also -1 for a failed read;
// ReadByte 256 + byte for a received byte.
//
// What has arrived is taken from the device in one read into a buffer here, and handed out from
// there: bytes behind a reply stay for the next Read or ReadByte, as if still in the driver.

#include <array>
#include <string>

#include "serial/serialdevice.h"

class CLineObserver;

// Why the last Open failed, for people who must fix it (the status line only says that it failed).
using platform::SerialOpenFailure;

class CSerialPort {
public:
    CSerialPort();
    ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    int Open(int port, int baudRate, int byteSize, int parity, int stopBits);
    int OpenDevice(int port);
    // Open and OpenDevice for a device named by its path (/dev/ttyUSB0, \\.\COM7) instead of a COM
    // number: no port map is asked.
    int OpenPath(const std::string& devicePath, int baudRate, int byteSize, int parity, int stopBits);
    int OpenDevicePath(const std::string& devicePath);
    void Close();
    int Read(char* buffer, int count);
    int ReadByte();
    int Write(const char* buffer, int count);
    int WriteString(const char* text);
    int SetLineControl(int rts, int dtr);
    int SetRts(int on);

    bool IsOpen() const { return m_handle != platform::kNoSerialHandle; }
    // Waits until a byte can be read or the time runs out; never reads. False when closed.
    bool WaitReadable(int milliseconds) const;
    const SerialOpenFailure& LastOpenFailure() const { return m_lastOpenFailure; }
    // After a failed exchange: true when the device itself has gone away (unplugged, hung up), as
    // opposed to a unit that is silent or refuses. False when closed.
    bool DeviceLost() const;

    // The observer that CommandExchange reports this port's exchanges to; none (nullptr) by
    // default. Not owned; it must outlive its use here.
    void SetObserver(CLineObserver* observer) { m_observer = observer; }
    CLineObserver* Observer() const { return m_observer; }

private:
    void CloseAndStore(const platform::SerialLineFormat& format);
    // Hands what the device has to tell (a network server that did not confirm a setting) to the
    // observer.
    void PassOnRemarks();
    int Buffered() const { return m_receivedEnd - m_receivedStart; }
    // Takes up to count buffered bytes into buffer; how many it took.
    int TakeBuffered(char* buffer, int count);

    static constexpr int kReceiveBufferSize = 256;

    platform::SerialHandle m_handle;
    int m_baudRate;
    int m_byteSize;
    int m_parity;
    int m_stopBits;
    int m_rts;
    int m_dtr;
    SerialOpenFailure m_lastOpenFailure;
    CLineObserver* m_observer = nullptr;
    // Received and not yet handed out: m_received[m_receivedStart, m_receivedEnd).
    std::array<char, kReceiveBufferSize> m_received{};
    int m_receivedStart = 0;
    int m_receivedEnd = 0;
};

// A one-line explanation of an open failure for a tooltip or a terminal: the device, the system's
// reason and what to do about it.
using platform::DescribeDeviceOpenFailure;
using platform::DescribeOpenFailure;
