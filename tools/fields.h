// SPDX-License-Identifier: MIT
#pragma once
// The six codes of a unit port as the tool names them in messages and differences, and the checks
// of codes given on the command line or in a file, in the words of the unit's field table.

#include <string>
#include <vector>

#include "link/protocol.h"

namespace cli {

// "21 (9600bps)", or the bare number for a code that does not exist.
std::string CodeWithName(const unit::ParameterField& field, int code);

// The rate of a baud entry as a number: 9600 for "9600bps", 134.5 for "134.5bps".
double BaudRate(const unit::BaudEntry& entry);

// Empty when every code is one the unit has (the baud code one of BaudTable's), else why not, with
// the field's name after prefix ("A." or "--a ") and the values allowed.
std::string CheckCodes(const std::string& prefix, const unit::PortParameters& codes);
// Empty when the unit's firmware offers the baud code, else why not, with the codes it offers.
std::string CheckOffered(const std::string& prefix, const unit::PortParameters& codes,
                         const std::string& firmware);
// The codes of a unit port's "AG" reply data read strictly: empty when they are six whole numbers
// that the unit has (CheckCodes), else why not, naming the reply, the port and the field.
std::string CheckReply(char port, const std::string& data);

// One code in which the unit differs from a file.
struct Difference {
    char port;  // 'A' or 'B'
    const unit::ParameterField* field;
    int unit;
    int file;
    // "A.baudCode"
    std::string Name() const { return std::string(1, port) + "." + field->key; }
};
// The fields of port (its letter) whose codes differ, in the unit's order.
std::vector<Difference> Differences(char port, const unit::PortParameters& unitCodes,
                                    const unit::PortParameters& fileCodes);

}  // namespace cli
