// SPDX-License-Identifier: MIT
#include "link/serialport.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "link/linetrace.h"
#include "ports/portlist.h"

namespace {

constexpr int kWriteMsPerByte = 1000;
constexpr int kWriteMsConstant = 1000;

}  // namespace

CSerialPort::CSerialPort()
    : m_handle(platform::kNoSerialHandle),
      m_baudRate(38400),
      m_byteSize(8),
      m_parity(0),
      m_stopBits(0),
      m_rts(0),
      m_dtr(0) {}

CSerialPort::~CSerialPort() {
    Close();
}

int CSerialPort::Open(int port, int baudRate, int byteSize, int parity, int stopBits) {
    CloseAndStore({baudRate, byteSize, parity, stopBits});
    return OpenDevice(port);
}

void CSerialPort::CloseAndStore(const platform::SerialLineFormat& format) {
    Close();
    m_baudRate = format.baudRate;
    m_byteSize = format.byteSize;
    m_parity = format.parity;
    m_stopBits = format.stopBits;
}

int CSerialPort::OpenDevice(int port) {
    m_lastOpenFailure = {};
    if (!platform::IsComPortNumber(port)) return 0;
    const std::string devicePath = platform::SerialDevicePath(port);
    return devicePath.empty() ? 0 : OpenDevicePath(devicePath);
}

int CSerialPort::OpenPath(const std::string& devicePath, int baudRate, int byteSize, int parity,
                          int stopBits) {
    CloseAndStore({baudRate, byteSize, parity, stopBits});
    return OpenDevicePath(devicePath);
}

int CSerialPort::OpenDevicePath(const std::string& devicePath) {
    m_lastOpenFailure = {};
    m_lastOpenFailure.devicePath = devicePath;
    if (devicePath.empty()) return 0;
    m_handle = platform::OpenSerialDevice(devicePath, m_lastOpenFailure);
    if (m_handle == platform::kNoSerialHandle) return 0;
    // A driver that refuses the format does not fail the open; a network server that set another
    // one, or closed the connection instead, does, and the port is closed again.
    const bool formatTaken =
        m_handle->SetLineFormat({m_baudRate, m_byteSize, m_parity, m_stopBits}, m_lastOpenFailure.reason);
    PassOnRemarks();
    if (!formatTaken) {
        Close();
        return 0;
    }
    if (!m_handle->MakeReadsReturnAtOnce(m_lastOpenFailure.osError)) return 0;
    m_lastOpenFailure = {};
    return 1;
}

void CSerialPort::Close() {
    if (m_handle != platform::kNoSerialHandle) platform::CloseSerialDevice(m_handle);
    m_handle = platform::kNoSerialHandle;
    // What the closed device sent is no input of the next one.
    m_receivedStart = m_receivedEnd = 0;
}

int CSerialPort::TakeBuffered(char* buffer, int count) {
    const int taken = std::min(count, Buffered());
    std::memcpy(buffer, m_received.data() + m_receivedStart, static_cast<size_t>(taken));
    m_receivedStart += taken;
    if (m_receivedStart == m_receivedEnd) m_receivedStart = m_receivedEnd = 0;
    return taken;
}

// Buffered bytes first, as they arrived before anything still in the driver.
int CSerialPort::Read(char* buffer, int count) {
    if (!IsOpen()) return 0;
    if (count <= 0) {
        buffer[0] = '\0';
        return 0;
    }
    int got = Buffered() > 0 ? TakeBuffered(buffer, count) : m_handle->Read(buffer, count);
    if (got < 0) return -1;
    buffer[got] = '\0';
    return got;
}

// One read of the device refills the buffer with whatever has arrived; the bytes come from there.
int CSerialPort::ReadByte() {
    if (!IsOpen()) return 0;
    if (Buffered() == 0) {
        const int got = m_handle->Read(m_received.data(), kReceiveBufferSize);
        if (got <= 0) return 0;
        m_receivedEnd = got;
    }
    char byte = 0;
    TakeBuffered(&byte, 1);
    return 256 + static_cast<unsigned char>(byte);
}

int CSerialPort::Write(const char* buffer, int count) {
    if (!IsOpen()) return 0;
    const long long limitMs = static_cast<long long>(kWriteMsPerByte) * count + kWriteMsConstant;
    const int timeoutMs = static_cast<int>(std::min<long long>(limitMs, std::numeric_limits<int>::max()));
    // A write cut short by its time-out still counts as accepted, as the driver reports it so.
    return m_handle->Write(buffer, count, timeoutMs) != platform::SerialWriteResult::Failed;
}

int CSerialPort::WriteString(const char* text) {
    return Write(text, static_cast<int>(std::strlen(text)));
}

int CSerialPort::SetLineControl(int rts, int dtr) {
    if (!IsOpen()) return 0;
    m_rts = rts;
    m_dtr = dtr;
    m_handle->SetLineControl(rts != 0, dtr != 0);
    PassOnRemarks();
    return 1;
}

int CSerialPort::SetRts(int on) {
    if (!IsOpen() || m_rts == 0) return 0;
    m_handle->SetRts(on != 0);
    PassOnRemarks();
    return 1;
}

bool CSerialPort::WaitReadable(int milliseconds) const {
    if (!IsOpen()) return false;
    if (Buffered() > 0) return true;
    return m_handle->WaitReadable(milliseconds) == platform::SerialWaitResult::Readable;
}

bool CSerialPort::DeviceLost() const {
    return IsOpen() && m_handle->Gone();
}

void CSerialPort::PassOnRemarks() {
    for (const std::string& remark : m_handle->TakeRemarks()) {
        if (m_observer != nullptr) m_observer->Remark(remark);
    }
}
