// SPDX-License-Identifier: MIT
#include "ui/win32/qlxduodlg.h"

#include <commctrl.h>

#include <utility>

#include "platform/winutil_win32.h"
#include "res/qlxduo_template.h"
#include "ui/colours.h"
#include "ui/qlxduodlgrules.h"
#include "ui/statustexts.h"

namespace {

constexpr int kIconId = 128;

HICON LoadAppIcon(int size) {
    return static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconId), IMAGE_ICON, size, size, LR_SHARED));
}

}  // namespace

CQlxduoDlg::CQlxduoDlg(HWND parent)
    : CDialogKn2(res::IDD_QLXDUO_DIALOG, parent, qlxduodlg::kAppSubFolder),
      m_com(1),
      m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconId))),
      m_workflow(*this, m_serialPort) {
    AttachControls();
}

// The port goes first, while the controls the workflow reports to still exist.
CQlxduoDlg::~CQlxduoDlg() {
    m_serialPort.Close();
}

void CQlxduoDlg::AttachControls() {
    const std::pair<int, CWnd*> controls[] = {
        {res::IDC_LETTER_A, &m_letterA},
        {res::IDC_ARROW_A_IN, &m_arrowAIn},
        {res::IDC_FORMAT_A, &m_formatA},
        {res::IDC_ARROW_A_OUT, &m_arrowAOut},
        {res::IDC_ARROW_B_IN, &m_arrowBIn},
        {res::IDC_FORMAT_B, &m_formatB},
        {res::IDC_ARROW_B_OUT, &m_arrowBOut},
        {res::IDC_LETTER_B, &m_letterB},
        {res::IDC_FIRMWARE, &m_firmware},
        {res::IDC_STATUS, &m_status},
        {res::IDC_BPS_A, &m_bpsA},
        {res::IDC_DATALEN_A, &m_dataLenA},
        {res::IDC_PARITY_A, &m_parityA},
        {res::IDC_STOPBITS_A, &m_stopBitsA},
        {res::IDC_FLOW_A, &m_flowA},
        {res::IDC_BPS_B, &m_bpsB},
        {res::IDC_DATALEN_B, &m_dataLenB},
        {res::IDC_PARITY_B, &m_parityB},
        {res::IDC_STOPBITS_B, &m_stopBitsB},
        {res::IDC_FLOW_B, &m_flowB},
        {res::IDC_WRITE, &m_write},
        {res::IDC_CONNECT, &m_connect},
        {res::IDC_COM, &m_com},
    };
    for (const auto& [id, control] : controls) AttachControl(id, *control);
}

BOOL CQlxduoDlg::OnInitDialog() {
    // A settings folder that cannot be made was reported already; the window works without it.
    CDialogKn2::OnInitDialog();
    SetIcons();
    SetWindowText(qlxduodlg::CaptionWithVersion(GetWindowText().c_str()));
    m_status.SetBackColor(colours::kStatusBackground, 1);
    ShowStatus(status::kDisconnected, StatusOutcome::Neutral);
    LoadComPort();
    FillFixedLists();
    MakeStatusTooltip();
    Connect();
    return TRUE;
}

