// SPDX-License-Identifier: MIT
#pragma once
// A command line of qlxduo-cli, read: the command, the ports and the options.

#include <optional>
#include <string>
#include <vector>

#include "link/protocol.h"
#include "tools/portspec.h"

namespace cli {

enum class Command { Ports, Read, Write, Diff, Normal, Find };

struct Request {
    Command command = Command::Ports;
    std::vector<PortSpec> ports;
    bool everyPort = false;                 // "all": every port present
    bool json = false;                      // --json
    bool withAbsent = false;                // ports --all
    bool readOnly = false;                  // ports --no-assign: the port map is only read
    std::string traceFile;                  // --trace; "-" is standard error; empty: no trace
    std::string configFile;                 // write --from, diff's FILE; "-" is standard input
    std::optional<unit::PortParameters> a;  // --a
    std::optional<unit::PortParameters> b;  // --b
};

}  // namespace cli
