// SPDX-License-Identifier: MIT
// Serial devices through the Windows communications functions, all used synchronously. Reads
// return at once with what has arrived: one ReadFile of what ClearCommError reports waiting, none
// when nothing does. The reply wait does not poll: it is one read of one byte whose time-outs end
// it as soon as a byte has arrived, or when the time left has run out. That byte is kept as a
// look-ahead and handed out first by the next read, and counted as waiting, so every read result
// stays what it would have been without the wait.
//
// The exclusive hold is the handle itself (share mode 0), which the system closes when the process
// ends, however it ends; no lock file is needed and none is honoured, so no owner process is ever
// named. An unplugged device is recognised by the errors its driver then gives (GoneErrors).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <mutex>

#include "platform/deadline.h"
#include "platform/winutil_win32.h"
#include "ports/portlist.h"
#include "ports/portname.h"
#include "serial/localdevice.h"

namespace platform {

namespace {

constexpr DWORD kWriteMsPerByte = 1000;
constexpr DWORD kWriteMsConstant = 1000;

// Reads return at once with the bytes already received, possibly none; a write of n bytes lasts
// at most 1000 x n + 1000 ms.
COMMTIMEOUTS ReadAtOnceTimeouts() {
    return {MAXDWORD, 0, 0, kWriteMsPerByte, kWriteMsConstant};
}

// A read that waits for the first byte and returns as soon as it is there, or after ms.
COMMTIMEOUTS FirstByteTimeouts(DWORD ms) {
    return {MAXDWORD, MAXDWORD, ms, kWriteMsPerByte, kWriteMsConstant};
}

// What drivers answer once their device has been unplugged: usbser and most adapter drivers
// access denied (the handle was fine when opened, so it is no permission matter), others "bad
// command", "device not functioning", "device removed" or "not connected"; the I/O under way is
// aborted (line errors abort nothing, fAbortOnError being off). Wine says "not ready" for a line
// that hung up.
bool IsGoneError(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_NOT_READY:
        case ERROR_OPERATION_ABORTED:
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEVICE_NOT_CONNECTED:
            return true;
        default:
            return false;
    }
}

// Reads the line state for a change; false (and nothing is to be written) when it cannot be read.
bool ReadLineState(HANDLE handle, DCB& line) {
    line = DCB{};
    line.DCBlength = sizeof line;
    return GetCommState(handle, &line) != 0;
}

// A COM device open for exclusive use. What has arrived is read with one ReadFile of what
// ClearCommError reports waiting, none when nothing does; the byte the reply wait read ahead is
// handed out first.
class CLocalDevice final : public CSerialTransport {
public:
    explicit CLocalDevice(HANDLE handle) : m_handle(handle) {}
    ~CLocalDevice() override { CloseHandle(m_handle); }

    bool SetLineFormat(const SerialLineFormat& format, std::string& refusal) override;
    bool MakeReadsReturnAtOnce(int& error) override;
    int Read(char* buffer, int count) override;
    SerialWriteResult Write(const char* buffer, int count, int timeoutMs) override;
    SerialWaitResult WaitReadable(int timeoutMs) override;
    // Every call that can fail notes a gone device; an exchange's wait asks the driver for the
    // bytes waiting on each turn, so a device that went away mid-exchange has been noted by its end.
    bool Gone() override { return m_gone; }
    void SetLineControl(bool rts, bool dtr) override;
    void SetRts(bool on) override;
    void Release() override;

private:
    enum class FirstByte { Received, NoneYet, Failed };

    void NoteIfGone();
    void ClearErrors();
    int DriverBytesWaiting();
    int BytesWaiting();
    FirstByte WaitForFirstByte(int ms);

