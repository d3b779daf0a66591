// SPDX-License-Identifier: MIT
// The Windows window's yardstick: the same dialog template (102, every control, the dialog font)
// made by the dialog manager and shown, its lists filled with what the window's lists hold and its
// two sunken labels in the system's GUI font, with nothing of the program behind it — no
// settings, no port list, no unit, no icon. bench/wine_window_startup.sh times its start against
// qlxduo.exe's.
#include <windows.h>

#include <string>

#include "link/protocol.h"
#include "res/resource.h"
#include "ui/qlxduodlgrules.h"

namespace {

void Add(HWND dialog, int id, const char* text) {
    std::wstring wide(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), static_cast<int>(wide.size()));
    SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

// What the window's lists hold once it has read a unit: all baud rates, the fixed texts, one port.
void FillLists(HWND dialog) {
    for (const int id : {IDC_BPS_A, IDC_BPS_B}) {
        for (const unit::BaudEntry& entry : unit::BaudTable) Add(dialog, id, entry.label);
    }
    Add(dialog, IDC_COM, "COM1");
    for (const UnitPort port : {UnitPort::A, UnitPort::B}) {
        for (const qlxduodlg::FixedList& fixed : qlxduodlg::kFixedLists) {
            for (const char* text : fixed.texts)
                Add(dialog, qlxduodlg::PositionListId(port, fixed.field), text);
        }
    }
}

INT_PTR CALLBACK FloorDialog(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    static HFONT guiFont = nullptr;
    switch (message) {
        case WM_INITDIALOG: {
            LOGFONTW description{};
            GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof description, &description);
            guiFont = CreateFontIndirectW(&description);
            for (const int id : {IDC_FIRMWARE, IDC_STATUS})
                SendDlgItemMessageW(hwnd, id, WM_SETFONT, reinterpret_cast<WPARAM>(guiFont), FALSE);
            FillLists(hwnd);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) SendMessageW(hwnd, WM_CLOSE, 0, 0);
            return TRUE;
        case WM_CLOSE:
            DestroyWindow(hwnd);
            DeleteObject(guiFont);
            PostQuitMessage(0);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const HWND dialog =
        CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_QLXDUO_DIALOG), nullptr, FloorDialog, 0);
    if (dialog == nullptr) return 1;
    ShowWindow(dialog, SW_SHOW);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return 0;
}
