// Serial devices through the Windows communications functions, all used synchronously. Reads
// return at once with what has arrived. The reply wait does not poll: it is one read of one byte
// whose time-outs end it as soon as a byte has arrived, or when the time left has run out. That
// byte is kept as a look-ahead and handed out first by the next read, and counted as waiting, so
// every read result stays what it would have been without the wait.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>

#include "platform/deadline.h"
#include "platform/portlist.h"
#include "platform/serialdevice.h"
#include "platform/winutil_win32.h"

namespace platform {

struct SerialDevice {
    HANDLE handle;
    bool hasLookAhead = false;
    char lookAhead = 0;
};

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

void ClearErrors(HANDLE handle) {
    DWORD errors = 0;
    ClearCommError(handle, &errors, nullptr);
}

// Reads the line state for a change; false (and nothing is to be written) when it cannot be read.
bool ReadLineState(HANDLE handle, DCB& line) {
    line = DCB{};
    line.DCBlength = sizeof line;
    return GetCommState(handle, &line) != 0;
}

enum class FirstByte { Received, NoneYet, Failed };

FirstByte WaitForFirstByte(SerialDevice& device, int ms) {
    COMMTIMEOUTS wait = FirstByteTimeouts(static_cast<DWORD>(ms));
    if (!SetCommTimeouts(device.handle, &wait)) return FirstByte::Failed;
    DWORD got = 0;
    const bool read = ReadFile(device.handle, &device.lookAhead, 1, &got, nullptr) != 0;
    COMMTIMEOUTS atOnce = ReadAtOnceTimeouts();
    const bool restored = SetCommTimeouts(device.handle, &atOnce) != 0;
    if (!read || !restored) return FirstByte::Failed;
    device.hasLookAhead = got == 1;
    return device.hasLookAhead ? FirstByte::Received : FirstByte::NoneYet;
}

}  // namespace

std::string SerialDevicePath(int port) {
    if (!IsComPortNumber(port)) return {};
    char name[11];  // "\\.\COM255" and its terminator
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", port);
    return name;
}

SerialHandle OpenSerialDevice(const std::string& path, int& error) {
    // Share mode 0: nobody else may hold the port while it is open here.
    HANDLE handle = CreateFileW(win32::Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = static_cast<int>(GetLastError());
        return kNoSerialHandle;
    }
    error = 0;
    return new SerialDevice{handle};
}

bool SetSerialLineFormat(SerialHandle device, const SerialLineFormat& format) {
    DCB line;
    if (!ReadLineState(device->handle, line)) return false;
    line.BaudRate = static_cast<DWORD>(format.baudRate);
    line.ByteSize = static_cast<BYTE>(format.byteSize);
    line.Parity = static_cast<BYTE>(format.parity);
    line.StopBits = static_cast<BYTE>(format.stopBits);
    line.fParity = FALSE;
    line.fOutxCtsFlow = FALSE;
    line.fOutxDsrFlow = FALSE;
    line.fDtrControl = DTR_CONTROL_DISABLE;
    line.fRtsControl = RTS_CONTROL_DISABLE;
    // XON/XOFF off in both directions: a 0x13 from the unit would stall every later write, and
    // 0x11 and 0x13 would vanish from replies.
    line.fOutX = FALSE;
    line.fInX = FALSE;
    return SetCommState(device->handle, &line) != 0;
}

bool MakeReadsReturnAtOnce(SerialHandle device, int& error) {
    COMMTIMEOUTS timeouts;
    if (!GetCommTimeouts(device->handle, &timeouts)) {
        error = static_cast<int>(GetLastError());
        return false;
    }
    timeouts = ReadAtOnceTimeouts();
    if (!SetCommTimeouts(device->handle, &timeouts)) {
        error = static_cast<int>(GetLastError());
        return false;
    }
    return true;
}

int SerialBytesWaiting(SerialHandle device) {
    DWORD errors = 0;
    COMSTAT status{};
    // Also clears any pending line error, which is dropped without a trace.
    const bool known = ClearCommError(device->handle, &errors, &status) != 0;
    if (!known && !device->hasLookAhead) return -1;
    const DWORD queued = known ? status.cbInQue : 0;
    return static_cast<int>(std::min<DWORD>(queued, INT_MAX - 1)) + (device->hasLookAhead ? 1 : 0);
}

int ReadSerial(SerialHandle device, char* buffer, int count) {
    int got = 0;
    if (device->hasLookAhead && count > 0) {
        buffer[got++] = device->lookAhead;
        device->hasLookAhead = false;
        if (got == count) return got;
    }
    DWORD read = 0;
    if (!ReadFile(device->handle, buffer + got, static_cast<DWORD>(count - got), &read, nullptr)) {
        ClearErrors(device->handle);
        return got > 0 ? got : -1;
    }
    return got + static_cast<int>(read);
}

// The driver bounds the write by the write time-outs set at open, the same 1000 + 1000 x n ms that
// the caller asks for.
SerialWriteResult WriteSerial(SerialHandle device, const char* buffer, int count, int /*timeoutMs*/) {
    DWORD wrote = 0;
    if (!WriteFile(device->handle, buffer, static_cast<DWORD>(count), &wrote, nullptr)) {
        return SerialWriteResult::Failed;
    }
    FlushFileBuffers(device->handle);
    return wrote < static_cast<DWORD>(count) ? SerialWriteResult::TimedOut : SerialWriteResult::Done;
}

SerialWaitResult WaitSerialReadable(SerialHandle device, int timeoutMs) {
    const auto deadline = DeadlineClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (SerialBytesWaiting(device) > 0) return SerialWaitResult::Readable;
        const int left = MillisecondsLeft(deadline);
        if (left == 0) return SerialWaitResult::TimedOut;
        // A driver may end the wait a little early; the loop waits out the rest.
        switch (WaitForFirstByte(*device, left)) {
            case FirstByte::Received:
                return SerialWaitResult::Readable;
            case FirstByte::NoneYet:
                continue;
            case FirstByte::Failed:
                return SerialWaitResult::HungUp;
        }
    }
}

void SetSerialLineControl(SerialHandle device, bool rts, bool dtr) {
    DCB line;
    if (!ReadLineState(device->handle, line)) return;
    line.fRtsControl = rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    line.fDtrControl = dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    SetCommState(device->handle, &line);
}

void SetSerialRts(SerialHandle device, bool on) {
    EscapeCommFunction(device->handle, on ? SETRTS : CLRRTS);
}

void CloseSerialDevice(SerialHandle device) {
    CloseHandle(device->handle);
    delete device;
}

std::string DescribeOpenFailure(int port, const SerialOpenFailure& failure) {
    const std::string com = "COM" + std::to_string(port);
    if (!IsComPortNumber(port)) return com + ": not a port number (1 to 255)";
    std::string line = com + " (" + failure.devicePath + ")";
    if (failure.osError == 0) return line + ": the device does not accept the serial settings";
    const DWORD error = static_cast<DWORD>(failure.osError);
    line += ": " + win32::SystemMessage(error);
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
        line += " — another program is using the port";
    } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        line += " — this computer has no such port";
    }
    return line;
}

}  // namespace platform
