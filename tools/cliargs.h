// SPDX-License-Identifier: MIT
#pragma once
// Reading qlxduo-cli's command line: its tables of commands and options, and the ports, files and
// codes in what they read, every value checked. --help and --version are answered here.

#include <optional>
#include <string>
#include <vector>

#include "cmdline/cmdline.h"
#include "tools/output.h"
#include "tools/request.h"

namespace cli {

// Fills request from the arguments (without the program name). Nothing is returned when the
// command is to run; otherwise the exit status, once the help or the version went to out (0) or a
// usage error naming what was wrong went to err (2; a JSON object when --json was given). Words
// that begin with "/" are read in this system's way unless slashWords says otherwise.
std::optional<int> ParseArguments(const std::vector<std::string>& args, Request& request, COutput& out,
                                  COutput& err, cmdline::SlashWords slashWords = cmdline::SystemSlashWords());

// Reports a usage error found after the arguments were read (a configuration file, say); returns
// the exit status for it.
int UsageError(const std::string& message, bool json, COutput& err);

}  // namespace cli
