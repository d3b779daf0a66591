// SPDX-License-Identifier: MIT
#include "ui/colourlabel.h"

CColourLabel& CColourLabel::SetBackColor(colours::ColourRef color, int redraw) {
    m_backColor = color;
    OnBackColorSet();
    RedrawIfAsked(redraw);
    return *this;
}

CColourLabel& CColourLabel::SetForeColor(colours::ColourRef color, int redraw) {
    m_textColor = color;
    RedrawIfAsked(redraw);
    return *this;
}

void CColourLabel::RedrawIfAsked(int redraw) {
    if (redraw == 1) Redraw();
}
