// SPDX-License-Identifier: MIT
#pragma once
// The simulated QLX-DUO unit: its command language, modes and stored codes, free of any device.

#include <optional>
#include <string>
#include <vector>

#include "link/protocol.h"

namespace sim {

struct UnitOptions {
    std::string identity = "QLX-11D";
    std::string firmware = "1.03";
    unit::PortParameters a{1, 2, 0, 21, 0, 2};
    unit::PortParameters b{0, 0, 0, 33, 0, 0};
    std::string stateFile;  // stored codes kept across runs; empty: none
    int replyDelayMs = 0;
    bool silent = false;               // never answers
    std::vector<std::string> rejects;  // commands starting so are answered "NG"
    std::string hold;                  // a command starting so holds its reply, and those after it
};

// One command line: its text, and its bytes as they came (for the log).
struct ReceivedLine {
    std::string text;
    std::string bytes;
};

// Collects command lines from bytes as they arrive: carriage returns are dropped wherever they
// are, a line feed ends the line. A line keeps at most 1024 characters, and 4096 of its bytes.
class LineAssembler {
public:
    std::vector<ReceivedLine> Feed(const char* bytes, size_t count);

private:
    ReceivedLine m_pending;
};

class SimUnit {
public:
    explicit SimUnit(UnitOptions options);

    // The reply to one command line, without its line end; nothing when the unit stays silent.
    std::optional<std::string> Answer(const std::string& line);
    // The unit's mode switch: back to setting mode.
    void ReturnToSettingMode() { m_normalMode = false; }
    bool InNormalMode() const { return m_normalMode; }
    const UnitOptions& Options() const { return m_options; }

private:
    std::string Reply(const std::string& line);
    std::string SetParameters(const std::string& line);
    std::string Store(const std::string& line);

    UnitOptions m_options;
    unit::PortParameters m_a;
    unit::PortParameters m_b;
    bool m_normalMode = false;
};

// The stored codes of a state file; false when it is missing or unreadable.
bool LoadState(const std::string& path, unit::PortParameters& a, unit::PortParameters& b);
// Replaces the state file as a whole; false on failure.
bool SaveState(const std::string& path, const unit::PortParameters& a, const unit::PortParameters& b);

}  // namespace sim
