// SPDX-License-Identifier: MIT
#pragma once
// The six codes of a unit port as the tool names them in configuration files, messages and
// differences: their keys, their English names and the values allowed.

#include <array>
#include <string>
#include <vector>

#include "link/protocol.h"

namespace cli {

struct CodeField {
    const char* key;  // as in a configuration file: "format", "baudCode", ...
    int unit::PortParameters::*member;
};

// In the unit's order.
inline constexpr std::array<CodeField, unit::kParameterCount> kCodeFields = {{
    {"format", &unit::PortParameters::format},
    {"flow", &unit::PortParameters::flow},
    {"dataLength", &unit::PortParameters::dataLength},
    {"baudCode", &unit::PortParameters::baudCode},
    {"stopBits", &unit::PortParameters::stopBits},
    {"parity", &unit::PortParameters::parity},
}};
inline constexpr CodeField kBaudField = kCodeFields[3];

// The English name of a field's code ("XON/XOFF", "9600bps"); empty when no such code exists.
std::string CodeName(const CodeField& field, int code);
// "21 (9600bps)", or the bare number for a code that does not exist.
std::string CodeWithName(const CodeField& field, int code);

// The rate of a baud entry as a number: 9600 for "9600bps", 134.5 for "134.5bps".
double BaudRate(const unit::BaudEntry& entry);

// Empty when every code is one the unit has (the baud code one of BaudTable's), else why not, with
// the field's name after prefix ("A." or "--a ") and the values allowed.
std::string CheckCodes(const std::string& prefix, const unit::PortParameters& codes);
// Empty when the unit's firmware offers the baud code, else why not, with the codes it offers.
std::string CheckOffered(const std::string& prefix, const unit::PortParameters& codes,
                         const std::string& firmware);

// One code in which the unit differs from a file.
struct Difference {
    char port;  // 'A' or 'B'
    const CodeField* field;
    int unit;
    int file;
    // "A.baudCode"
    std::string Name() const { return std::string(1, port) + "." + field->key; }
};
// The fields of port (its letter) whose codes differ, in the unit's order.
std::vector<Difference> Differences(char port, const unit::PortParameters& unitCodes,
                                    const unit::PortParameters& fileCodes);

}  // namespace cli
