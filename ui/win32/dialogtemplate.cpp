// SPDX-License-Identifier: MIT
#include "ui/win32/dialogtemplate.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/winutil_win32.h"
#include "ui/accessiblenames.h"

namespace dlgtemplate {

void KeepOpenedListsToTemplate(HWND dialog, const res::DialogTemplate& tmpl) {
    const int border = 2 * GetSystemMetrics(SM_CYBORDER);  // the opened list's edge, above and below
    for (const res::ControlTemplate& control : tmpl.controls) {
        if (control.kind != res::ControlKind::DropDownList) continue;
        const HWND list = GetDlgItem(dialog, control.id);
        RECT closed{};
        // The template's height as the dialog manager mapped the control's size; the opened list
        // gets what the closed field leaves of it.
        RECT size{0, 0, 0, control.height};
        if (list == nullptr || !GetWindowRect(list, &closed) || !MapDialogRect(dialog, &size)) continue;
        const int opened = size.bottom - (closed.bottom - closed.top);
        const int item = static_cast<int>(SendMessageW(list, CB_GETITEMHEIGHT, 0, 0));
        if (item <= 0) continue;
        SendMessageW(list, CB_SETMINVISIBLE, static_cast<WPARAM>(std::max(1, (opened - border) / item)), 0);
    }
}

}  // namespace dlgtemplate

namespace {

// A window watched for its first WM_GETOBJECT: its procedure before, and the names that are then
// given (none once they were, or were cleared). The watch is a plain subclass, which costs a
// message no more than a call: the common controls' subclass looks its data up as a window
// property at every message, which under Wine is a request to its server. It stays until the
// window goes, for a subclass made above it later cannot be unhooked from below.
struct WatchedWindow {
    HWND hwnd;
    WNDPROC next;
    CScreenReaderNames* names;
};

// The windows of this thread's dialogs that are watched; the window procedure finds its own here.
std::vector<WatchedWindow>& WatchedWindows() {
    static std::vector<WatchedWindow> watched;
    return watched;
}

std::vector<WatchedWindow>::iterator FindWatched(HWND hwnd) {
    return std::find_if(WatchedWindows().begin(), WatchedWindows().end(),
                        [&](const WatchedWindow& window) { return window.hwnd == hwnd; });
}

}  // namespace

CScreenReaderNames::~CScreenReaderNames() {
    Clear();
}

void CScreenReaderNames::NameWhenAsked(HWND dialog, const res::DialogTemplate& tmpl) {
    Clear();
    m_dialog = dialog;
    m_template = &tmpl;
    Watch(dialog);
    for (const res::ControlTemplate& control : tmpl.controls) {
        if (!accessible::NameOf(tmpl, control).empty()) Watch(GetDlgItem(dialog, control.id));
    }
}

void CScreenReaderNames::DescribeWhenAsked(HWND control, Describer describe) {
    m_described.emplace_back(control, std::move(describe));
    if (m_asked) {
        Redescribe();
    } else {
        Watch(control);
    }
}

void CScreenReaderNames::Watch(HWND hwnd) {
    if (hwnd == nullptr) return;
    if (const auto found = FindWatched(hwnd); found != WatchedWindows().end()) {
        found->names = this;
        return;
    }
    const auto next = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CScreenReaderNames::AskedProc)));
    if (next != nullptr) WatchedWindows().push_back({hwnd, next, this});
}

void CScreenReaderNames::StopWatching() {
    for (WatchedWindow& window : WatchedWindows()) {
        if (window.names == this) window.names = nullptr;
    }
}

LRESULT CALLBACK CScreenReaderNames::AskedProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto found = FindWatched(hwnd);
    if (found == WatchedWindows().end()) return DefWindowProcW(hwnd, message, wParam, lParam);
    const WNDPROC next = found->next;
    CScreenReaderNames* const names = found->names;
    if (message == WM_NCDESTROY) WatchedWindows().erase(found);
    // The annotations are in place before the asking program reads the object it is answered.
    if (message == WM_GETOBJECT && names != nullptr) names->Annotate();
    return CallWindowProcW(next, hwnd, message, wParam, lParam);
}

void CScreenReaderNames::Annotate() {
    StopWatching();
    m_asked = true;
    m_comInitialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                reinterpret_cast<void**>(&m_services)))) {
        m_services = nullptr;
        return;
    }
    if (m_template != nullptr) NameControls();
    Redescribe();
}

void CScreenReaderNames::NameControls() {
    for (const res::ControlTemplate& control : m_template->controls) {
        const std::string name = accessible::NameOf(*m_template, control);
        const HWND hwnd = name.empty() ? nullptr : GetDlgItem(m_dialog, control.id);
        if (hwnd == nullptr) continue;
        const std::wstring wide = platform::win32::Widen(name);
        if (SUCCEEDED(m_services->SetHwndPropStr(hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                                 PROPID_ACC_NAME, wide.c_str())))
            m_named.push_back(hwnd);
    }
}

void CScreenReaderNames::Redescribe() {
    if (m_services == nullptr) return;
    for (const auto& [hwnd, describe] : m_described) {
        m_services->SetHwndPropStr(hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                   PROPID_ACC_DESCRIPTION, platform::win32::Widen(describe()).c_str());
    }
}

void CScreenReaderNames::Clear() {
    StopWatching();
    if (m_services != nullptr) {
        MSAAPROPID name = PROPID_ACC_NAME;
        MSAAPROPID description = PROPID_ACC_DESCRIPTION;
        for (HWND hwnd : m_named)
            m_services->ClearHwndProps(hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &name, 1);
        for (const auto& described : m_described)
            m_services->ClearHwndProps(described.first, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                       &description, 1);
        m_services->Release();
    }
    m_services = nullptr;
    m_named.clear();
    m_described.clear();
    m_template = nullptr;
    m_dialog = nullptr;
    m_asked = false;
    if (m_comInitialised) CoUninitialize();
    m_comInitialised = false;
}
