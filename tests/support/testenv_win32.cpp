// SPDX-License-Identifier: MIT
// Windows test support: temporary folders and environment through the C runtime, and a crash
// that always ends the test program with a failure status.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "testenv.h"
#include "testsystem.h"

namespace testenv::system {
namespace {

// The status a crashed test program ends with. Wine passes on only the low byte of an exit code,
// so the exception code itself could come out as 0 and read as a pass.
constexpr UINT kCrashStatus = 99;

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
    std::fprintf(stderr, "test program crashed: exception 0x%08lx\n",
                 static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode));
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), kCrashStatus);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

std::string TemporaryFolder() {
    return std::filesystem::temp_directory_path().string();
}

std::string MakeUniqueFolder(const std::string& parent) {
    std::random_device seed;
    std::mt19937 random(seed() ^ GetCurrentProcessId());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = parent + "/qlxduo-test-" + std::to_string(random() % 1000000000u);
        std::error_code ec;
        if (std::filesystem::create_directory(path, ec)) return path;
    }
    throw std::runtime_error("cannot make a folder in " + parent);
}

void SetVariable(const char* name, const std::optional<std::string>& value) {
    _putenv_s(name, value ? value->c_str() : "");
}

// Folders have no write permission to take away; the read-only attribute of files is tested with
// the settings-file checks of the Windows build.
bool IgnoresPermissionBits() {
    return true;
}

std::string PermissionBitsNote() {
    return "Windows has no permission bits";
}

void IsolateProgram(const std::string&) {
    // Settings live under the Wine prefix's own application-data folder, private to the run.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(ReportCrash);
}

}  // namespace testenv::system

namespace testenv {

std::wstring Wide(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())).wstring();
}

}  // namespace testenv