    HANDLE m_handle;
    bool m_hasLookAhead = false;
    char m_lookAhead = 0;
    // Release ran, perhaps on another thread: failures from here on are the ending's.
    std::atomic<bool> m_released = false;
    bool m_gone = false;  // an operation found the device gone (unplugged)
};

// After a failed call: remembers when the error says the device is gone.
void CLocalDevice::NoteIfGone() {
    if (!m_released && IsGoneError(GetLastError())) m_gone = true;
}

void CLocalDevice::ClearErrors() {
    DWORD errors = 0;
    if (!ClearCommError(m_handle, &errors, nullptr)) NoteIfGone();
}

CLocalDevice::FirstByte CLocalDevice::WaitForFirstByte(int ms) {
    COMMTIMEOUTS wait = FirstByteTimeouts(static_cast<DWORD>(ms));
    if (!SetCommTimeouts(m_handle, &wait)) {
        NoteIfGone();
        return FirstByte::Failed;
    }
    DWORD got = 0;
    const bool read = ReadFile(m_handle, &m_lookAhead, 1, &got, nullptr) != 0;
    if (!read) NoteIfGone();
    COMMTIMEOUTS atOnce = ReadAtOnceTimeouts();
    const bool restored = SetCommTimeouts(m_handle, &atOnce) != 0;
    if (read && !restored) NoteIfGone();
    if (!read || !restored) return FirstByte::Failed;
    m_hasLookAhead = got == 1;
    return m_hasLookAhead ? FirstByte::Received : FirstByte::NoneYet;
}

// A driver that refuses the format does not fail the open.
bool CLocalDevice::SetLineFormat(const SerialLineFormat& format, std::string&) {
    DCB line;
    if (!ReadLineState(m_handle, line)) return true;
    line.BaudRate = static_cast<DWORD>(format.baudRate);
    line.ByteSize = static_cast<BYTE>(format.byteSize);
    line.Parity = static_cast<BYTE>(format.parity);
    line.StopBits = static_cast<BYTE>(format.stopBits);
    line.fParity = FALSE;
    line.fOutxCtsFlow = FALSE;
    line.fOutxDsrFlow = FALSE;
    line.fDtrControl = DTR_CONTROL_DISABLE;
    line.fRtsControl = RTS_CONTROL_DISABLE;
    // A line error (framing, parity) must not abort every later read and write until cleared.
    line.fAbortOnError = FALSE;
    // XON/XOFF off in both directions: a 0x13 from the unit would stall every later write, and
    // 0x11 and 0x13 would vanish from replies.
    line.fOutX = FALSE;
    line.fInX = FALSE;
    SetCommState(m_handle, &line);
    return true;
}

bool CLocalDevice::MakeReadsReturnAtOnce(int& error) {
    COMMTIMEOUTS timeouts;
    if (!GetCommTimeouts(m_handle, &timeouts)) {
        error = static_cast<int>(GetLastError());
        return false;
    }
    timeouts = ReadAtOnceTimeouts();
    if (!SetCommTimeouts(m_handle, &timeouts)) {
        error = static_cast<int>(GetLastError());
        return false;
    }
    return true;
}

// The bytes the driver holds received, and the line errors cleared (dropped without a trace);
// -1 when the driver cannot tell.
int CLocalDevice::DriverBytesWaiting() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(m_handle, &errors, &status)) {
        NoteIfGone();
        return -1;
    }
    return static_cast<int>(std::min<DWORD>(status.cbInQue, INT_MAX - 1));
}

int CLocalDevice::BytesWaiting() {
    const int queued = DriverBytesWaiting();
    if (queued < 0 && !m_hasLookAhead) return -1;
    return std::max(queued, 0) + (m_hasLookAhead ? 1 : 0);
}

// One ReadFile of what the driver reports waiting, none when nothing does.
int CLocalDevice::Read(char* buffer, int count) {
    int got = 0;
    if (m_hasLookAhead && count > 0) {
        buffer[got++] = m_lookAhead;
        m_hasLookAhead = false;
        if (got == count) return got;
    }
    const int queued = DriverBytesWaiting();
    if (queued <= 0) return got > 0 || queued == 0 ? got : -1;
    DWORD read = 0;
    if (!ReadFile(m_handle, buffer + got, static_cast<DWORD>(std::min(count - got, queued)), &read,
                  nullptr)) {
        NoteIfGone();
        ClearErrors();
        return got > 0 ? got : -1;
    }
    return got + static_cast<int>(read);
}

