// SPDX-License-Identifier: MIT
#pragma once
// CStaticEx: a static text painted in a chosen text colour on a chosen solid background (the
// colours of CColourLabel), in a copy of the system's default GUI font. The label owns its brush
// and its font. Its dialog reflects the static control's colour query to it; it never erases its
// background on its own.

#include <string>

#include "ui/colourlabel.h"
#include "ui/win32/wnd.h"

class CStaticEx : public CStatic, public CColourLabel {
public:
    // Button-face background, window-text colour. Throws std::runtime_error when not even the
    // background brush can be made (the window cannot be built then).
    CStaticEx();
    ~CStaticEx() override;

    void SetLabelText(const std::string& text) override { SetWindowText(text); }

    HBRUSH OnReflectedCtlColor(HDC dc, UINT kind) override;

protected:
    // A new brush of the new colour, also for the same colour.
    void OnBackColorSet() override;
    void Redraw() override;
    void OnAttached() override;
    bool Subclasses() const override { return true; }
    bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    HBRUSH m_backBrush;
    LOGFONTW m_logFont;
    HFONT m_font;
};
