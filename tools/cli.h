// SPDX-License-Identifier: MIT
#pragma once
// qlxduo-cli: reads, writes, compares and switches units from a terminal or a script, the way the
// window talks to them, one unit or many at once.

#include <string>
#include <vector>

#include "tools/output.h"

namespace cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitUnitFailed = 1;  // the unit did not answer, answered wrongly, or differs
inline constexpr int kExitUsage = 2;       // also a value the unit cannot take; nothing was sent
inline constexpr int kExitOpenFailed = 3;  // the COM port did not open
// Standard output or the trace could not be written (a full disk, a closed pipe): what was printed
// is incomplete, though the work on the units was done.
inline constexpr int kExitOutputFailed = 4;

// Whether a progress line ("3/8 done") goes to err while several units are worked on: only where
// someone watches it, a terminal.
enum class Progress { Hidden, Shown };
// Whether standard output is a terminal: watch rings the bell there at a unit that failed, and
// after a ^C typed there (which the terminal shows) the lines go on from a line of their own.
enum class Bell { Silent, Rung };

// Runs one command (arguments without the program name); results go to out, failures to err.
// Returns the process exit status: for one port that of its outcome; for several, 0 only when
// every unit succeeded, else 1; whatever the ports, kExitOutputFailed when out or the trace could
// not be written.
int RunCli(const std::vector<std::string>& args, COutput& out, COutput& err,
           Progress progress = Progress::Hidden, Bell bell = Bell::Silent);

}  // namespace cli
