// SPDX-License-Identifier: MIT
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

// An open file handle, closed with the object.
class FileHandle {
public:
    FileHandle() = default;
    ~FileHandle() {
        if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE& Receive() { return m_handle; }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

// Reads the opened file from its start to its end, never holding more than the size limit:
// Refused when the file grew past it meanwhile, Failed on any error.
FileRead ReadAll(HANDLE handle, std::string& contents) {
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(handle, start, nullptr, FILE_BEGIN)) return FileRead::Failed;
    std::string got;
    char buffer[8192];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(handle, buffer, sizeof buffer, &read, nullptr)) return FileRead::Failed;
        if (read == 0) break;
        got.append(buffer, read);
        if (got.size() > kMaxFileSize) return FileRead::Refused;
    }
    contents.swap(got);
    return FileRead::Read;
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

enum class TemporaryWrite { Written, Denied, Failed };

// Denied when the folder does not let this process make the temporary file.
TemporaryWrite WriteTemporary(const std::wstring& temp, const std::string& contents, DWORD attributes) {
    // CREATE_ALWAYS with hidden or system attributes fails on a plain leftover: start it afresh.
    DeleteFileW(temp.c_str());
    FileHandle file;
    file.Receive() = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    if (file.Get() == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_ACCESS_DENIED ? TemporaryWrite::Denied : TemporaryWrite::Failed;
    }
    const bool ok = WriteAll(file.Get(), contents) && FlushFileBuffers(file.Get());
    return ok ? TemporaryWrite::Written : TemporaryWrite::Failed;
}

bool Overwrite(HANDLE handle, const std::string& contents) {
    LARGE_INTEGER start{};
    return SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) && SetEndOfFile(handle) &&
           WriteAll(handle, contents) && FlushFileBuffers(handle);
}

// Writes contents over the file itself, which keeps its attributes and security; when the new
// contents cannot be written whole, the old ones are put back.
bool WriteInPlace(const std::wstring& target, const std::string& contents) {
    FileHandle file;
    std::string old;
    if (win32::OpenSettingsFile(target, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, file.Receive()) !=
            SettingsFileOpen::Opened ||
        ReadAll(file.Get(), old) != FileRead::Read)
        return false;
    if (Overwrite(file.Get(), contents)) return true;
    Overwrite(file.Get(), old);
    return false;
}

}  // namespace

FileRead ReadWholeFile(const std::string& path, std::string& contents) {
    FileHandle file;
    switch (win32::OpenSettingsFile(win32::Widen(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    OPEN_EXISTING, file.Receive())) {
        case SettingsFileOpen::Absent:
            return FileRead::Absent;
        case SettingsFileOpen::Refused:
            return FileRead::Refused;
        case SettingsFileOpen::Failed:
            return FileRead::Failed;
        case SettingsFileOpen::Opened:
            break;
    }
    return ReadAll(file.Get(), contents);
}

bool ReadWholeFileForUpdate(const std::string& path, std::string& contents) {
    FileHandle file;
    // Not shared while it is read: the line editor holds the whole file from here on.
    return win32::OpenSettingsFile(win32::Widen(path), GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS,
                                   file.Receive()) == SettingsFileOpen::Opened &&
           ReadAll(file.Get(), contents) == FileRead::Read;
}

bool ReplaceWholeFile(const std::string& path, const std::string& contents) {
    if (path.empty()) return false;
    const std::wstring target = win32::FullPath(win32::Widen(path));
    const SettingsFileOpen old = win32::ProbeSettingsFile(target, true);
    if (old != SettingsFileOpen::Opened && old != SettingsFileOpen::Absent) return false;
    const DWORD oldAttributes = old == SettingsFileOpen::Opened ? GetFileAttributesW(target.c_str()) : 0;
    const DWORD attributes =
        oldAttributes == INVALID_FILE_ATTRIBUTES || (oldAttributes & kKeptAttributes) == 0
            ? FILE_ATTRIBUTE_NORMAL
            : oldAttributes & kKeptAttributes;
    const std::wstring temp = TemporaryName(target);
    // ReplaceFileW keeps the old file's attributes and security; the temporary file carries the
    // attributes too, for systems where ReplaceFileW does not.
    switch (WriteTemporary(temp, contents, attributes)) {
        case TemporaryWrite::Written:
            break;
        case TemporaryWrite::Denied:
            // The folder takes no new file, but the file itself may be written: keep the edit.
            DeleteFileW(temp.c_str());
            return old == SettingsFileOpen::Opened && WriteInPlace(target, contents);
        case TemporaryWrite::Failed:
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
