// Whole-file access to the settings file through the wide file functions. Every open checks what
// it opened (a regular file on a disk within the size limit); the replace writes a temporary file
// beside the target and puts it in place in one step, keeping the old file's attributes and
// security (ReplaceFileW).
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/atomicfile.h"
#include "platform/winutil_win32.h"

namespace platform {
namespace {

using win32::SettingsFileOpen;

// Reads the opened file to its end, never holding more than the size limit; false on any error
// or when the file grew past the limit meanwhile. Closes the handle.
bool ReadOpened(HANDLE handle, std::string& contents) {
    std::string got;
    char buffer[8192];
    bool ok = true;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(handle, buffer, sizeof buffer, &read, nullptr)) ok = false;
        if (!ok || read == 0) break;
        got.append(buffer, read);
        if (got.size() > win32::kSettingsFileLimit) ok = false;
    }
    CloseHandle(handle);
    if (ok) contents.swap(got);
    return ok;
}

bool WriteAll(HANDLE handle, const std::string& contents) {
    size_t done = 0;
    while (done < contents.size()) {
        DWORD wrote = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(contents.size() - done, 1 << 16));
        if (!WriteFile(handle, contents.data() + done, chunk, &wrote, nullptr) || wrote == 0) return false;
        done += wrote;
    }
    return true;
}

// The temporary file has one fixed name per settings file, so a save cut short (a kill, a power
// failure) leaves at most that one file, and the next save takes it over.
std::wstring TemporaryName(const std::wstring& target) {
    return target + L".qlxduo-tmp";
}

// The attributes a replaced file keeps; read-only files are never replaced.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool WriteTemporary(const std::wstring& temp, const std::string& contents, DWORD attributes) {
    // CREATE_ALWAYS with hidden or system attributes fails on a plain leftover: start it afresh.
    DeleteFileW(temp.c_str());
    HANDLE handle = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool ok = WriteAll(handle, contents) && FlushFileBuffers(handle);
    return CloseHandle(handle) && ok;
}

}  // namespace

FileRead ReadWholeFile(const std::string& path, std::string& contents) {
    HANDLE handle;
    switch (win32::OpenSettingsFile(win32::Widen(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    OPEN_EXISTING, handle)) {
        case SettingsFileOpen::Absent:
            return FileRead::Absent;
        case SettingsFileOpen::Refused:
            return FileRead::Failed;
        case SettingsFileOpen::Opened:
            break;
    }
    return ReadOpened(handle, contents) ? FileRead::Read : FileRead::Failed;
}

bool ReadWholeFileForUpdate(const std::string& path, std::string& contents) {
    HANDLE handle;
    // Not shared while it is read: the line editor holds the whole file from here on.
    if (win32::OpenSettingsFile(win32::Widen(path), GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS, handle) !=
        SettingsFileOpen::Opened)
        return false;
    return ReadOpened(handle, contents);
}

bool ReplaceWholeFile(const std::string& path, const std::string& contents) {
    if (path.empty()) return false;
    const std::wstring target = win32::FullPath(win32::Widen(path));
    const SettingsFileOpen old = win32::ProbeSettingsFile(target, true);
    if (old == SettingsFileOpen::Refused) return false;
    const DWORD oldAttributes = old == SettingsFileOpen::Opened ? GetFileAttributesW(target.c_str()) : 0;
    const DWORD attributes =
        oldAttributes == INVALID_FILE_ATTRIBUTES || (oldAttributes & kKeptAttributes) == 0
            ? FILE_ATTRIBUTE_NORMAL
            : oldAttributes & kKeptAttributes;
    const std::wstring temp = TemporaryName(target);
    // ReplaceFileW keeps the old file's attributes and security; the temporary file carries the
    // attributes too, for systems where ReplaceFileW does not.
    if (!WriteTemporary(temp, contents, attributes)) {
        DeleteFileW(temp.c_str());
        return false;
    }
    const bool replaced =
        old == SettingsFileOpen::Opened
            ? ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                           nullptr)
            : MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!replaced) DeleteFileW(temp.c_str());
    return replaced;
}

}  // namespace platform
