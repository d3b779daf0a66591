// SPDX-License-Identifier: MIT
// The serial ports are the system's own list: the values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM,
// each a device name (the value's name) and its COM text (the value's data).
#include <windows.h>

#include <cctype>
#include <cwchar>

#include "platform/portlist.h"
#include "platform/winutil_win32.h"

namespace platform {
namespace {

constexpr DWORD kBufferCharacters = 256;

// The COM text of a value's data: up to its terminator, which the system need not have stored.
std::wstring DataText(const wchar_t* data, DWORD bytes) {
    const size_t characters = bytes / sizeof(wchar_t);
    size_t length = 0;
    while (length < characters && data[length] != L'\0') ++length;
    return std::wstring(data, length);
}

// The first three characters (COM) are skipped unread and the number is read as atoi reads it;
// 0 when the text is too short to hold one.
int PortNumberOf(const std::wstring& text) {
    return text.size() < 4 ? 0 : static_cast<int>(std::wcstol(text.c_str() + 3, nullptr, 10));
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Digits without a leading zero (the system has COM7, no COM07) as a port number; 0 for anything else.
int PortDigits(const std::string& digits) {
    if (digits.empty() || digits.size() > 3 || digits[0] == '0') return 0;
    int number = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return 0;
        number = number * 10 + (c - '0');
    }
    return IsComPortNumber(number) ? number : 0;
}

}  // namespace

std::vector<SerialPortEntry> EnumerateSerialPorts() {
    std::vector<SerialPortEntry> entries;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return entries;
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
        const std::wstring text = DataText(data, dataBytes);
        if (!IsComPortNumber(PortNumberOf(text))) continue;
        entries.push_back({win32::Narrow(text), win32::Narrow(name, nameLength)});
    }
    RegCloseKey(key);
    return entries;
}

int ComNumberOfDevicePath(const std::string& path) {
    if (path.size() < 8 || !IsSeparator(path[0]) || !IsSeparator(path[1]) ||
        (path[2] != '.' && path[2] != '?') || !IsSeparator(path[3]))
        return 0;
    std::string com = path.substr(4, 3);
    for (char& c : com) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return com == "COM" ? PortDigits(path.substr(7)) : 0;
}

// The registry lists only ports whose device is there.
std::vector<SerialPortEntry> EnumerateSerialPortsWithAbsent() {
    return EnumerateSerialPorts();
}

}  // namespace platform
