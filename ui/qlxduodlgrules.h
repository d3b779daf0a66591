// SPDX-License-Identifier: MIT
#pragma once
// What the main window is and does alike on every window system: where its settings live, its
// caption, which template control is which list of which unit port, the fixed lists and the order
// they are filled in, which controls form the format-conversion group, and which controls the
// workflow switches on and off.

#include <array>
#include <span>
#include <string>

#include "link/protocol.h"
#include "res/resource.h"
#include "ui/windowops.h"

namespace qlxduodlg {

// Below the per-user application-data folder.
inline constexpr const char* kAppSubFolder = "Kestrelan\\QLX-DUO\\";

// The template's caption, a space, V and the program version.
std::string CaptionWithVersion(const char* templateCaption);

// The template id of a unit port's list chosen by position.
int PositionListId(UnitPort port, PositionField field);

// The window keeps its position lists in the unit's order of the fields chosen by position.
constexpr PositionField PositionListOf(const unit::ParameterField& field) {
    return static_cast<PositionField>(unit::PositionListIndex(field));
}
constexpr const unit::ParameterField& FieldOf(PositionField list) {
    for (const unit::ParameterField& field : unit::kParameterFields) {
        if (field.rule == unit::CodeRule::Position && PositionListOf(field) == list) return field;
    }
    return unit::kBaudField;  // not reached: every position list has its field
}
static_assert(FieldOf(PositionField::Format).member == &unit::PortParameters::format &&
              FieldOf(PositionField::Flow).member == &unit::PortParameters::flow &&
              FieldOf(PositionField::DataLength).member == &unit::PortParameters::dataLength &&
              FieldOf(PositionField::StopBits).member == &unit::PortParameters::stopBits &&
              FieldOf(PositionField::Parity).member == &unit::PortParameters::parity);

// The lists whose entries are fixed, in the order start-up fills them, with the unit's texts for
// them; the position of an entry is the code sent to the unit. No entry is selected until the
// first read.
struct FixedList {
    PositionField field;
    std::span<const char* const> texts;
};
inline constexpr std::array<PositionField, 5> kFillOrder = {PositionField::DataLength, PositionField::Parity,
                                                            PositionField::StopBits, PositionField::Flow,
                                                            PositionField::Format};
inline constexpr std::array<FixedList, 5> kFixedLists = [] {
    std::array<FixedList, 5> lists{};
    for (size_t i = 0; i < kFillOrder.size(); ++i)
        lists[i] = {kFillOrder[i], FieldOf(kFillOrder[i]).listTexts};
    return lists;
}();

// Switched on and off as one: both format-conversion lists with their port letters and arrows. The
// group box around them stays disabled.
inline constexpr std::array<int, 8> kFormatGroupIds = {
    IDC_LETTER_A,   IDC_ARROW_A_IN, IDC_FORMAT_A,    IDC_ARROW_A_OUT,
    IDC_ARROW_B_IN, IDC_FORMAT_B,   IDC_ARROW_B_OUT, IDC_LETTER_B,
};

// The template ids of the controls the workflow enables and disables as one.
std::span<const int> ControlIds(WindowControl control);

}  // namespace qlxduodlg
