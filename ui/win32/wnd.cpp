// SPDX-License-Identifier: MIT
#include "ui/win32/wnd.h"

#include <commctrl.h>

#include "platform/winutil_win32.h"

using platform::win32::Narrow;
using platform::win32::Widen;

CWnd::~CWnd() {
    Detach();
}

void CWnd::Attach(HWND hwnd) {
    Detach();
    m_hwnd = hwnd;
    if (m_hwnd != nullptr && Subclasses())
        m_subclassed = SetWindowSubclass(m_hwnd, SubclassProc, 0, reinterpret_cast<DWORD_PTR>(this)) != FALSE;
    if (m_hwnd != nullptr) OnAttached();
}

void CWnd::Detach() {
    if (m_subclassed) RemoveWindowSubclass(m_hwnd, SubclassProc, 0);
    m_subclassed = false;
    m_hwnd = nullptr;
}

void CWnd::SetWindowText(const std::string& text) {
    ::SetWindowTextW(m_hwnd, Widen(text).c_str());
}

std::string CWnd::GetWindowText() const {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(m_hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(m_hwnd, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

void CWnd::EnableWindow(bool enable) {
    ::EnableWindow(m_hwnd, enable ? TRUE : FALSE);
}

void CWnd::SetFont(HFONT font) {
    SendMessageW(m_hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

HBRUSH CWnd::OnReflectedCtlColor(HDC, UINT) {
    return nullptr;
}

bool CWnd::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}

LRESULT CALLBACK CWnd::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR self) {
    auto* wnd = reinterpret_cast<CWnd*>(self);
    // The window goes: the object lets it go before the system removes the subclass.
    if (message == WM_NCDESTROY) wnd->Detach();
    LRESULT result = 0;
    if (message != WM_NCDESTROY && wnd->OnWindowMessage(message, wParam, lParam, result)) return result;
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

int CComboBox::AddString(const std::string& text) {
    return static_cast<int>(
        SendMessageW(GetSafeHwnd(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str())));
}

int CComboBox::InsertString(int index, const std::string& text) {
    return static_cast<int>(SendMessageW(GetSafeHwnd(), CB_INSERTSTRING, static_cast<WPARAM>(index),
                                         reinterpret_cast<LPARAM>(Widen(text).c_str())));
}

void CComboBox::DeleteString(int index) {
    SendMessageW(GetSafeHwnd(), CB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void CComboBox::SetItemData(int index, DWORD_PTR data) {
    SendMessageW(GetSafeHwnd(), CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data));
}

DWORD_PTR CComboBox::GetItemData(int index) const {
    return static_cast<DWORD_PTR>(SendMessageW(GetSafeHwnd(), CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

void CComboBox::SetCurSel(int index) {
    SendMessageW(GetSafeHwnd(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int CComboBox::GetCurSel() const {
    return static_cast<int>(SendMessageW(GetSafeHwnd(), CB_GETCURSEL, 0, 0));
}

int CComboBox::GetCount() const {
    return static_cast<int>(SendMessageW(GetSafeHwnd(), CB_GETCOUNT, 0, 0));
}

void CComboBox::ResetContent() {
    SendMessageW(GetSafeHwnd(), CB_RESETCONTENT, 0, 0);
}
