// SPDX-License-Identifier: MIT
#pragma once
// The names a screen reader gives the window's lists and buttons, read from the template the way a
// sighted user reads the window: a list by the labels on its row and above its column, a button
// by its own text. Free of any window system; nothing visible depends on it.

#include <string>

#include "res/qlxduo_template.h"

namespace accessible {

// For a list: the title of the group box around it, the labels on its row from left to right, and
// the label above it in its column, as far as there are any ("ボーレート A", "COMポート",
// "フォーマット変換 Ａ→Ｂ"). For a button: its text on one line. Empty for any other control.
std::string NameOf(const res::DialogTemplate& tmpl, const res::ControlTemplate& control);

}  // namespace accessible
