// SPDX-License-Identifier: MIT
#include "tools/fields.h"

#include <charconv>
#include <cstring>

#include "link/linetrace.h"

namespace cli {
namespace {

using Names = std::vector<const char*>;

bool IsBaud(const CodeField& field) {
    return field.member == &unit::PortParameters::baudCode;
}

// By code, for the fields whose code is a list position.
const Names& PositionNames(const CodeField& field) {
    static const Names kFormat = {"none", "format 1", "format 2"};
    static const Names kFlow = {"none", "RTS/CTS", "XON/XOFF"};
    static const Names kBits = {"8 bit", "7 bit"};
    static const Names kStopBits = {"1 bit", "2 bit"};
    static const Names kParity = {"none", "odd", "even"};
    if (field.member == &unit::PortParameters::format) return kFormat;
    if (field.member == &unit::PortParameters::flow) return kFlow;
    if (field.member == &unit::PortParameters::dataLength) return kBits;
    if (field.member == &unit::PortParameters::stopBits) return kStopBits;
    return kParity;
}

std::string Listed(const std::vector<unit::BaudEntry>& entries) {
    std::string text;
    for (const unit::BaudEntry& entry : entries) {
        text += (text.empty() ? "" : ", ") + std::to_string(entry.code) + " (" + entry.label + ")";
    }
    return text;
}

// "0 (none), 1 (odd), 2 (even)", or every baud code of the table.
std::string Allowed(const CodeField& field) {
    if (IsBaud(field)) return Listed({unit::BaudTable.begin(), unit::BaudTable.end()});
    std::string text;
    const Names& names = PositionNames(field);
    for (size_t code = 0; code < names.size(); ++code) {
        text += (code == 0 ? "" : ", ") + std::to_string(code) + " (" + names[code] + ")";
    }
    return text;
}

}  // namespace

std::string CodeName(const CodeField& field, int code) {
    if (IsBaud(field)) {
        const unit::BaudEntry* entry = unit::FindBaudCode(code);
        return entry != nullptr ? entry->label : "";
    }
    const Names& names = PositionNames(field);
    return code >= 0 && code < static_cast<int>(names.size()) ? names[code] : "";
}

std::string CodeWithName(const CodeField& field, int code) {
    const std::string name = CodeName(field, code);
    return std::to_string(code) + (name.empty() ? "" : " (" + name + ")");
}

double BaudRate(const unit::BaudEntry& entry) {
    double rate = 0;
    std::from_chars(entry.label, entry.label + std::strlen(entry.label), rate);
    return rate;
}

std::string CheckCodes(const std::string& prefix, const unit::PortParameters& codes) {
    for (const CodeField& field : kCodeFields) {
        const int code = codes.*field.member;
        if (CodeName(field, code).empty()) {
            return prefix + field.key + " is " + std::to_string(code) + "; allowed: " + Allowed(field);
        }
    }
    return {};
}

std::string CheckOffered(const std::string& prefix, const unit::PortParameters& codes,
                         const std::string& firmware) {
    const std::vector<unit::BaudEntry> offered = unit::BaudRatesForFirmware(unit::FirmwareNumber(firmware));
    for (const unit::BaudEntry& entry : offered) {
        if (entry.code == codes.baudCode) return {};
    }
    return prefix + "baudCode is " + CodeWithName(kBaudField, codes.baudCode) + ", which firmware " +
           linetrace::EscapeBytes(firmware) + " does not offer; allowed: " + Listed(offered);
}

std::vector<Difference> Differences(char port, const unit::PortParameters& unitCodes,
                                    const unit::PortParameters& fileCodes) {
    std::vector<Difference> differences;
    for (const CodeField& field : kCodeFields) {
        if (unitCodes.*field.member != fileCodes.*field.member) {
            differences.push_back({port, &field, unitCodes.*field.member, fileCodes.*field.member});
        }
    }
    return differences;
}

}  // namespace cli
