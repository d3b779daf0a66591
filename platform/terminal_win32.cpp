// SPDX-License-Identifier: MIT
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <mutex>

#include "platform/terminal.h"
#include "platform/winutil_win32.h"

namespace platform {
namespace {

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

// The length of text up to its last whole UTF-8 character: the rest waits for its other bytes.
size_t WholeCharacters(const std::string& text) {
    const size_t size = text.size();
    for (size_t back = 1; back <= 3 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(text[size - back]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        const size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? size - back : size;
    }
    return size;
}

// Output to a console as the console takes text, in UTF-16 (WriteConsoleW). The console reads each
// write on its own: a character's bytes in separate writes would show as replacement characters, so
// the bytes of a character not yet whole wait for the rest.
class CConsole {
public:
    void Use(HANDLE console) { m_console = console; }
    bool InUse() const { return m_console != nullptr; }

    bool Write(std::string_view bytes) {
        std::lock_guard hold(m_mutex);
        m_pending.append(bytes);
        const size_t whole = WholeCharacters(m_pending);
        if (whole == 0) return true;
        const std::wstring wide = win32::Widen(m_pending.substr(0, whole));
        m_pending.erase(0, whole);
        DWORD written = 0;
        return WriteConsoleW(m_console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != 0;
    }

private:
    HANDLE m_console = nullptr;  // none: a file or a pipe
    std::mutex m_mutex;
    std::string m_pending;
};

CConsole g_consoles[2];

CConsole& ConsoleOf(StandardStream stream) {
    return g_consoles[stream == StandardStream::Output ? 0 : 1];
}

FILE* FileOf(StandardStream stream) {
    return stream == StandardStream::Output ? stdout : stderr;
}

// A console gets the UTF-16 text; a file or a pipe the bytes as they are. Text mode would turn
// every "\n" into "\r\n": output must be byte for byte what Linux prints.
void UseUtf8(StandardStream stream, DWORD which) {
    const HANDLE output = GetStdHandle(which);
    if (IsConsole(output))
        ConsoleOf(stream).Use(output);
    else
        _setmode(_fileno(FileOf(stream)), _O_BINARY);
}

}  // namespace

void UseUtf8Console() {
    SetConsoleOutputCP(CP_UTF8);
    UseUtf8(StandardStream::Output, STD_OUTPUT_HANDLE);
    UseUtf8(StandardStream::Error, STD_ERROR_HANDLE);
}

bool WriteStandard(StandardStream stream, std::string_view bytes) {
    CConsole& console = ConsoleOf(stream);
    if (console.InUse()) return console.Write(bytes);
    return std::fwrite(bytes.data(), 1, bytes.size(), FileOf(stream)) == bytes.size();
}

bool FlushStandard(StandardStream stream) {
    return ConsoleOf(stream).InUse() || std::fflush(FileOf(stream)) == 0;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(win32::Narrow(wide[i]));
    LocalFree(wide);
    return arguments;
}

bool SlashOptionsAreUsual() {
    return true;
}

// A console, not a file or a pipe; and not NUL either, which the C library's _isatty counts as a
// terminal because it is a character device.
bool StandardErrorIsTerminal() {
    return IsConsole(GetStdHandle(STD_ERROR_HANDLE));
}

bool StandardOutputIsTerminal() {
    return IsConsole(GetStdHandle(STD_OUTPUT_HANDLE));
}

std::FILE* OpenForAppending(const std::string& utf8Path) {
    // Through the wide name: a char name would be read in the ANSI code page.
    return _wfopen(win32::Widen(utf8Path).c_str(), L"ab");
}

// A write to a closed pipe fails with ERROR_NO_DATA; no signal ends the process.
void ReportFailedWrites() {}

}  // namespace platform
