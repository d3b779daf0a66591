// SPDX-License-Identifier: MIT
#include "ui/win32/qlxduodlg.h"

#include <commctrl.h>

#include "platform/winutil_win32.h"
#include "ui/qlxduodlgrules.h"

namespace {

HICON LoadAppIcon(int size) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_QLXDUO), IMAGE_ICON,
                                         size, size, LR_SHARED));
}

// A tooltip of the dialog's with one tool; nullptr when the system makes none.
HWND MakeTooltip(HWND dialog, TTTOOLINFOW& tool) {
    const HWND tip = CreateWindowExW(
        WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (tip == nullptr) return nullptr;
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, 600);
    return tip;
}

// A tool on the list's own window, which the closed list is; its text is asked for as it shows.
TTTOOLINFOW ComTool(HWND dialog, HWND list) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND;
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(list);
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    return tool;
}

}  // namespace

CQlxduoDlg::CQlxduoDlg(HWND parent)
    : CDialogKn2(IDD_QLXDUO_DIALOG, parent, qlxduodlg::kAppSubFolder),
      CQlxduoWindow(static_cast<const CSettingsLocation&>(*this)),
      m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_QLXDUO))) {
    AttachControls([this](int id, CWnd& control) { AttachControl(id, control); });
}

// The event handle the system signals when its list of serial ports changes.
void CQlxduoDlg::WatchPorts(std::intptr_t eventSource) {
    WaitAlsoFor(eventSource < 0 ? nullptr : reinterpret_cast<HANDLE>(eventSource));
}

BOOL CQlxduoDlg::OnInitDialog() {
    // A settings folder that cannot be made was reported already; the window works without it.
    CDialogKn2::OnInitDialog();
    SetIcons();
    SetWindowText(qlxduodlg::CaptionWithVersion(GetWindowText().c_str()));
    ScreenReaderNames().DescribeWhenAsked(m_com.GetSafeHwnd(), [this] { return m_com.SelectedDeviceText(); });
    StartUp();
    ShowSelectedPortDevice();
    return TRUE;
}

// Each tooltip is handed the mouse's messages to the window it watches, as it would take them by
// subclassing that window: a subclass costs each of the window's messages a look-up of its data,
// which under Wine is a request to the server.
BOOL CQlxduoDlg::PreTranslateMessage(MSG* message) {
    if (message->message >= WM_MOUSEFIRST && message->message <= WM_MOUSELAST) {
        const HWND tip = message->hwnd == GetSafeHwnd()         ? m_statusTip
                         : message->hwnd == m_com.GetSafeHwnd() ? m_comTip
                                                                : nullptr;
        if (tip != nullptr) SendMessageW(tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(message));
    }
    return CDialogKn2::PreTranslateMessage(message);
}

void CQlxduoDlg::OnSetCursor() {
    if (m_tooltipsMade) return;
    m_tooltipsMade = true;
    MakeStatusTooltip();
    MakeComTooltip();
}

void CQlxduoDlg::SetIcons() {
    const HICON small = LoadAppIcon(GetSystemMetrics(SM_CXSMICON));
    SendMessageW(GetSafeHwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(GetSafeHwnd(), WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(small != nullptr ? small : m_hIcon));
}

// A tool over the status line's rectangle of the dialog: a static control lets the mouse through
// to its dialog, so the dialog is the window the tooltip watches.
void CQlxduoDlg::MakeStatusTooltip() {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = GetSafeHwnd();
    tool.uId = IDC_STATUS;
    GetWindowRect(m_status.GetSafeHwnd(), &tool.rect);
    MapWindowPoints(nullptr, GetSafeHwnd(), reinterpret_cast<POINT*>(&tool.rect), 2);
    tool.lpszText = m_statusTipText.data();
    m_statusTip = MakeTooltip(GetSafeHwnd(), tool);
}

void CQlxduoDlg::MakeComTooltip() {
    TTTOOLINFOW tool = ComTool(GetSafeHwnd(), m_com.GetSafeHwnd());
    m_comTip = MakeTooltip(GetSafeHwnd(), tool);
}

// A tooltip showing now asks for its text again; the description is given again once screen
// readers were given one.
void CQlxduoDlg::ShowSelectedPortDevice() {
    TTTOOLINFOW tool = ComTool(GetSafeHwnd(), m_com.GetSafeHwnd());
    if (m_comTip != nullptr) SendMessageW(m_comTip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    ScreenReaderNames().Redescribe();
}

bool CQlxduoDlg::OnNotify(NMHDR* header) {
    if (header->hwndFrom != m_comTip || header->code != TTN_GETDISPINFOW) return false;
    m_comTipText = platform::win32::Widen(m_com.SelectedDeviceText());
    reinterpret_cast<NMTTDISPINFOW*>(header)->lpszText = m_comTipText.data();
    return true;
}

void CQlxduoDlg::OnClose() {
    CloseRequest();
}

// A logoff or shutdown ends the process without a close: the unit goes back to normal mode first.
void CQlxduoDlg::OnEndSession(bool ending) {
    if (ending) ProcessEndRequest();
}

bool CQlxduoDlg::OnCommand(int id, int notification) {
    if (id == IDC_COM && notification == CBN_SELCHANGE) {
        ShowSelectedPortDevice();
        return false;
    }
    // Before the list drops down: its items are those present now.
    if (id == IDC_COM && notification == CBN_DROPDOWN) {
        RefreshComList();
        return false;
    }
    if (notification != BN_CLICKED) return false;
    if (id == IDC_CONNECT) {
        Connect();
        return true;
    }
    if (id == IDC_WRITE) {
        WriteParameters();
        return true;
    }
    return false;
}

void CQlxduoDlg::ShowStatusDetails(const std::string& details) {
    m_statusTipText = platform::win32::Widen(details);
    if (m_statusTip == nullptr) return;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = GetSafeHwnd();
    tool.uId = IDC_STATUS;
    tool.lpszText = m_statusTipText.data();
    SendMessageW(m_statusTip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CQlxduoDlg::EnableItem(int id, bool enable) {
    ::EnableWindow(::GetDlgItem(GetSafeHwnd(), id), enable ? TRUE : FALSE);
}

// Through the dialog manager, so that the default button follows the focus.
void CQlxduoDlg::FocusConnectButton() {
    SendMessageW(GetSafeHwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_connect.GetSafeHwnd()), TRUE);
}

bool CQlxduoDlg::AskOkCancel(const std::string& question) {
    return AppMessageBox(question, MB_OKCANCEL) == IDOK;
}

void CQlxduoDlg::CloseWindow() {
    SendCancelRequest();
}
