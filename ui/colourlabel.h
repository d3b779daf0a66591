// SPDX-License-Identifier: MIT
#pragma once
// CColourLabel: a static text in a chosen text colour on a chosen solid background, the colours
// kept here whatever draws the label. A window's coloured label (CStaticEx) derives from it, paints
// with these colours and supplies the text and the repaint.

#include <string>

#include "ui/colours.h"

class CColourLabel {
public:
    virtual ~CColourLabel() = default;

    // redraw exactly 1 repaints before returning; any other value leaves it to the next paint.
    CColourLabel& SetBackColor(colours::ColourRef color, int redraw);
    CColourLabel& SetForeColor(colours::ColourRef color, int redraw);

    colours::ColourRef BackColor() const { return m_backColor; }
    colours::ColourRef TextColor() const { return m_textColor; }

    // Replaces the label's text (UTF-8).
    virtual void SetLabelText(const std::string& text) = 0;

protected:
    CColourLabel(colours::ColourRef back, colours::ColourRef text) : m_backColor(back), m_textColor(text) {}

    // The background colour was set (also to the same colour), before any repaint.
    virtual void OnBackColorSet() {}
    // Paints the label now, before returning.
    virtual void Redraw() = 0;

private:
    void RedrawIfAsked(int redraw);

    colours::ColourRef m_backColor;
    colours::ColourRef m_textColor;
};
