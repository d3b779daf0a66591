// SPDX-License-Identifier: MIT
#pragma once
// The parameters of one unit port, once: their order on the wire, their names, their codes with
// the window's list texts and English names, and which codes the unit takes. The protocol, the
// window, the tool and the simulated unit all read this table; a parameter more is a row more (and
// a member of PortParameters).

#include <array>
#include <climits>
#include <span>
#include <string>
#include <vector>

namespace unit {

// The six values that describe one unit port, in wire order.
struct PortParameters {
    int format = 0;      // format conversion: a list position
    int flow = 0;        // flow control: a list position
    int dataLength = 0;  // a list position
    int baudCode = 0;    // the unit's baud code (BaudTable), not the rate
    int stopBits = 0;    // a list position
    int parity = 0;      // a list position
    bool operator==(const PortParameters&) const = default;
};

// What a code is: the position of an entry in the field's list, or a baud code of BaudTable, which
// the unit takes only when its firmware offers the rate.
enum class CodeRule { Position, Baud };

struct ParameterField {
    const char* key;    // as configuration files and JSON name it: "format", "baudCode", ...
    const char* title;  // as the tool's text names it: "format", "data length", ...
    int PortParameters::*member;
    CodeRule rule;
    std::span<const char* const> listTexts;  // by code, as the window's list shows them (Position)
    std::span<const char* const> names;      // by code, in English (Position)
};

namespace fieldtexts {
inline constexpr std::array<const char*, 3> kFormat = {"0:変換なし", "フォーマット1", "フォーマット2"};
inline constexpr std::array<const char*, 3> kFormatNames = {"none", "format 1", "format 2"};
inline constexpr std::array<const char*, 3> kFlow = {"non", "RTS/CTS", "XON/XOFF"};
inline constexpr std::array<const char*, 3> kFlowNames = {"none", "RTS/CTS", "XON/XOFF"};
inline constexpr std::array<const char*, 2> kDataLength = {"8bit", "7bit"};
inline constexpr std::array<const char*, 2> kDataLengthNames = {"8 bit", "7 bit"};
inline constexpr std::array<const char*, 2> kStopBits = {"1bit", "2bit"};
inline constexpr std::array<const char*, 2> kStopBitsNames = {"1 bit", "2 bit"};
inline constexpr std::array<const char*, 3> kParity = {"non", "odd", "even"};
inline constexpr std::array<const char*, 3> kParityNames = {"none", "odd", "even"};
}  // namespace fieldtexts

// In wire order. A baud code's list text and English name are both its BaudTable label.
inline constexpr std::array<ParameterField, 6> kParameterFields = {{
    {"format", "format", &PortParameters::format, CodeRule::Position, fieldtexts::kFormat,
     fieldtexts::kFormatNames},
    {"flow", "flow", &PortParameters::flow, CodeRule::Position, fieldtexts::kFlow, fieldtexts::kFlowNames},
    {"dataLength", "data length", &PortParameters::dataLength, CodeRule::Position, fieldtexts::kDataLength,
     fieldtexts::kDataLengthNames},
    {"baudCode", "baud", &PortParameters::baudCode, CodeRule::Baud, {}, {}},
    {"stopBits", "stop bits", &PortParameters::stopBits, CodeRule::Position, fieldtexts::kStopBits,
     fieldtexts::kStopBitsNames},
    {"parity", "parity", &PortParameters::parity, CodeRule::Position, fieldtexts::kParity,
     fieldtexts::kParityNames},
}};
inline constexpr int kParameterCount = static_cast<int>(kParameterFields.size());

// The one field chosen by baud code.
inline constexpr const ParameterField& kBaudField = kParameterFields[3];
static_assert(kBaudField.rule == CodeRule::Baud);

// The fields chosen by position, counted in wire order: 0 for format ... 4 for parity; -1 for the
// baud code. A window keeps its position lists in this order.
constexpr int PositionListIndex(const ParameterField& field) {
    if (field.rule != CodeRule::Position) return -1;
    int index = 0;
    for (const ParameterField& before : kParameterFields) {
        if (before.member == field.member) break;
        if (before.rule == CodeRule::Position) ++index;
    }
    return index;
}

// Any firmware: every rate of BaudTable.
inline constexpr int kEveryFirmware = INT_MAX;

// The codes a unit of that firmware number takes for the field, in list order.
std::vector<int> FieldCodes(const ParameterField& field, int firmwareNumber = kEveryFirmware);
// True when the code is one of them.
bool IsOffered(const ParameterField& field, int code, int firmwareNumber = kEveryFirmware);
// The window's list text of a code; empty when the field has no such code.
std::string ListText(const ParameterField& field, int code);
// The English name of a code ("XON/XOFF", "9600bps"); empty when the field has no such code.
std::string CodeName(const ParameterField& field, int code);

}  // namespace unit
