// SPDX-License-Identifier: MIT
#include "ui/accessiblenames.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace accessible {
namespace {

// The closed field of a drop-down list, in dialog units: the row its labels stand on.
constexpr int kClosedListHeight = 12;

// How high the control stands in the window: a list's template height includes its opened list.
int ShownHeight(const res::ControlTemplate& control) {
    return control.kind == res::ControlKind::DropDownList ? kClosedListHeight : control.height;
}

bool Inside(const res::ControlTemplate& inner, const res::ControlTemplate& outer) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
           inner.y + ShownHeight(inner) <= outer.y + outer.height;
}

// The innermost group box around the control; nullptr outside every group box.
const res::ControlTemplate* GroupOf(const res::DialogTemplate& tmpl, const res::ControlTemplate& control) {
    const res::ControlTemplate* group = nullptr;
    for (const res::ControlTemplate& candidate : tmpl.controls) {
        if (candidate.kind != res::ControlKind::GroupBox || !Inside(control, candidate)) continue;
        if (group == nullptr || Inside(candidate, *group)) group = &candidate;
    }
    return group;
}

// Labels with a text in the same group box as the list (or, like it, in none).
std::vector<const res::ControlTemplate*> LabelsBeside(const res::DialogTemplate& tmpl,
                                                      const res::ControlTemplate& list) {
    const res::ControlTemplate* group = GroupOf(tmpl, list);
    std::vector<const res::ControlTemplate*> labels;
    for (const res::ControlTemplate& candidate : tmpl.controls) {
        if (candidate.kind == res::ControlKind::Static && *candidate.text != '\0' &&
            GroupOf(tmpl, candidate) == group)
            labels.push_back(&candidate);
    }
    return labels;
}

// The texts of the labels on the list's row from left to right; an arrow drawn on both sides of
// the list is read once.
std::string RowText(const std::vector<const res::ControlTemplate*>& labels,
                    const res::ControlTemplate& list) {
    std::vector<const res::ControlTemplate*> row;
    for (const res::ControlTemplate* label : labels) {
        if (label->y < list.y + kClosedListHeight && label->y + label->height > list.y) row.push_back(label);
    }
    std::ranges::sort(row, {}, &res::ControlTemplate::x);
    std::string text;
    std::string_view previous;
    for (const res::ControlTemplate* label : row) {
        if (label->text != previous) text += label->text;
        previous = label->text;
    }
    return text;
}

// The text of the nearest label above the list whose middle lies over it.
std::string ColumnText(const std::vector<const res::ControlTemplate*>& labels,
                       const res::ControlTemplate& list) {
    const res::ControlTemplate* nearest = nullptr;
    for (const res::ControlTemplate* label : labels) {
        const int middle2 = 2 * label->x + label->width;  // twice the middle: no rounding
        if (label->y + label->height > list.y || middle2 < 2 * list.x || middle2 > 2 * (list.x + list.width))
            continue;
        if (nearest == nullptr || label->y > nearest->y) nearest = label;
    }
    return nearest != nullptr ? nearest->text : "";
}

void Append(std::string& name, const std::string& part) {
    if (part.empty()) return;
    if (!name.empty()) name += ' ';
    name += part;
}

std::string OneLine(std::string_view text) {
    std::string line;
    for (char c : text) {
        if (c != '\r' && c != '\n') line += c;
    }
    return line;
}

}  // namespace

std::string NameOf(const res::DialogTemplate& tmpl, const res::ControlTemplate& control) {
    if (control.kind == res::ControlKind::PushButton) return OneLine(control.text);
    if (control.kind != res::ControlKind::DropDownList) return "";
    std::string name;
    if (const res::ControlTemplate* group = GroupOf(tmpl, control)) Append(name, group->text);
    const auto labels = LabelsBeside(tmpl, control);
    Append(name, RowText(labels, control));
    Append(name, ColumnText(labels, control));
    return name;
}

}  // namespace accessible
