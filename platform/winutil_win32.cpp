// SPDX-License-Identifier: MIT
#include "platform/winutil_win32.h"

#include "platform/atomicfile.h"

#include <string_view>

namespace platform::win32 {

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
    return wide;
}

std::string Narrow(const wchar_t* utf16, size_t length) {
    if (length == 0) return {};
    const int size = static_cast<int>(length);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, utf16, size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16, size, utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}

std::string Narrow(const std::wstring& utf16) {
    return Narrow(utf16.data(), utf16.size());
}

std::string Narrow(const wchar_t* utf16) {
    return Narrow(utf16, std::wstring_view(utf16).size());
}

std::string SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text != nullptr ? text : L"", length);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
        message.pop_back();
    // A sentence's full stop, so the message reads as one part of a longer line.
    if (!message.empty() && (message.back() == L'.' || message.back() == L'\u3002')) message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : Narrow(message);
}

std::wstring FullPath(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return path;
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);  // the size it needs, terminator included
    }
    return path;
}

bool NamesDevice(const std::wstring& path) {
    const std::wstring full = FullPath(path);
    if (full.starts_with(L"\\\\.\\")) return true;
    if (!full.starts_with(L"\\\\?\\")) return false;
    // \\?\C:\... and \\?\UNC\... are files; anything else there is a device or a volume.
    const std::wstring_view rest = std::wstring_view(full).substr(4);
    const bool drivePath = rest.size() >= 3 && rest[1] == L':' && rest[2] == L'\\';
    return !drivePath && !rest.starts_with(L"UNC\\");
}

namespace {

bool IsRegularWithinLimit(HANDLE handle, bool forWriting) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) return false;
    const ULONGLONG size = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || size > kMaxFileSize) return false;
    return !forWriting || (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0;
}

}  // namespace

SettingsFileOpen OpenSettingsFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                                  HANDLE& handle) {
    handle = INVALID_HANDLE_VALUE;
    if (path.empty()) return SettingsFileOpen::Absent;
    if (NamesDevice(path)) return SettingsFileOpen::Refused;
    HANDLE opened =
        CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return SettingsFileOpen::Absent;
        // A folder cannot be opened as a file; what is there is known, so it is refused.
        const DWORD attributes = GetFileAttributesW(path.c_str());
        const bool folder =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        return folder ? SettingsFileOpen::Refused : SettingsFileOpen::Failed;
    }
    if (!IsRegularWithinLimit(opened, (access & GENERIC_WRITE) != 0)) {
        CloseHandle(opened);
        return SettingsFileOpen::Refused;
    }
    handle = opened;
    return SettingsFileOpen::Opened;
}

SettingsFileOpen ProbeSettingsFile(const std::wstring& path, bool forWriting) {
    HANDLE handle;
    // Opened and closed at once, sharing everything: other openers are not disturbed.
    const SettingsFileOpen result =
        OpenSettingsFile(path, forWriting ? GENERIC_WRITE : GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, handle);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    return result;
}

}  // namespace platform::win32
