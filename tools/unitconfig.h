// SPDX-License-Identifier: MIT
#pragma once
// Configuration files: what `read N --json` prints, read back for `write --from` and `diff`.
//
// One JSON object. "schema" names the version of the format (1; a file without it is read as 1, a
// file of another schema is refused). "A" and "B" hold the six codes of each port; a file may hold
// one of them only, and then the other port is left as the unit has it. The baud rate may be
// given by "baudCode", "baudRate" (9600) or "baud" ("9600bps"); those given must agree. Every
// other key ("port", "identity", "firmware", ...) is a record of where the file came from and is
// not used.

#include <optional>
#include <string>

#include "link/protocol.h"

namespace cli {

inline constexpr int kConfigSchema = 1;

struct UnitConfig {
    std::optional<unit::PortParameters> a;
    std::optional<unit::PortParameters> b;
};

// Reads the configuration in text; false with a message naming the field and what is wrong, which
// shows a value of the file only cut short. Whatever the text (no JSON, a NUL byte, a number
// beyond a double's range, nesting of any depth), it is refused so and never throws. The codes
// are read, not checked (CheckCodes does that).
bool ParseConfig(const std::string& text, UnitConfig& config, std::string& error);

// Reads the file at path ("-": standard input), a regular file of at most 1 MiB; false with a
// message that names the file.
bool LoadConfig(const std::string& path, UnitConfig& config, std::string& error);

}  // namespace cli
