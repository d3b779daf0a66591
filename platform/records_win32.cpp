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

namespace {

// A record file, open for reading its last byte and for writing at its end, closed with the object.
class CRecordFile {
public:
    CRecordFile(const std::string& path, DWORD disposition)
        : m_file(CreateFileW(win32::Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                             nullptr)) {
        if (m_file == INVALID_HANDLE_VALUE)
            m_error = win32::SystemMessage(GetLastError());
        else if (GetFileType(m_file) != FILE_TYPE_DISK)
            m_error = "not a regular file";
        else if (!GetFileSizeEx(m_file, &m_size))
            m_error = win32::SystemMessage(GetLastError());
    }
    ~CRecordFile() {
        if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    }
    CRecordFile(const CRecordFile&) = delete;
    CRecordFile& operator=(const CRecordFile&) = delete;

    // Empty once open; else why not.
    const std::string& Error() const { return m_error; }
    std::uint64_t Size() const { return static_cast<std::uint64_t>(m_size.QuadPart); }

    // Appends the record, with a line end before it when the file's last byte is none, and flushes
    // it to disk. Empty, or why it failed.
    std::string Append(const std::string& text) {
        const std::string bytes = (EndsLine() ? "" : text.ends_with("\r\n") ? "\r\n" : "\n") + text;
        DWORD wrote = 0;
        if (!MoveTo(Size()) ||
            !WriteFile(m_file, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr))
            return win32::SystemMessage(GetLastError());
        if (wrote != bytes.size())
            return std::to_string(wrote) + " of " + std::to_string(bytes.size()) +
                   " bytes written (a full disk?)";
        return FlushFileBuffers(m_file) ? "" : win32::SystemMessage(GetLastError());
    }

    // Cuts the file to size and flushes it to disk. Empty, or why it failed.
    std::string CutTo(std::uint64_t size) {
        FILE_END_OF_FILE_INFO end{};
        end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
        if (!SetFileInformationByHandle(m_file, FileEndOfFileInfo, &end, sizeof end) ||
            !FlushFileBuffers(m_file))
            return win32::SystemMessage(GetLastError());
        return {};
    }

private:
    bool MoveTo(std::uint64_t offset) {
        LARGE_INTEGER at{};
        at.QuadPart = static_cast<LONGLONG>(offset);
        return SetFilePointerEx(m_file, at, nullptr, FILE_BEGIN) != 0;
    }
    bool EndsLine() {
        char last = '\n';
        DWORD read = 0;
        return Size() == 0 || !MoveTo(Size() - 1) || !ReadFile(m_file, &last, 1, &read, nullptr) ||
               read != 1 || last == '\n';
    }

    HANDLE m_file;
    LARGE_INTEGER m_size{};
    std::string m_error;
};

}  // namespace

std::string AppendRecord(const std::string& path, const std::string& text, std::uint64_t* sizeBefore) {
    CRecordFile file(path, OPEN_ALWAYS);
    if (!file.Error().empty()) return file.Error();
    if (sizeBefore != nullptr) *sizeBefore = file.Size();
    if (text.empty()) return {};
    std::string error = file.Append(text);
    if (error.empty()) return {};
    // Cutting back never grows the file: a full disk does not stand in its way.
    const std::string cut = file.CutTo(file.Size());
    return cut.empty() ? error : error + "; the part written stays: " + cut;
}

std::string TakeBackRecord(const std::string& path, std::uint64_t size) {
    CRecordFile file(path, OPEN_EXISTING);
    return file.Error().empty() ? file.CutTo(size) : file.Error();
}

bool FileIsEmpty(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(win32::Widen(path).c_str(), GetFileExInfoStandard, &data)) return true;
    return data.nFileSizeHigh == 0 && data.nFileSizeLow == 0;
}

}  // namespace platform
