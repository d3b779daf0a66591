// SPDX-License-Identifier: MIT
#pragma once
// The dialog base classes of the Win32 window. CDialogKn: Enter and Escape never end the dialog,
// the window stands centred in the work area until it is moved, and the opened lists' heights and
// the controls' names for screen readers follow the template as in the Qt window. CDialogKn2 adds
// the per-user settings file (its folder made level by level) and remembers the window's position
// in it.

#include <string>

#include "res/qlxduo_template.h"
#include "ui/dialogsettings.h"
#include "ui/win32/dialog.h"
#include "ui/win32/dialogtemplate.h"

class CDialogKn : public CDialog {
public:
    CDialogKn(unsigned templateId, HWND parent);

protected:
    // Binds the controls and centres the window in the work area.
    BOOL OnInitDialog() override;
    // Notes an Enter or Escape key-down for the time the dialog manager handles it, so that the
    // OK or Cancel request it makes of that key is dropped. Nothing is kept past the key: a key
    // that made no request (Enter on a focused button presses the button) cannot swallow a later
    // close.
    BOOL PreTranslateMessage(MSG* message) override;
    void OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;
    // The names screen readers give the controls, and their descriptions.
    CScreenReaderNames& ScreenReaderNames() { return m_names; }

private:
    // What the dialog manager leaves out of the template: the opened lists' heights and the names.
    void KeepToTemplate();

    bool m_enterOrEscapeInHand = false;
    const res::DialogTemplate* m_template;  // nullptr when the template has no table
    CScreenReaderNames m_names;
};

class CDialogKn2 : public CDialogKn, public CSettingsLocation {
public:
    // subFolder: below the per-user application-data folder, "\" separated (null: none).
    CDialogKn2(unsigned templateId, HWND parent, const char* subFolder);

    void LoadWindowPos(const std::string& path) override;
    void SaveWindowPos(const std::string& path);
    // Moves the window (its outer rectangle) to x, y, each axis centred in the work area when it
    // does not fit, at the top of the Z order without activating it.
    void MoveIntoWorkArea(int x, int y, int width, int height);

protected:
    // Binds the controls, finds or makes the settings folder, restores the position. FALSE after
    // a failure message.
    BOOL OnInitDialog() override;
    // The position is saved as the window goes, after the close handling.
    void OnDestroy() override;

    void ShowFailureMessage(const std::string& message) override { AppMessageBox(message, MB_OK); }

    // A message box of the application: its name as caption, the exclamation icon.
    int AppMessageBox(const std::string& text, UINT buttons) const;
};
