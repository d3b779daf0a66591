// SPDX-License-Identifier: MIT
#pragma once
// Dialog units to pixels as the dialog manager maps them, and the sizes derived from them. Free
// of any window system: the Qt window sizes its controls from the template as the Win32 dialog
// manager does.

namespace dlgunits {

// The dialog base units of a font: the rounded average width of A-Z a-z, and the font's height.
struct BaseUnits {
    int x;
    int y;
};

struct PixelRect {
    int x;
    int y;
    int width;
    int height;
};

// value * numerator / denominator, rounded half away from zero, without overflow.
int MulDiv(int value, int numerator, int denominator);

// A rectangle in dialog units to pixels: each edge is mapped and rounded on its own.
PixelRect MapDialogRect(const BaseUnits& units, int x, int y, int width, int height);

// A drop-down list's template height covers the closed field and the opened list below it; the
// opened list gets what the closed field leaves, in pixels (never less than 0).
int OpenedListHeight(const BaseUnits& units, int y, int height, int closedHeight);

}  // namespace dlgunits
