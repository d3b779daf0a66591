// A look at another program's windows from inside the same Wine prefix, for the tests that drive
// the Windows window from the Linux side: what the system itself holds about a top-level window
// and its controls (texts, states, list contents, rectangles on the screen), and text widths in
// the system's default GUI font. One line per item, tab-separated, UTF-8.
//
// Usage: windowprobe window CAPTION    the visible top-level windows of exactly that caption, each
//                                      followed by its controls (exit status 1 when there is none)
//        windowprobe workarea          the desktop's work area
//        windowprobe width FACE HEIGHT TEXT
//                                      TEXT's width in pixels in that font (height as in LOGFONT)
//
//   window  HWND CAPTION LEFT TOP RIGHT BOTTOM (outer rectangle) CLIENT-LEFT CLIENT-TOP
//   control ID CLASS ENABLED LEFT TOP RIGHT BOTTOM TEXT [COUNT SELECTED ITEM|ITEM|...]
#include <windows.h>

#include <cstdlib>
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
    return TRUE;
}

int TextWidth(const std::string& face, int height, const std::string& text) {
    LOGFONTW description{};
    description.lfHeight = height;
    description.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(description.lfFaceName, Widen(face).c_str(), LF_FACESIZE);
    const HFONT font = CreateFontIndirectW(&description);
    HDC dc = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, font);
    const std::wstring wide = Widen(text);
    SIZE size{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    return size.cx;
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
    if (args.size() == 1 && args[0] == "workarea") {
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        std::cout << "workarea\t" << Rect(work) << "\n";
        return 0;
    }
    if (args.size() == 4 && args[0] == "width") {
        std::cout << "width\t" << TextWidth(args[1], std::atoi(args[2].c_str()), args[3]) << "\n";
        return 0;
    }
    std::cerr << "usage: windowprobe window CAPTION | workarea | width FACE HEIGHT TEXT\n";
    return 2;
}
