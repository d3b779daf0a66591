// SPDX-License-Identifier: MIT
#include "link/unitfields.h"

#include <algorithm>

#include "link/protocol.h"

namespace unit {
namespace {

// By code: the list's entries, or the names, of a position field; "" outside the list.
std::string ByPosition(std::span<const char* const> texts, int code) {
    return code >= 0 && code < static_cast<int>(texts.size()) ? texts[static_cast<size_t>(code)] : "";
}

std::string BaudLabel(int code) {
    const BaudEntry* entry = FindBaudCode(code);
    return entry != nullptr ? entry->label : "";
}

}  // namespace

std::vector<int> FieldCodes(const ParameterField& field, int firmwareNumber) {
    std::vector<int> codes;
    if (field.rule == CodeRule::Baud) {
        for (const BaudEntry& entry : BaudRatesForFirmware(firmwareNumber)) codes.push_back(entry.code);
    } else {
        for (int code = 0; code < static_cast<int>(field.listTexts.size()); ++code) codes.push_back(code);
    }
    return codes;
}

bool IsOffered(const ParameterField& field, int code, int firmwareNumber) {
    const std::vector<int> codes = FieldCodes(field, firmwareNumber);
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

std::string ListText(const ParameterField& field, int code) {
    return field.rule == CodeRule::Baud ? BaudLabel(code) : ByPosition(field.listTexts, code);
}

std::string CodeName(const ParameterField& field, int code) {
    return field.rule == CodeRule::Baud ? BaudLabel(code) : ByPosition(field.names, code);
}

}  // namespace unit
