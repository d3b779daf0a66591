// SPDX-License-Identifier: MIT
#pragma once
// CStaticEx: a static text painted in a chosen text colour on a chosen solid background, in a copy
// of the system's default GUI font. The label owns its brush and its font. Its dialog reflects the
// static control's colour query to it; it never erases its background on its own.

#include "ui/win32/wnd.h"

class CStaticEx : public CStatic {
public:
    // Button-face background, window-text colour. Throws std::runtime_error when not even the
    // background brush can be made (the window cannot be built then).
    CStaticEx();
    ~CStaticEx() override;

    // redraw exactly 1 repaints before returning; any other value leaves it to the next paint.
    CStaticEx& SetBackColor(COLORREF color, int redraw);
    CStaticEx& SetForeColor(COLORREF color, int redraw);

    COLORREF BackColor() const { return m_backColor; }
    COLORREF TextColor() const { return m_textColor; }

    HBRUSH OnReflectedCtlColor(HDC dc, UINT kind) override;

protected:
    void OnAttached() override;
    bool Subclasses() const override { return true; }
    bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void RedrawIfAsked(int redraw);

    COLORREF m_backColor;
    COLORREF m_textColor;
    HBRUSH m_backBrush;
    LOGFONTW m_logFont;
    HFONT m_font;
};
