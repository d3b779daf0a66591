// SPDX-License-Identifier: MIT
#include <windows.h>

#include <shlobj.h>

#include "platform/userfolders.h"
#include "platform/winutil_win32.h"

namespace platform {

const char* const kPathSeparators = "\\/";

// The roaming application-data folder (%APPDATA%), as it is; it is not made when missing.
std::string AppDataFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) return {};
    return win32::Narrow(folder);
}

std::string ExecutablePath() {
    // Long paths are allowed: grow the buffer until the whole path fits.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::wstring path(size, L'\0');
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), size);
        if (length == 0) return {};
        if (length < size) return win32::Narrow(path.data(), length);
    }
    return {};
}

bool PathExists(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return !path.empty() && GetFileAttributesExW(win32::Widen(path).c_str(), GetFileExInfoStandard, &data);
}

bool MakeFolder(const std::string& path) {
    return CreateDirectoryW(win32::Widen(path).c_str(), nullptr) != 0;
}

}  // namespace platform
