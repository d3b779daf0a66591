// SPDX-License-Identifier: MIT
// A look at another program's windows from inside the same Wine prefix, for the tests that drive
// the Windows window from the Linux side: what the system itself holds about a top-level window
// and its controls (texts, states, list contents, rectangles on the screen), and text widths in
// the system's default GUI font. One line per item, tab-separated, UTF-8.
//
// Usage: windowprobe window CAPTION    the visible top-level windows of exactly that caption, each
//                                      followed by its controls and the texts its thread's tooltips
//                                      show or showed last (exit status 1 when there is none)
//        windowprobe close HWND        asks the window to close, as its close box does (WM_CLOSE)
//        windowprobe endsession HWND   tells the window that the session ends (WM_QUERYENDSESSION,
//                                      then WM_ENDSESSION), as a logoff does; waits for it
//        windowprobe workarea          the desktop's work area
//        windowprobe ink TEXT          how many columns TEXT inks, drawn in the default GUI font
//        windowprobe dropdown HWND ID  opens the drop-down list of that control id as its button
//                                      does, reads where its list stands, and closes it again
//
//   window   HWND CAPTION LEFT TOP RIGHT BOTTOM (outer rectangle) CLIENT-LEFT CLIENT-TOP
//   control  ID CLASS ENABLED LEFT TOP RIGHT BOTTOM TEXT [COUNT SELECTED ITEM|ITEM|...]
//   tooltip  TEXT
//   dropdown LEFT TOP RIGHT BOTTOM (the opened list) ITEM-HEIGHT
#include <windows.h>

#include <commctrl.h>

#include <iostream>
#include <string>
#include <vector>

#include "platform/terminal.h"
#include "platform/winutil_win32.h"

namespace {

using platform::win32::Narrow;
using platform::win32::Widen;

std::string Text(HWND hwnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

// Line breaks as \r and \n, so that each item stays on its line.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string Rect(const RECT& rect) {
    return std::to_string(rect.left) + "\t" + std::to_string(rect.top) + "\t" + std::to_string(rect.right) +
           "\t" + std::to_string(rect.bottom);
}

std::string ListItems(HWND list) {
    const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
    std::string line =
        "\t" + std::to_string(count) + "\t" + std::to_string(SendMessageW(list, CB_GETCURSEL, 0, 0)) + "\t";
    for (int index = 0; index < count; ++index) {
        const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
        std::wstring item(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(item.data()));
        item.resize(static_cast<size_t>(length > 0 ? length : 0));
        line += (index > 0 ? "|" : "") + Narrow(item);
    }
    return line;
}

BOOL CALLBACK PrintControl(HWND control, LPARAM) {
    wchar_t className[64] = {};
    GetClassNameW(control, className, 64);
    RECT rect{};
    GetWindowRect(control, &rect);
    const std::string kind = Narrow(className);
    std::string line = "control\t" + std::to_string(GetDlgCtrlID(control)) + "\t" + kind + "\t" +
                       (IsWindowEnabled(control) ? "1" : "0") + "\t" + Rect(rect) + "\t" +
                       Escaped(Text(control));
    if (_wcsicmp(className, L"ComboBox") == 0) line += ListItems(control);
    std::cout << line << "\n";
    return TRUE;
}

// The text a tooltip shows, or showed last, which it gives only when asked by message: the system
// keeps no caption for it.
BOOL CALLBACK PrintTooltip(HWND hwnd, LPARAM) {
    wchar_t className[64] = {};
    GetClassNameW(hwnd, className, 64);
    if (_wcsicmp(className, TOOLTIPS_CLASSW) != 0) return TRUE;
    wchar_t text[1024] = {};
    SendMessageW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    std::cout << "tooltip\t" << Escaped(Narrow(text)) << "\n";
    return TRUE;
}

struct Search {
    std::wstring caption;
    int found = 0;
};

BOOL CALLBACK PrintWindow(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    if (!IsWindowVisible(hwnd) || Widen(Text(hwnd)) != search->caption) return TRUE;
    ++search->found;
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    POINT client{0, 0};
    ClientToScreen(hwnd, &client);
    std::cout << "window\t" << reinterpret_cast<UINT_PTR>(hwnd) << "\t" << Escaped(Text(hwnd)) << "\t"
              << Rect(rect) << "\t" << client.x << "\t" << client.y << "\n";
    EnumChildWindows(hwnd, PrintControl, 0);
    EnumThreadWindows(GetWindowThreadProcessId(hwnd, nullptr), PrintTooltip, 0);
    return TRUE;
}

// The columns that text drawn in the default GUI font inks, as a static control draws it (with
// the fonts linked for the characters the font itself lacks); 0 when it inks none.
int InkWidth(const std::string& text) {
    constexpr int kWidth = 2000, kHeight = 40;
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, kWidth, kHeight);
    const HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    const HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    RECT rect{0, 0, kWidth, kHeight};
    FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    const std::wstring wide = Widen(text);
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &rect,
              DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    int first = -1, last = -1;
    for (int x = 0; x < kWidth; ++x) {
        for (int y = 0; y < kHeight; ++y) {
            if (GetPixel(dc, x, y) == RGB(255, 255, 255)) continue;
            if (first < 0) first = x;
            last = x;
            break;
        }
    }
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return first < 0 ? 0 : last - first + 1;
}

