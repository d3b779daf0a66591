// SPDX-License-Identifier: MIT
#pragma once
// The main window's template as data: size, caption and font, and every control with its id, kind,
// text, rectangle (dialog units) and initial state. Made from the list in qlxduo_dialog.def, which
// the resource script reads too. Free of any window system.

#include <span>

#include "res/resource.h"

namespace res {

enum class ControlKind { GroupBox, Static, DropDownList, PushButton };

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;         // UTF-8; "\r\n" breaks a line
    int x, y, width, height;  // dialog units; a list's height is that of its opened list
    bool enabled;
    bool centred;  // static text centred horizontally (all statics are centred vertically)
    bool sunken;
};

struct DialogTemplate {
    unsigned id;
    const char* caption;
    const char* fontFace;
    int pointSize;
    int width, height;                          // client area, dialog units
    std::span<const ControlTemplate> controls;  // in creation (and tab) order
};

// The template of that id; nullptr when there is none.
const DialogTemplate* FindDialogTemplate(unsigned id);

}  // namespace res
