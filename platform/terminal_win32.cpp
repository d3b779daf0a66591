// SPDX-License-Identifier: MIT
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <iostream>
#include <streambuf>

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
// write on its own: the C library writes an unbuffered stream byte by byte, and a character's bytes
// in separate writes would show as replacement characters.
class CConsoleBuffer : public std::streambuf {
public:
    explicit CConsoleBuffer(HANDLE console) : m_console(console) {}

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        m_pending.push_back(traits_type::to_char_type(c));
        WritePending();
        return c;
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        m_pending.append(text, static_cast<size_t>(count));
        WritePending();
        return count;
    }

private:
    void WritePending() {
        const size_t whole = WholeCharacters(m_pending);
        if (whole == 0) return;
        const std::wstring wide = win32::Widen(m_pending.substr(0, whole));
        DWORD written = 0;
        WriteConsoleW(m_console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        m_pending.erase(0, whole);
    }

    HANDLE m_console;
    std::string m_pending;
};

// A console gets the UTF-16 text; a file or a pipe the bytes as they are. Text mode would turn
// every "\n" into "\r\n": output must be byte for byte what Linux prints.
void UseUtf8(std::ostream& stream, FILE* file, DWORD which) {
    const HANDLE output = GetStdHandle(which);
    if (IsConsole(output)) {
        // Never deleted: the stream writes through it up to the process's very end.
        stream.rdbuf(new CConsoleBuffer(output));
    } else {
        _setmode(_fileno(file), _O_BINARY);
    }
}

}  // namespace

void UseUtf8Console() {
    SetConsoleOutputCP(CP_UTF8);
    UseUtf8(std::cout, stdout, STD_OUTPUT_HANDLE);
    UseUtf8(std::cerr, stderr, STD_ERROR_HANDLE);
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
void ReportClosedPipes() {}

}  // namespace platform