HWND HandleOf(const std::string& text) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::stoull(text)));
}

struct ListSearch {
    DWORD thread;
    HWND list = nullptr;
};

BOOL CALLBACK FindShownList(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<ListSearch*>(param);
    wchar_t className[64] = {};
    GetClassNameW(hwnd, className, 64);
    if (_wcsicmp(className, L"ComboLBox") != 0 || !IsWindowVisible(hwnd) ||
        GetWindowThreadProcessId(hwnd, nullptr) != search->thread)
        return TRUE;
    search->list = hwnd;
    return FALSE;
}

// The list of a drop-down list while it is open: as the list reports its parts, or (Wine does not
// report them to another process) the one shown list window of the list's thread.
HWND OpenedListOf(HWND combo) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (GetComboBoxInfo(combo, &info) && info.hwndList != nullptr) return info.hwndList;
    ListSearch search{GetWindowThreadProcessId(combo, nullptr)};
    EnumWindows(FindShownList, reinterpret_cast<LPARAM>(&search));
    return search.list;
}

int PrintDropDown(HWND dialog, int id) {
    const HWND combo = GetDlgItem(dialog, id);
    if (combo == nullptr) return 1;
    SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    const HWND list = OpenedListOf(combo);
    RECT rect{};
    const bool found = list != nullptr && IsWindowVisible(list) && GetWindowRect(list, &rect);
    const LRESULT item = SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0);
    SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
    if (!found) return 1;
    std::cout << "dropdown\t" << Rect(rect) << "\t" << item << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    platform::UseUtf8Console();
    const std::vector<std::string> args = platform::CommandLineArguments(argc, argv);
    if (args.size() == 2 && args[0] == "window") {
        Search search{Widen(args[1])};
        EnumWindows(PrintWindow, reinterpret_cast<LPARAM>(&search));
        return search.found > 0 ? 0 : 1;
    }
    if (args.size() == 2 && args[0] == "close")
        return PostMessageW(HandleOf(args[1]), WM_CLOSE, 0, 0) ? 0 : 1;
    if (args.size() == 3 && args[0] == "dropdown")
        return PrintDropDown(HandleOf(args[1]), std::stoi(args[2]));
    if (args.size() == 2 && args[0] == "endsession") {
        const HWND hwnd = HandleOf(args[1]);
        const BOOL agreed = static_cast<BOOL>(SendMessageW(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
        SendMessageW(hwnd, WM_ENDSESSION, agreed, ENDSESSION_LOGOFF);
        return agreed ? 0 : 1;
    }
    if (args.size() == 1 && args[0] == "workarea") {
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        std::cout << "workarea\t" << Rect(work) << "\n";
        return 0;
    }
    if (args.size() == 2 && args[0] == "ink") {
        std::cout << "ink\t" << InkWidth(args[1]) << "\n";
        return 0;
    }
    std::cerr << "usage: windowprobe window CAPTION | close HWND | endsession HWND | workarea | ink TEXT |\n"
                 "       dropdown HWND ID\n";
    return 2;
}
