// SPDX-License-Identifier: MIT
#pragma once
// Small wrappers of the Win32 window classes the settings window is made of: a window bound to a
// template control by id (optionally subclassed, to handle messages of its own), and the static,
// button and drop-down list controls with the messages the window sends them. Texts are UTF-8 here
// and UTF-16 at the system.

#include <windows.h>

#include <string>

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hwnd; }
    // Binds the object to an existing window (a template control); subclasses it when the class
    // handles messages of its own.
    void Attach(HWND hwnd);
    // Lets the window go (it is being destroyed, or the object is).
    void Detach();

    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    void EnableWindow(bool enable);
    void SetFont(HFONT font);

    // The colour query of this control (kind CTLCOLOR_*), reflected to it by its dialog; nullptr
    // leaves the answer to the system.
    virtual HBRUSH OnReflectedCtlColor(HDC dc, UINT kind);

protected:
    // Runs once the window is bound.
    virtual void OnAttached() {}
    // Messages to the bound window itself, seen only by classes that ask for them (Subclasses());
    // true when handled, with its result.
    virtual bool Subclasses() const { return false; }
    virtual bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);

    HWND m_hwnd = nullptr;
    bool m_subclassed = false;
};

class CStatic : public CWnd {};

class CButton : public CWnd {};

class CComboBox : public CWnd {
public:
    // CB_ADDSTRING: the new item's index, or CB_ERR.
    int AddString(const std::string& text);
    // CB_INSERTSTRING at index: index, or CB_ERR.
    int InsertString(int index, const std::string& text);
    void DeleteString(int index);
    void SetItemData(int index, DWORD_PTR data);
    DWORD_PTR GetItemData(int index) const;
    // CB_SETCURSEL; -1 selects nothing.
    void SetCurSel(int index);
    // CB_GETCURSEL: CB_ERR (-1) when nothing is selected.
    int GetCurSel() const;
    int GetCount() const;
    void ResetContent();
};
