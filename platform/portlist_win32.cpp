// SPDX-License-Identifier: MIT
// The serial ports are the system's own list: the values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM,
// each a device name (the value's name) and its COM text (the value's data).
#include <windows.h>

#include <string>

#include "platform/portlist.h"
#include "platform/winutil_win32.h"

namespace platform {
namespace {

constexpr DWORD kBufferCharacters = 256;
constexpr const wchar_t* kSerialComm = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// The COM text of a value's data: up to its terminator, which the system need not have stored.
std::wstring DataText(const wchar_t* data, DWORD bytes) {
    const size_t characters = bytes / sizeof(wchar_t);
    size_t length = 0;
    while (length < characters && data[length] != L'\0') ++length;
    return std::wstring(data, length);
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

}  // namespace

std::vector<SerialPortEntry> EnumerateSerialPorts() {
    std::vector<SerialPortEntry> entries;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialComm, 0, KEY_READ, &key) != ERROR_SUCCESS) return entries;
    // The scan ends at the first value that cannot be read, whatever the reason (the end of the
    // list, or a name or text longer than its buffer); the value's type is not looked at.
    for (DWORD index = 0;; ++index) {
        wchar_t name[kBufferCharacters];
        wchar_t data[kBufferCharacters];
        DWORD nameLength = kBufferCharacters;
        DWORD dataBytes = sizeof data;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                          &dataBytes) != ERROR_SUCCESS)
            break;
        const std::string text = win32::Narrow(DataText(data, dataBytes));
        if (PortOfListedName(text) == 0) continue;
        entries.push_back({text, win32::Narrow(name, nameLength)});
    }
    RegCloseKey(key);
    return entries;
}

int ComNumberOfDevicePath(const std::string& path) {
    // \\.\COM7 written with either slash, or as \\?\COM7, reads as the port's one spelling.
    if (path.size() < 5 || !IsSeparator(path[0]) || !IsSeparator(path[1]) ||
        (path[2] != '.' && path[2] != '?') || !IsSeparator(path[3]))
        return 0;
    int port = 0;
    return ReadPortNumber("\\\\.\\" + path.substr(4), port) == PortText::Port ? port : 0;
}

std::string WhyNoSerialPorts() {
    HKEY key;
    const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialComm, 0, KEY_READ, &key);
    // The system makes the key with the first serial port.
    if (opened == ERROR_FILE_NOT_FOUND) return "the system lists no serial port";
    if (opened != ERROR_SUCCESS)
        return "the system's list of serial ports (HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM) cannot be read: " +
               win32::SystemMessage(static_cast<DWORD>(opened));
    RegCloseKey(key);
    return "the system lists no serial port";
}

// Filled in from the system's device information in a later step.
SerialAdapter SerialAdapterOf(const std::string&) {
    return {};
}

// The registry lists only ports whose device is there.
std::vector<SerialPortEntry> EnumerateSerialPortsWithAbsent() {
    return EnumerateSerialPorts();
}

}  // namespace platform
