// SPDX-License-Identifier: MIT
#include "tools/fields.h"

#include <charconv>
#include <cstring>

#include "link/linetrace.h"

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
    double rate = 0;
    std::from_chars(entry.label, entry.label + std::strlen(entry.label), rate);
    return rate;
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
                   linetrace::EscapeBytes(firmware) + " does not offer; allowed: " + Allowed(field, number);
        }
    }
    return {};
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
