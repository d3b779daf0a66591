// SPDX-License-Identifier: MIT
#pragma once
// CStaticEx: a static text painted in a chosen text colour on a chosen solid background (the
// colours of CColourLabel), always in the default GUI font of a Japanese desktop.

#include <QLabel>
#include <QPalette>

#include <string>

#include "ui/colourlabel.h"
#include "ui/colours.h"

// A colour as 0x00BBGGRR (red in the low byte), under the names the Windows window uses.
using COLORREF = colours::ColourRef;
constexpr COLORREF RGB(int red, int green, int blue) {
    return colours::FromRgb(red, green, blue);
}

// The default GUI font of a Japanese desktop at 9 points: the first installed of a list of
// Japanese proportional gothics, the desktop's general font when none is.
QFont JapaneseGuiFont();

// The desktop's colour of a role (QPalette::WindowText, QPalette::Button for button face).
COLORREF SysColor(QPalette::ColorRole role);

class CStaticEx : public QLabel, public CColourLabel {
public:
    CStaticEx();

    void SetLabelText(const std::string& text) override { setText(QString::fromStdString(text)); }

protected:
    void Redraw() override { repaint(); }
    void paintEvent(QPaintEvent* event) override;
};
