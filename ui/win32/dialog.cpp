// SPDX-License-Identifier: MIT
#include "ui/win32/dialog.h"

namespace {

// The kind a colour query message asks for, as CTLCOLOR_*; -1 for other messages.
int CtlColorKind(UINT message) {
    switch (message) {
        case WM_CTLCOLORMSGBOX:
            return CTLCOLOR_MSGBOX;
        case WM_CTLCOLOREDIT:
            return CTLCOLOR_EDIT;
        case WM_CTLCOLORLISTBOX:
            return CTLCOLOR_LISTBOX;
        case WM_CTLCOLORBTN:
            return CTLCOLOR_BTN;
        case WM_CTLCOLORDLG:
            return CTLCOLOR_DLG;
        case WM_CTLCOLORSCROLLBAR:
            return CTLCOLOR_SCROLLBAR;
        case WM_CTLCOLORSTATIC:
            return CTLCOLOR_STATIC;
        default:
            return -1;
    }
}

}  // namespace

CDialog::CDialog(unsigned templateId, HWND parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog() {
    if (GetSafeHwnd() != nullptr) DestroyWindow(GetSafeHwnd());
}

void CDialog::AttachControl(int id, CWnd& control) {
    m_members[id] = &control;
}

INT_PTR CDialog::DoModal() {
    const bool ownerWasEnabled = m_parent != nullptr && IsWindowEnabled(m_parent);
    if (ownerWasEnabled) ::EnableWindow(m_parent, FALSE);
    m_result = -1;
    m_running = true;
    const HWND hwnd = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), m_parent,
                                         DialogProc, reinterpret_cast<LPARAM>(this));
    if (hwnd == nullptr) m_running = false;
    if (m_running) ShowWindow(hwnd, SW_SHOW);
    while (PumpMessages()) WaitForInput();
    // The owner first, so that the system activates it, not another program, as the dialog goes.
    if (ownerWasEnabled) ::EnableWindow(m_parent, TRUE);
    if (GetSafeHwnd() != nullptr) DestroyWindow(GetSafeHwnd());
    return m_result;
}

bool CDialog::PumpMessages() {
    MSG message;
    while (m_running && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));  // for whoever runs the loop outside
            return false;
        }
        if (!PreTranslateMessage(&message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return m_running;
}

void CDialog::WaitForInput() {
    const DWORD count = m_waitHandle != nullptr ? 1 : 0;
    const DWORD woke =
        MsgWaitForMultipleObjectsEx(count, &m_waitHandle, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (count == 1 && woke == WAIT_OBJECT_0) OnWaitSignalled();
    // A handle that cannot be waited for would end every wait at once: the loop forgets it.
    if (woke == WAIT_FAILED) m_waitHandle = nullptr;
}

void CDialog::EndDialog(int result) {
    m_result = result;
    m_running = false;
}

BOOL CDialog::OnInitDialog() {
    BindControls();
    return TRUE;
}

BOOL CDialog::PreTranslateMessage(MSG* message) {
    const HWND dialog = GetSafeHwnd();
    if (dialog == nullptr || (message->hwnd != dialog && !IsChild(dialog, message->hwnd))) return FALSE;
    return IsDialogMessageW(dialog, message);
}

void CDialog::OnOK() {
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialog::OnClose() {
    SendCancelRequest();
}

void CDialog::SendCancelRequest() {
    SendMessageW(GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void CDialog::OnDestroy() {}

bool CDialog::OnCommand(int, int) {
    return false;
}

void CDialog::BindControls() {
    for (const auto& [id, control] : m_members) control->Attach(::GetDlgItem(GetSafeHwnd(), id));
}

void CDialog::UnbindControls() {
    for (const auto& [id, control] : m_members) control->Detach();
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        dialog->Attach(hwnd);
        return dialog->OnInitDialog();
    }
    auto* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return dialog != nullptr ? dialog->HandleMessage(message, wParam, lParam) : FALSE;
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (const int kind = CtlColorKind(message); kind >= 0) {
        // The dialog has no colours of its own: the control that asks answers, when it can.
        for (const auto& [id, control] : m_members) {
            if (control->GetSafeHwnd() != reinterpret_cast<HWND>(lParam)) continue;
            return reinterpret_cast<INT_PTR>(
                control->OnReflectedCtlColor(reinterpret_cast<HDC>(wParam), static_cast<UINT>(kind)));
        }
        return FALSE;
    }
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (id == IDOK) {
                OnOK();
            } else if (id == IDCANCEL) {
                OnCancel();
            } else {
                return OnCommand(id, HIWORD(wParam)) ? TRUE : FALSE;
            }
            return TRUE;
        }
        case WM_NOTIFY:
            return OnNotify(reinterpret_cast<NMHDR*>(lParam)) ? TRUE : FALSE;
        case WM_SETCURSOR:
            OnSetCursor();
            return FALSE;
        case WM_CLOSE:
            OnClose();
            return TRUE;
        case WM_HELP:
            OnHelp();
            return TRUE;
        case WM_ENDSESSION:
            OnEndSession(wParam != FALSE);
            return TRUE;
        case WM_DESTROY:
            OnDestroy();
            UnbindControls();
            return TRUE;
        case WM_NCDESTROY:
            SetWindowLongPtrW(GetSafeHwnd(), DWLP_USER, 0);
            Detach();
            return FALSE;
        default:
            return FALSE;
    }
}