// The driver bounds the write by the write time-outs set at open, the same 1000 + 1000 x n ms that
// the caller asks for.
SerialWriteResult CLocalDevice::Write(const char* buffer, int count, int) {
    DWORD wrote = 0;
    if (!WriteFile(m_handle, buffer, static_cast<DWORD>(count), &wrote, nullptr)) {
        NoteIfGone();
        return SerialWriteResult::Failed;
    }
    FlushFileBuffers(m_handle);
    return wrote < static_cast<DWORD>(count) ? SerialWriteResult::TimedOut : SerialWriteResult::Done;
}

SerialWaitResult CLocalDevice::WaitReadable(int timeoutMs) {
    const auto deadline = DeadlineIn(timeoutMs);
    for (;;) {
        if (BytesWaiting() > 0) return SerialWaitResult::Readable;
        const int left = MillisecondsLeft(deadline);
        if (left == 0) return SerialWaitResult::TimedOut;
        // A driver may end the wait a little early; the loop waits out the rest.
        switch (WaitForFirstByte(left)) {
            case FirstByte::Received:
                return SerialWaitResult::Readable;
            case FirstByte::NoneYet:
                continue;
            case FirstByte::Failed:
                return SerialWaitResult::HungUp;
        }
    }
}

void CLocalDevice::SetLineControl(bool rts, bool dtr) {
    DCB line;
    if (!ReadLineState(m_handle, line)) return;
    line.fRtsControl = rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    line.fDtrControl = dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    SetCommState(m_handle, &line);
}

void CLocalDevice::SetRts(bool on) {
    EscapeCommFunction(m_handle, on ? SETRTS : CLRRTS);
}

// The hold itself ends with the process's handles. What is left to do is not to keep the ending
// waiting: an exchange under way on another thread (a write may last 1000 + 1000 x n ms) is
// cancelled, and its failure is not taken for an unplugged device.
void CLocalDevice::Release() {
    m_released = true;
    CancelIoEx(m_handle, nullptr);
}

}  // namespace

std::string SerialDevicePath(int port) {
    return IsComPortNumber(port) ? DeviceNamespacePath(port) : std::string();
}

std::unique_ptr<CSerialTransport> OpenLocalDevice(const std::string& path, SerialOpenFailure& failure) {
    // Share mode 0: nobody else may hold the port while it is open here.
    HANDLE handle = CreateFileW(win32::Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        failure.osError = static_cast<int>(GetLastError());
        return nullptr;
    }
    failure.osError = 0;
    return std::make_unique<CLocalDevice>(handle);
}

namespace {

// ": <the system's message>" and what to do about it.
std::string ReasonAndRemedy(const SerialOpenFailure& failure) {
    if (!failure.reason.empty()) return ": " + failure.reason;
    if (failure.osError == 0) return ": the device does not accept the serial settings";
    const DWORD error = static_cast<DWORD>(failure.osError);
    std::string text = ": " + win32::SystemMessage(error);
    if (HeldByAnotherProgram(failure)) {
        text += " — another program is using the port";
    } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        text += " — this computer has no such port; " + DescribePresentPorts();
    }
    return text;
}

}  // namespace

// Windows lets one handle hold a port; a second open is denied.
bool HeldByAnotherProgram(const SerialOpenFailure& failure) {
    return failure.osError == ERROR_ACCESS_DENIED || failure.osError == ERROR_SHARING_VIOLATION;
}

std::string DescribeOpenFailure(int port, const SerialOpenFailure& failure) {
    const std::string com = ComName(port);
    if (!IsComPortNumber(port)) return com + ": not a port number (1 to 255)";
    return com + " (" + failure.devicePath + ")" + ReasonAndRemedy(failure);
}

std::string DescribeDeviceOpenFailure(const SerialOpenFailure& failure) {
    return failure.devicePath + ReasonAndRemedy(failure);
}

}  // namespace platform
