// SPDX-License-Identifier: MIT
#pragma once
// CQlxduoDlg: the utility's only window as a Win32 dialog from template 102. The window itself
// (its controls, the workflow's window operations, the start-up) is CQlxduoWindow's; here is what
// only Win32 does.

#include <string>

#include "ui/qlxduowindow.h"
#include "ui/win32/comboboxbps.h"
#include "ui/win32/comboboxcom.h"
#include "ui/win32/dialogkn.h"
#include "ui/win32/dropdownlist.h"
#include "ui/win32/staticex.h"

// The Win32 classes the window's controls are made of.
struct Win32Controls {
    using Static = CStatic;
    using Button = CButton;
    using List = CDropDownList<CChoiceList>;
    using BaudList = CComboBoxBps;
    using ComList = CComboBoxCom;
    using ColourLabel = CStaticEx;
    static COLORREF ButtonFace() { return GetSysColor(COLOR_BTNFACE); }
};

class CQlxduoDlg : public CDialogKn2, public CQlxduoWindow<Win32Controls> {
public:
    explicit CQlxduoDlg(HWND parent = nullptr);

    // CWindowOps
    void ShowStatusDetails(const std::string& details) override;
    void FocusConnectButton() override;
    bool AskOkCancel(const std::string& question) override;
    void CloseWindow() override;

protected:
    BOOL OnInitDialog() override;
    void OnClose() override;
    void OnEndSession(bool ending) override;
    bool OnCommand(int id, int notification) override;
    bool OnNotify(NMHDR* header) override;
    BOOL PreTranslateMessage(MSG* message) override;
    // The tooltips are made once the mouse first comes over the window: they show for nothing else.
    void OnSetCursor() override;
    void OnWaitSignalled() override { TakePortNews(); }
    void EnableItem(int id, bool enable) override;
    void WatchPorts(std::intptr_t eventSource) override;
    void ShowComDevices() override { ShowSelectedPortDevice(); }

private:
    void SetIcons();
    void MakeStatusTooltip();
    void MakeComTooltip();
    // The closed COM list's tooltip and accessible description: the selected port's device and
    // adapter, made as they are shown (the adapter is looked up then).
    void ShowSelectedPortDevice();

    HICON m_hIcon;
    // The status line's tooltip: why a port would not open, or that the device went away.
    HWND m_statusTip = nullptr;
    std::wstring m_statusTipText;
    HWND m_comTip = nullptr;
    std::wstring m_comTipText;
    bool m_tooltipsMade = false;
};
