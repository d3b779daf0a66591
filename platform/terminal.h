// SPDX-License-Identifier: MIT
#pragma once
// The command-line programs' terminal: arguments and output as UTF-8 bytes on every system, so a
// script sees the same bytes from the tool on Windows as on Linux; and whether standard error is a
// terminal someone watches, so that lines meant for a person only (a progress line rewritten in
// place) stay out of files and pipes.

#include <string>
#include <vector>

namespace platform {

// Makes std::cout and std::cerr carry the program's UTF-8 text: to a console as text that it shows
// whole, to a file or a pipe byte for byte (no line feed becomes CR LF on the way out).
void UseUtf8Console();

// The program's arguments after its name, as UTF-8 (on Windows taken from the wide command line,
// so arguments in any script arrive whole).
std::vector<std::string> CommandLineArguments(int argc, char** argv);

bool StandardErrorIsTerminal();
bool StandardOutputIsTerminal();

// Makes a write to a pipe whose reader has gone (`qlxduo-cli ... | head`) fail like any other
// failed write, for the program to report, instead of ending the process on the spot: on Linux
// SIGPIPE is ignored; Windows has no such signal. Call first in main: the ending of the process
// on a signal, set up after it, leaves an ignored signal ignored.
void ReportClosedPipes();

}  // namespace platform
