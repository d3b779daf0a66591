// SPDX-License-Identifier: MIT
#pragma once
// What the Windows services share: UTF-8 inside the program and UTF-16 at the system's wide (W)
// functions, the system's own words for an error number, and the check that every access to the
// settings file makes before it reads or writes anything.

#include <windows.h>

#include <string>

namespace platform::win32 {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const wchar_t* utf16, size_t length);
std::string Narrow(const std::wstring& utf16);
std::string Narrow(const wchar_t* utf16);

// The system's message for an error number (FormatMessageW), without its line end and full stop;
// "error N" when the system has none.
std::string SystemMessage(DWORD error);

// The full path that a path names (GetFullPathNameW); the path itself when it cannot be made.
std::wstring FullPath(const std::wstring& path);

// True for a path that names a device rather than a file: reserved names such as CON, NUL or
// COM1.ini in any folder, and the device namespace (\\.\COM1, \\.\pipe\...).
bool NamesDevice(const std::wstring& path);

enum class SettingsFileOpen {
    Opened,   // a regular file on a disk, within kMaxFileSize (atomicfile.h); handle is open
    Absent,   // no such file, or no such folder
    Refused,  // a device, a pipe, a folder, too large, or read-only for a write
    Failed,   // could not be opened (no access, held by another program)
};

// Opens the settings file with CreateFileW(access, share, disposition) and checks what was opened,
// so a file swapped in between cannot slip past. Device names are refused before anything is
// opened (opening a serial port may switch its lines). Opening for writing refuses a file marked
// read-only. On anything but Opened, handle is INVALID_HANDLE_VALUE.
SettingsFileOpen OpenSettingsFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                                  HANDLE& handle);

// What the path holds now, by the same rules, for reading or for writing; nothing is kept open.
SettingsFileOpen ProbeSettingsFile(const std::wstring& path, bool forWriting);

}  // namespace platform::win32
