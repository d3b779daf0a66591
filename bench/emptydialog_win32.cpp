// SPDX-License-Identifier: MIT
// The Windows window's yardstick: the same dialog template (102, every control, the same font)
// made by the dialog manager and shown, with nothing of the program behind it — no settings, no
// port list, no unit. bench/wine_window_startup.sh times its start against qlxduo.exe's.
#include <windows.h>

namespace {

INT_PTR CALLBACK EmptyDialog(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_CLOSE || (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)) {
        DestroyWindow(hwnd);
        PostQuitMessage(0);
        return TRUE;
    }
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const HWND dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(102), nullptr, EmptyDialog, 0);
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
