// SPDX-License-Identifier: MIT
#include "ui/win32/staticex.h"

#include <stdexcept>

CStaticEx::CStaticEx()
    : m_backColor(GetSysColor(COLOR_BTNFACE)),
      m_textColor(0),
      m_backBrush(CreateSolidBrush(m_backColor)),
      m_logFont{},
      m_font(nullptr) {
    if (m_backBrush == nullptr) throw std::runtime_error("no brush for a label");
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof m_logFont, &m_logFont);
    m_font = CreateFontIndirectW(&m_logFont);
    m_textColor = GetSysColor(COLOR_WINDOWTEXT);
}

CStaticEx::~CStaticEx() {
    Detach();  // before the font the window may still hold goes
    if (m_font != nullptr) DeleteObject(m_font);
    if (m_backBrush != nullptr) DeleteObject(m_backBrush);
}

// A static control selects the font it was given itself when it paints, after the colour query:
// selecting the label's font there alone would not show. So the control is given the font too.
void CStaticEx::OnAttached() {
    if (m_font != nullptr) SetFont(m_font);
}

CStaticEx& CStaticEx::SetBackColor(COLORREF color, int redraw) {
    m_backColor = color;
    if (m_backBrush != nullptr) DeleteObject(m_backBrush);
    m_backBrush = CreateSolidBrush(color);
    RedrawIfAsked(redraw);
    return *this;
}

CStaticEx& CStaticEx::SetForeColor(COLORREF color, int redraw) {
    m_textColor = color;
    RedrawIfAsked(redraw);
    return *this;
}

void CStaticEx::RedrawIfAsked(int redraw) {
    if (redraw == 1 && GetSafeHwnd() != nullptr)
        RedrawWindow(GetSafeHwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

HBRUSH CStaticEx::OnReflectedCtlColor(HDC dc, UINT kind) {
    if (kind != CTLCOLOR_STATIC) return nullptr;
    if (m_font != nullptr) SelectObject(dc, m_font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, m_textColor);
    SetBkColor(dc, m_backColor);
    return m_backBrush;
}

// The background is painted only by the control's own painting, with the brush answered above.
bool CStaticEx::OnWindowMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
    if (message != WM_ERASEBKGND) return false;
    result = 0;
    return true;
}
