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

CScreenReaderNames::~CScreenReaderNames() {
    Clear();
}

bool CScreenReaderNames::Annotate(HWND dialog, const res::DialogTemplate& tmpl) {
    Clear();
    m_comInitialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                reinterpret_cast<void**>(&m_services)))) {
        m_services = nullptr;
        return false;
    }
    for (const res::ControlTemplate& control : tmpl.controls) {
        const std::string name = accessible::NameOf(tmpl, control);
        const HWND hwnd = name.empty() ? nullptr : GetDlgItem(dialog, control.id);
        if (hwnd == nullptr) continue;
        const std::wstring wide = platform::win32::Widen(name);
        if (SUCCEEDED(m_services->SetHwndPropStr(hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                                 PROPID_ACC_NAME, wide.c_str())))
            m_named.push_back(hwnd);
    }
    return !m_named.empty();
}

void CScreenReaderNames::Clear() {
    if (m_services != nullptr) {
        MSAAPROPID name = PROPID_ACC_NAME;
        for (HWND hwnd : m_named)
            m_services->ClearHwndProps(hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &name, 1);
        m_services->Release();
    }
    m_services = nullptr;
    m_named.clear();
    if (m_comInitialised) CoUninitialize();
    m_comInitialised = false;
}
