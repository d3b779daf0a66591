// SPDX-License-Identifier: MIT
#include "ui/win32/dialogkn.h"

#include <optional>

#include "platform/userfolders.h"
#include "platform/winutil_win32.h"
#include "ui/dialogsettings.h"

namespace {

dlgsettings::WorkArea WorkArea() {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return {work.left, work.top, work.right, work.bottom};
}

RECT WindowRect(HWND hwnd) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    return rect;
}

// How far the work area of the window's monitor lies from the monitor's corner: Windows' window
// placement reports a top-level window in coordinates of that work area, not of the screen.
POINT WorkspaceOffset(HWND hwnd) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor)) return {0, 0};
    return {monitor.rcWork.left - monitor.rcMonitor.left, monitor.rcWork.top - monitor.rcMonitor.top};
}

// The top-left of the window's normal (restored) rectangle in screen coordinates. Where it stands,
// unless it is minimised: only then is the placement asked, whose coordinates differ between
// systems (Wine reports the screen's), and a position saved in the wrong ones would move the
// window by the work area's offset at every start.
std::optional<POINT> NormalTopLeft(HWND hwnd) {
    if (!IsIconic(hwnd)) {
        RECT rect{};
        if (!GetWindowRect(hwnd, &rect)) return std::nullopt;
        return POINT{rect.left, rect.top};
    }
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(hwnd, &placement)) return std::nullopt;
    const POINT offset = WorkspaceOffset(hwnd);
    return POINT{placement.rcNormalPosition.left + offset.x, placement.rcNormalPosition.top + offset.y};
}

}  // namespace

CDialogKn::CDialogKn(unsigned templateId, HWND parent)
    : CDialog(templateId, parent), m_template(res::FindDialogTemplate(templateId)) {}

BOOL CDialogKn::OnInitDialog() {
    CDialog::OnInitDialog();
    KeepToTemplate();
    const RECT rect = WindowRect(GetSafeHwnd());
    const auto centred =
        dlgsettings::CentredInWorkArea(rect.right - rect.left, rect.bottom - rect.top, WorkArea());
    SetWindowPos(GetSafeHwnd(), nullptr, centred.x, centred.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}

BOOL CDialogKn::PreTranslateMessage(MSG* message) {
    m_enterOrEscapeInHand =
        message->message == WM_KEYDOWN && (message->wParam == VK_RETURN || message->wParam == VK_ESCAPE);
    const BOOL handled = CDialog::PreTranslateMessage(message);
    m_enterOrEscapeInHand = false;
    return handled;
}

void CDialogKn::OnOK() {
    if (!m_enterOrEscapeInHand) CDialog::OnOK();
}

void CDialogKn::OnCancel() {
    if (!m_enterOrEscapeInHand) CDialog::OnCancel();
}

void CDialogKn::OnDestroy() {
    m_names.Clear();
    CDialog::OnDestroy();
}

void CDialogKn::KeepToTemplate() {
    if (m_template == nullptr) return;
    dlgtemplate::KeepOpenedListsToTemplate(GetSafeHwnd(), *m_template);
    // Without the annotation service (Wine has a stub) the system's own names stay.
    m_names.NameWhenAsked(GetSafeHwnd(), *m_template);
}

CDialogKn2::CDialogKn2(unsigned templateId, HWND parent, const char* subFolder)
    : CDialogKn(templateId, parent), CSettingsLocation(subFolder) {}

BOOL CDialogKn2::OnInitDialog() {
    CDialogKn::OnInitDialog();
    return LocateSettingsAndRestorePosition() ? TRUE : FALSE;
}

void CDialogKn2::LoadWindowPos(const std::string& path) {
    const RECT current = WindowRect(GetSafeHwnd());
    const auto requested =
        dlgsettings::PositionToRestore(dlgsettings::ReadWindowPos(path), {current.left, current.top});
    MoveIntoWorkArea(requested.x, requested.y, current.right - current.left, current.bottom - current.top);
}

void CDialogKn2::MoveIntoWorkArea(int x, int y, int width, int height) {
    const auto fitted = dlgsettings::FitIntoWorkArea({x, y}, width, height, WorkArea());
    SetWindowPos(GetSafeHwnd(), HWND_TOP, fitted.x, fitted.y, width, height, SWP_NOACTIVATE);
}

void CDialogKn2::SaveWindowPos(const std::string& path) {
    if (const std::optional<POINT> topLeft = NormalTopLeft(GetSafeHwnd()))
        dlgsettings::WriteWindowPos(path, topLeft->x, topLeft->y);
}

void CDialogKn2::OnDestroy() {
    SaveWindowPos(SettingsFilePath());
    CDialogKn::OnDestroy();
}

int CDialogKn2::AppMessageBox(const std::string& text, UINT buttons) const {
    using platform::win32::Widen;
    return MessageBoxW(GetSafeHwnd(), Widen(text).c_str(), Widen(platform::ExecutableBaseName()).c_str(),
                       buttons | MB_ICONEXCLAMATION);
}
