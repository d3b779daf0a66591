// SPDX-License-Identifier: MIT
#include "tools/fields.h"

#include <charconv>
#include <cstring>

#include "tools/printable.h"

namespace cli {
namespace {

// "0 (none), 1 (odd), 2 (even)": the codes that firmware takes for the field, with their names.
std::string Allowed(const unit::ParameterField& field, int firmwareNumber) {
    std::string text;
    for (const int code : unit::FieldCodes(field, firmwareNumber)) {
        text += (text.empty() ? "" : ", ") + CodeWithName(field, code);
    }
    return text;
}

}  // namespace

std::string CodeWithName(const unit::ParameterField& field, int code) {
    const std::string name = unit::CodeName(field, code);
    return std::to_string(code) + (name.empty() ? "" : " (" + name + ")");
}

double BaudRate(const unit::BaudEntry& entry) {
    // Whole digits and decimals ("134.5bps") read as integers: reading a double with from_chars
    // would bring the C++ library's whole floating-point reader into the tool for one label.
    const char* const end = entry.label + std::strlen(entry.label);
    long whole = 0, decimals = 0;
    const char* at = std::from_chars(entry.label, end, whole).ptr;
    double scale = 1;
    if (at != end && *at == '.') {
        const char* const first = at + 1;
        at = std::from_chars(first, end, decimals).ptr;
        for (const char* digit = first; digit != at; ++digit) scale *= 10;
    }
    return static_cast<double>(whole) + static_cast<double>(decimals) / scale;
}

std::string CheckCodes(const std::string& prefix, const unit::PortParameters& codes) {
    for (const unit::ParameterField& field : unit::kParameterFields) {
        const int code = codes.*field.member;
        if (!unit::IsOffered(field, code)) {
            return prefix + field.key + " is " + std::to_string(code) +
                   "; allowed: " + Allowed(field, unit::kEveryFirmware);
        }
    }
    return {};
}

std::string CheckOffered(const std::string& prefix, const unit::PortParameters& codes,
                         const std::string& firmware) {
    const int number = unit::FirmwareNumber(firmware);
    for (const unit::ParameterField& field : unit::kParameterFields) {
        const int code = codes.*field.member;
        if (!unit::IsOffered(field, code, number)) {
            return prefix + field.key + " is " + CodeWithName(field, code) + ", which firmware " +
                   Printable(firmware) + " does not offer; allowed: " + Allowed(field, number);
        }
    }
    return {};
}

std::string CheckReply(char port, const std::string& data) {
    const std::string reply =
        "the reply to \"AG " + std::string(1, port) + "\", \"" + Printable(data) + "\", ";
    unit::PortParameters codes;
    if (!unit::ParseCodeList(data, codes)) return reply + "is not six comma-separated whole numbers";
    const std::string problem = CheckCodes(std::string(1, port) + ".", codes);
    return problem.empty() ? "" : reply + "holds a code the unit cannot have: " + problem;
}

std::vector<Difference> Differences(char port, const unit::PortParameters& unitCodes,
                                    const unit::PortParameters& fileCodes) {
    std::vector<Difference> differences;
    for (const unit::ParameterField& field : unit::kParameterFields) {
        if (unitCodes.*field.member != fileCodes.*field.member) {
            differences.push_back({port, &field, unitCodes.*field.member, fileCodes.*field.member});
        }
    }
    return differences;
}

}  // namespace cli
