// SPDX-License-Identifier: MIT
#pragma once
// A command line of qlxduo-cli, read: the command, the ports and the options.

#include <optional>
#include <string>
#include <vector>

#include "link/protocol.h"
#include "tools/linetracer.h"
#include "tools/portspec.h"

namespace cli {

enum class Command { Ports, Find, Read, Write, Diff, Normal, Watch };

struct Request {
    Command command = Command::Ports;
    std::vector<PortSpec> ports;
    bool everyPort = false;                         // "all": every port present
    bool json = false;                              // --json
    bool withAbsent = false;                        // ports --all
    bool readOnly = false;                          // ports --no-assign: the port map is only read
    std::string traceFile;                          // --trace; "-" is standard error; empty: no trace
    TraceClock traceClock = TraceClock::Monotonic;  // --trace-time
    std::string configFile;                 // write and watch --from, diff's FILE; "-" is standard input
    std::optional<unit::PortParameters> a;  // --a
    std::optional<unit::PortParameters> b;  // --b
    // watch
    bool present = false;   // --present: also the units present at the start
    bool toNormal = false;  // --normal
    std::string logFile;    // --log: JSON Lines
    std::string csvFile;    // --csv
    int count = 0;          // --count: end after this many units; 0: at Ctrl+C only
};

}  // namespace cli
