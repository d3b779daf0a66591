// SPDX-License-Identifier: MIT
#pragma once
// The command-line programs' terminal: arguments and output as UTF-8 bytes on every system, so a
// script sees the same bytes from the tool on Windows as on Linux; and whether standard error is a
// terminal someone watches, so that lines meant for a person only (a progress line rewritten in
// place) stay out of files and pipes.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Makes standard output and error carry the program's UTF-8 text: to a console as text that it
// shows whole, to a file or a pipe byte for byte (no line feed becomes CR LF on the way out).
void UseUtf8Console();

enum class StandardStream { Output, Error };
// Writes UTF-8 bytes to standard output or error, as UseUtf8Console set them up; false when they
// did not all go out. A character cut between two writes is shown whole.
bool WriteStandard(StandardStream stream, std::string_view bytes);
// Hands on what the C library buffered; false when that failed.
bool FlushStandard(StandardStream stream);

// The program's arguments after its name, as UTF-8 (on Windows taken from the wide command line,
// so arguments in any script arrive whole).
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Whether people here write options with a slash as well ("/?"): on Windows, whose own programs
// take them so; not on Linux, where such a word is a path.
bool SlashOptionsAreUsual();

bool StandardErrorIsTerminal();
bool StandardOutputIsTerminal();

// Opens a file by its UTF-8 name for appending bytes as they are (no line-end conversion), for the
// tool's trace; null when it cannot be opened. A C library file: the C++ file streams would bring
// their own copy of the path and file machinery into the Windows tool.
std::FILE* OpenForAppending(const std::string& utf8Path);

// Makes a write to a pipe whose reader has gone (`qlxduo-cli ... | head`), or beyond the file size
// limit (ulimit -f), fail like any other failed write, for the program to report, instead of
// ending the process on the spot: on Linux SIGPIPE and SIGXFSZ are ignored; Windows has no such
// signals. Call first in main: the ending of the process on a signal, set up after it, leaves an
// ignored signal ignored.
void ReportFailedWrites();

}  // namespace platform
