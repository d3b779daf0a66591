// SPDX-License-Identifier: MIT
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/records.h"
#include "platform/winutil_win32.h"

namespace platform {

std::string WallClockTime() {
    SYSTEMTIME utc{};
    GetSystemTime(&utc);
    SYSTEMTIME local{};
    TIME_ZONE_INFORMATION zone{};
    const DWORD kind = GetTimeZoneInformation(&zone);
    if (!SystemTimeToTzSpecificLocalTime(&zone, &utc, &local)) local = utc;
    // The offset is what lies between the two clocks, daylight saving included.
    FILETIME utcFile{}, localFile{};
    SystemTimeToFileTime(&utc, &utcFile);
    SystemTimeToFileTime(&local, &localFile);
    auto ticks = [](const FILETIME& f) {
        return static_cast<long long>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) |
                                      f.dwLowDateTime);
    };
    long offset = kind == TIME_ZONE_ID_INVALID
                      ? 0
                      : static_cast<long>((ticks(localFile) - ticks(utcFile)) / 600000000LL);
    char text[96];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u%c%02ld:%02ld", local.wYear,
                  local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond, local.wMilliseconds,
                  offset < 0 ? '-' : '+', std::labs(offset) / 60, std::labs(offset) % 60);
    return text;
}

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &length)) return {};
    return win32::Narrow(name, length);
}

std::string AppendDurably(const std::string& path, const std::string& text) {
    HANDLE file =
        CreateFileW(win32::Widen(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return win32::SystemMessage(GetLastError());
    std::string error;
    if (GetFileType(file) != FILE_TYPE_DISK) error = "not a regular file";
    DWORD wrote = 0;
    if (error.empty() && (!WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr) ||
                          wrote != text.size() || !FlushFileBuffers(file)))
        error = win32::SystemMessage(GetLastError());
    CloseHandle(file);
    return error;
}

bool FileIsEmpty(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(win32::Widen(path).c_str(), GetFileExInfoStandard, &data)) return true;
    return data.nFileSizeHigh == 0 && data.nFileSizeLow == 0;
}

}  // namespace platform
