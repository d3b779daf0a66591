// SPDX-License-Identifier: MIT
#pragma once
// CDialog: a dialog built by the system's dialog manager from a template resource and run modally
// with a message loop of its own, as an application framework's modal run does: the window is
// created modeless (CreateDialogParamW), its owner disabled for the run, and every queued message
// passes the dialog's pre-translation (by default the dialog manager's keyboard handling,
// IsDialogMessageW) before it is dispatched. The loop can wait for one handle besides. Member controls
// registered for an id are bound to the template's control of that id when the window is initialised.

#include <windows.h>

#include <map>

#include "ui/win32/wnd.h"

class CDialog : public CWnd {
public:
    // The template is a resource of the program's own module.
    CDialog(unsigned templateId, HWND parent);
    ~CDialog() override;

    // Registers a member control for a template id; call before the window is created.
    void AttachControl(int id, CWnd& control);

    // Creates the window, shows it and runs it until EndDialog; then destroys it. Returns
    // EndDialog's result, or -1 when the window could not be created.
    INT_PTR DoModal();
    // Ends the modal run once the message in hand has been handled.
    void EndDialog(int result);

protected:
    // WM_INITDIALOG: binds the member controls. Returns TRUE to let the dialog manager give the
    // focus to the first control that takes it.
    virtual BOOL OnInitDialog();
    // Every queued message for the dialog or its controls, before it is dispatched; TRUE when it
    // was handled here.
    virtual BOOL PreTranslateMessage(MSG* message);
    // The OK and Cancel requests (IDOK, IDCANCEL): end the run with that result.
    virtual void OnOK();
    virtual void OnCancel();
    // The window's close request (close box, system menu, Alt+F4): by default the ordinary close,
    // a Cancel request.
    virtual void OnClose();
    // The window is being destroyed; its controls still exist.
    virtual void OnDestroy();
    // The session is ending (WM_ENDSESSION; false: the end was called off). The system
    // ends the process once this returns; by default nothing happens.
    virtual void OnEndSession(bool) {}
    // A command of a control other than OK and Cancel; true when handled.
    virtual bool OnCommand(int id, int notification);
    // A notification of a common control (WM_NOTIFY); true when handled.
    virtual bool OnNotify(NMHDR*) { return false; }
    // The mouse moves over the dialog or one of its controls (WM_SETCURSOR, before the move
    // itself); the system then sets the cursor as usual.
    virtual void OnSetCursor() {}
    // F1: the program has no help content, so by default nothing happens.
    virtual void OnHelp() {}
    // The handle given to WaitAlsoFor is signalled; by default nothing happens.
    virtual void OnWaitSignalled() {}

    // The ordinary close: the Cancel request that the dialog manager makes of a close.
    void SendCancelRequest();
    // Has the modal run wait for this handle besides the messages, and call OnWaitSignalled each
    // time it is signalled; nullptr waits for messages only.
    void WaitAlsoFor(HANDLE handle) { m_waitHandle = handle; }

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void BindControls();
    void UnbindControls();
    // Handles the messages queued; false once the quit message has come.
    bool PumpMessages();
    // Until a message is queued, or the handle waited for besides is signalled.
    void WaitForInput();

    unsigned m_templateId;
    HWND m_parent;
    std::map<int, CWnd*> m_members;
    bool m_running = false;
    int m_result = -1;
    HANDLE m_waitHandle = nullptr;
};