void CQlxduoDlg::SetIcons() {
    const HICON small = LoadAppIcon(GetSystemMetrics(SM_CXSMICON));
    SendMessageW(GetSafeHwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(GetSafeHwnd(), WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(small != nullptr ? small : m_hIcon));
}

void CQlxduoDlg::FillFixedLists() {
    for (const UnitPort port : {UnitPort::A, UnitPort::B}) {
        for (const qlxduodlg::FixedList& fixed : qlxduodlg::kFixedLists) {
            CComboBox& list = PositionList(port, fixed.field);
            for (const char* text : fixed.texts) list.AddString(text);
            list.SetCurSel(-1);
        }
    }
}

// A tool over the status line's rectangle of the dialog: a static control lets the mouse through
// to its dialog, so the dialog is the window the tooltip watches.
void CQlxduoDlg::MakeStatusTooltip() {
    m_statusTip =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, GetSafeHwnd(), nullptr,
                        GetModuleHandleW(nullptr), nullptr);
    if (m_statusTip == nullptr) return;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = GetSafeHwnd();
    tool.uId = res::IDC_STATUS;
    GetWindowRect(m_status.GetSafeHwnd(), &tool.rect);
    MapWindowPoints(nullptr, GetSafeHwnd(), reinterpret_cast<POINT*>(&tool.rect), 2);
    tool.lpszText = m_statusTipText.data();
    SendMessageW(m_statusTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(m_statusTip, TTM_SETMAXTIPWIDTH, 0, 600);
}

void CQlxduoDlg::OnClose() {
    m_workflow.OnClose();
}

// A logoff or shutdown ends the process without a close: the unit goes back to normal mode first.
void CQlxduoDlg::OnEndSession(bool ending) {
    if (ending) m_workflow.OnProcessEnd();
}

bool CQlxduoDlg::OnCommand(int id, int notification) {
    if (notification != BN_CLICKED) return false;
    if (id == res::IDC_CONNECT) {
        Connect();
        return true;
    }
    if (id == res::IDC_WRITE) {
        WriteParameters();
        return true;
    }
    return false;
}

void CQlxduoDlg::Connect() {
    m_workflow.Connect();
}
void CQlxduoDlg::WriteParameters() {
    m_workflow.WriteParameters();
}
void CQlxduoDlg::SwitchToNormalMode() {
    m_workflow.SwitchToNormalMode();
}
void CQlxduoDlg::Disconnect() {
    m_workflow.Disconnect();
}

void CQlxduoDlg::ShowStatus(const std::string& text, StatusOutcome outcome) {
    m_status.SetWindowText(text);
    m_status.SetForeColor(colours::StatusColour(outcome), 1);
}

void CQlxduoDlg::ShowStatusDetails(const std::string& details) {
    m_statusTipText = platform::win32::Widen(details);
    if (m_statusTip == nullptr) return;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = GetSafeHwnd();
    tool.uId = res::IDC_STATUS;
    tool.lpszText = m_statusTipText.data();
    SendMessageW(m_statusTip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CQlxduoDlg::SetFirmwareLabel(const std::string& text) {
    m_firmware.SetWindowText(text);
    m_firmware.SetBackColor(colours::kFirmwareHighlight, 1);
}

void CQlxduoDlg::ClearFirmwareLabel() {
    m_firmware.SetWindowText("");
    m_firmware.SetBackColor(GetSysColor(COLOR_BTNFACE), 1);
}

CComboBox& CQlxduoDlg::PositionList(UnitPort port, PositionField field) const {
    return *static_cast<CComboBox*>(Member(qlxduodlg::PositionListId(port, field)));
}

int CQlxduoDlg::SelectedPosition(UnitPort port, PositionField field) const {
    return PositionList(port, field).GetCurSel();
}

void CQlxduoDlg::SelectPosition(UnitPort port, PositionField field, int position) {
    CComboBox& list = PositionList(port, field);
    list.SetCurSel(position >= 0 && position < list.GetCount() ? position : -1);
}

int CQlxduoDlg::SelectedBaudCode(UnitPort port) const {
    return BaudList(port).GetSelectedCode();
}

void CQlxduoDlg::SelectBaudCode(UnitPort port, int code) {
    BaudList(port).SelectCode(code);
}

void CQlxduoDlg::RefillBaudLists(int firmwareNumber) {
    m_bpsA.RefillForFirmware(firmwareNumber);
    m_bpsB.RefillForFirmware(firmwareNumber);
}

void CQlxduoDlg::EnableControl(WindowControl control, bool enable) {
    switch (control) {
        case WindowControl::ComList:
            m_com.EnableWindow(enable);
            return;
        case WindowControl::ConnectButton:
            m_connect.EnableWindow(enable);
            return;
        case WindowControl::WriteButton:
            m_write.EnableWindow(enable);
            return;
        case WindowControl::FormatGroup:
            break;
    }
    for (int id : qlxduodlg::kFormatGroupIds)
        ::EnableWindow(::GetDlgItem(GetSafeHwnd(), id), enable ? TRUE : FALSE);
}

// Through the dialog manager, so that the default button follows the focus.
void CQlxduoDlg::FocusConnectButton() {
    SendMessageW(GetSafeHwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_connect.GetSafeHwnd()), TRUE);
}

bool CQlxduoDlg::AskOkCancel(const std::string& question) {
    return AppMessageBox(question, MB_OKCANCEL) == IDOK;
}

int CQlxduoDlg::GetSelectedPort() const {
    return m_com.GetSelectedPort();
}

void CQlxduoDlg::LoadComPort() {
    LoadComPortInto(m_com, SettingsFilePath());
}

void CQlxduoDlg::SaveComPort() {
    SaveComPortFrom(m_com, SettingsFilePath());
}

void CQlxduoDlg::CloseWindow() {
    SendCancelRequest();
}
