// SPDX-License-Identifier: MIT
#include "ui/win32/staticex.h"

#include <stdexcept>

CStaticEx::CStaticEx()
    : CColourLabel(GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_WINDOWTEXT)),
      m_backBrush(CreateSolidBrush(BackColor())),
      m_logFont{},
      m_font(nullptr) {
    if (m_backBrush == nullptr) throw std::runtime_error("no brush for a label");
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof m_logFont, &m_logFont);
    m_font = CreateFontIndirectW(&m_logFont);
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

void CStaticEx::OnBackColorSet() {
    if (m_backBrush != nullptr) DeleteObject(m_backBrush);
    m_backBrush = CreateSolidBrush(BackColor());
}

void CStaticEx::Redraw() {
    if (GetSafeHwnd() != nullptr)
        RedrawWindow(GetSafeHwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

HBRUSH CStaticEx::OnReflectedCtlColor(HDC dc, UINT kind) {
    if (kind != CTLCOLOR_STATIC) return nullptr;
    if (m_font != nullptr) SelectObject(dc, m_font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, TextColor());
    SetBkColor(dc, BackColor());
    return m_backBrush;
}

// The background is painted only by the control's own painting, with the brush answered above.
bool CStaticEx::OnWindowMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
    if (message != WM_ERASEBKGND) return false;
    result = 0;
    return true;
}
