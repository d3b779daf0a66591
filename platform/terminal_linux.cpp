// SPDX-License-Identifier: MIT
#include <signal.h>
#include <unistd.h>

#include "platform/terminal.h"

namespace platform {

// A Linux terminal takes bytes as they are; UTF-8 is the locale's business.
void UseUtf8Console() {}

namespace {

std::FILE* FileOf(StandardStream stream) {
    return stream == StandardStream::Output ? stdout : stderr;
}

}  // namespace

bool WriteStandard(StandardStream stream, std::string_view bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), FileOf(stream)) == bytes.size();
}

bool FlushStandard(StandardStream stream) {
    return std::fflush(FileOf(stream)) == 0;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

bool SlashOptionsAreUsual() {
    return false;
}

bool StandardErrorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

bool StandardOutputIsTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

std::FILE* OpenForAppending(const std::string& utf8Path) {
    // "e": closed on exec, as every descriptor the programs open.
    return std::fopen(utf8Path.c_str(), "abe");
}

void ReportFailedWrites() {
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

}  // namespace platform
