// SPDX-License-Identifier: MIT
#pragma once
// The main window's template as data: size, caption and font, and every control with its id, kind,
// text, rectangle (dialog units) and initial state. Free of any window system.

#include <span>

namespace res {

// Template and control ids.
inline constexpr unsigned IDD_QLXDUO_DIALOG = 102;
inline constexpr int IDC_STATIC = -1;  // a control nobody addresses
inline constexpr int IDC_BPS_A = 1000;
inline constexpr int IDC_DATALEN_A = 1001;
inline constexpr int IDC_PARITY_A = 1002;
inline constexpr int IDC_STOPBITS_A = 1003;
inline constexpr int IDC_FLOW_A = 1004;
inline constexpr int IDC_BPS_B = 1005;
inline constexpr int IDC_DATALEN_B = 1006;
inline constexpr int IDC_PARITY_B = 1007;
inline constexpr int IDC_STOPBITS_B = 1008;
inline constexpr int IDC_FLOW_B = 1009;
inline constexpr int IDC_WRITE = 1011;
inline constexpr int IDC_COM = 1013;
inline constexpr int IDC_FORMAT_A = 1014;
inline constexpr int IDC_FORMAT_B = 1015;
inline constexpr int IDC_CONNECT = 1016;
inline constexpr int IDC_STATUS = 1019;
inline constexpr int IDC_FIRMWARE = 1020;
inline constexpr int IDC_LETTER_A = 1022;
inline constexpr int IDC_ARROW_A_IN = 1023;  // Ａ → list 1014
inline constexpr int IDC_ARROW_B_IN = 1024;  // Ａ ← list 1015
inline constexpr int IDC_LETTER_B = 1025;
inline constexpr int IDC_ARROW_A_OUT = 1026;  // list 1014 → Ｂ
inline constexpr int IDC_ARROW_B_OUT = 1027;  // list 1015 ← Ｂ

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
