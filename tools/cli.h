#pragma once
// qlxduo-cli: reads, writes and switches a unit from a terminal or a script, the way the window
// talks to it.

#include <ostream>
#include <string>
#include <vector>

namespace cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitUnitFailed = 1;  // the unit did not answer, or answered wrongly
inline constexpr int kExitUsage = 2;
inline constexpr int kExitOpenFailed = 3;  // the COM port did not open

extern const char* const kUsage;

// Runs one command (arguments without the program name); results go to out, failures to err.
// Returns the process exit status.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
