// SPDX-License-Identifier: MIT
#pragma once
// Running the simulated unit on a pseudo-terminal: its command line and its main loop.

#include <string>
#include <vector>

#include "sim/simunit.h"

namespace sim {

struct SimOptions {
    UnitOptions unit;
    int com = 0;           // registers the unit in the COM port map as com<N>; 0: not registered
    std::string logFile;   // the trace of the line; empty: standard error
    std::string wireFile;  // every received byte, exactly as received; empty: none
};

enum class SimArguments {
    Run,       // the options are read: play the unit
    Answered,  // --help or --version: print the text and end
    Invalid,   // a usage error: the text names it, for standard error
};

// Reads the program's options (without the program name) into options, which change only when the
// result is Run; text gets the help, the version or the error otherwise.
SimArguments ParseSimOptions(const std::vector<std::string>& args, SimOptions& options, std::string& text);

// Plays the unit until a signal ends it (SIGTERM, SIGINT, SIGHUP, ...; SIGUSR1 is the mode switch,
// SIGUSR2 releases the replies --hold held back), then removes its port map link. Prints the
// device path as the first line of standard output. Returns the process exit status.
int RunSimulatedUnit(const SimOptions& options);

}  // namespace sim
