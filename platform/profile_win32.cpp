// SPDX-License-Identifier: MIT
// The private-profile functions are the system's own here, so the Windows rules for reading and
// writing INI files are the real ones. What is added: the settings-file check before each call
// (no device, no folder, nothing over the size limit), and no call at all for an empty path,
// which the system would take for win.ini.
#include <windows.h>
// The system's names for the text-type variants would rename this file's own functions.
#undef GetPrivateProfileInt
#undef WritePrivateProfileString

#include "platform/profile.h"
#include "platform/winutil_win32.h"

namespace platform {
namespace {

using win32::SettingsFileOpen;

// A bare file name would be looked for in the Windows folder: name it from the current folder, as
// every other file access does.
std::wstring ProfilePath(const char* path) {
    return win32::FullPath(win32::Widen(path));
}

}  // namespace

unsigned GetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* path) {
    const unsigned fallback = static_cast<unsigned>(defaultValue);
    if (section == nullptr || key == nullptr || path == nullptr || *path == '\0') return fallback;
    const std::wstring file = ProfilePath(path);
    if (win32::ProbeSettingsFile(file, false) != SettingsFileOpen::Opened) return fallback;
    return GetPrivateProfileIntW(win32::Widen(section).c_str(), win32::Widen(key).c_str(), defaultValue,
                                 file.c_str());
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* path) {
    if (section == nullptr || key == nullptr || value == nullptr || path == nullptr || *path == '\0')
        return false;
    const std::wstring file = ProfilePath(path);
    const SettingsFileOpen now = win32::ProbeSettingsFile(file, true);
    if (now != SettingsFileOpen::Opened && now != SettingsFileOpen::Absent) return false;
    return WritePrivateProfileStringW(win32::Widen(section).c_str(), win32::Widen(key).c_str(),
                                      win32::Widen(value).c_str(), file.c_str()) != 0;
}

}  // namespace platform
