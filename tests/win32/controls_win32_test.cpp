// SPDX-License-Identifier: MIT
// The Win32 window's controls on real system windows: the coloured label's colour query, erase
// and repaint, its brush replaced and never piled up, and the two lists filled by the system's
// own drop-down lists, and the names screen readers are given once they ask. Runs under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "platform/winutil_win32.h"
#include "res/qlxduo_template.h"
#include "ui/win32/comboboxbps.h"
#include "ui/win32/comboboxcom.h"
#include "ui/win32/dialogtemplate.h"
#include "ui/win32/staticex.h"

namespace {

// A parent window that reflects its statics' colour queries to the label, as the dialog does,
// and counts them: each one is a paint of the label.
class Parent {
public:
    Parent() {
        m_hwnd = CreateWindowExW(0, L"Static", L"parent", WS_POPUP, 0, 0, 400, 200, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        SetWindowSubclass(m_hwnd, Proc, 0, reinterpret_cast<DWORD_PTR>(this));
    }
    ~Parent() {
        RemoveWindowSubclass(m_hwnd, Proc, 0);
        DestroyWindow(m_hwnd);
    }

    HWND Child(const wchar_t* className, DWORD style, int id) const {
        return CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | style, 10, 10, 200, 150, m_hwnd,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                               nullptr);
    }

    HWND hwnd() const { return m_hwnd; }
    CWnd* label = nullptr;
    int queries = 0;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR data) {
        auto* self = reinterpret_cast<Parent*>(data);
        if (message == WM_CTLCOLORSTATIC && self->label != nullptr &&
            reinterpret_cast<HWND>(lParam) == self->label->GetSafeHwnd()) {
            ++self->queries;
            if (HBRUSH brush =
                    self->label->OnReflectedCtlColor(reinterpret_cast<HDC>(wParam), CTLCOLOR_STATIC))
                return reinterpret_cast<LRESULT>(brush);
        }
        return DefSubclassProc(hwnd, message, wParam, lParam);
    }

    HWND m_hwnd = nullptr;
};

std::vector<std::string> Items(const CComboBox& list) {
    std::vector<std::string> items;
    for (int index = 0; index < list.GetCount(); ++index) {
        const LRESULT length = SendMessageW(list.GetSafeHwnd(), CB_GETLBTEXTLEN, index, 0);
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        SendMessageW(list.GetSafeHwnd(), CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(length));
        items.push_back(platform::win32::Narrow(text));
    }
    return items;
}

TEST(StaticExWin32, AnswersOnlyTheStaticColourQueryWithItsColours) {
    Parent parent;
    CStaticEx label;
    EXPECT_EQ(label.BackColor(), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(label.TextColor(), GetSysColor(COLOR_WINDOWTEXT));
    label.Attach(parent.Child(L"Static", SS_LEFT, 1019));
    label.SetBackColor(RGB(0, 0, 0), 0).SetForeColor(RGB(0, 255, 0), 0);

    HDC dc = GetDC(label.GetSafeHwnd());
    SetTextColor(dc, RGB(1, 2, 3));
    for (UINT kind :
         {CTLCOLOR_MSGBOX, CTLCOLOR_EDIT, CTLCOLOR_LISTBOX, CTLCOLOR_BTN, CTLCOLOR_DLG, CTLCOLOR_SCROLLBAR}) {
        EXPECT_EQ(label.OnReflectedCtlColor(dc, kind), nullptr) << kind;
        EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3)) << "the drawing context is left alone";
    }
    const HBRUSH brush = label.OnReflectedCtlColor(dc, CTLCOLOR_STATIC);
    EXPECT_NE(brush, nullptr);
    EXPECT_EQ(GetTextColor(dc), RGB(0, 255, 0));
    EXPECT_EQ(GetBkColor(dc), RGB(0, 0, 0));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    LOGBRUSH described{};
    ASSERT_NE(GetObjectW(brush, sizeof described, &described), 0);
    EXPECT_EQ(described.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(described.lbColor, RGB(0, 0, 0));
    ReleaseDC(label.GetSafeHwnd(), dc);

    // The erase step paints nothing and says so.
    HDC erase = GetDC(label.GetSafeHwnd());
    EXPECT_EQ(SendMessageW(label.GetSafeHwnd(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(erase), 0), 0);
    ReleaseDC(label.GetSafeHwnd(), erase);
}

TEST(StaticExWin32, ReplacesItsBrushOnEveryBackgroundChange) {
    Parent parent;
    CStaticEx label;
    label.Attach(parent.Child(L"Static", SS_LEFT, 1020));
    HDC dc = GetDC(label.GetSafeHwnd());
    HBRUSH previous = label.OnReflectedCtlColor(dc, CTLCOLOR_STATIC);
    for (int i = 0; i < 100; ++i) {
        label.SetBackColor(RGB(0, 255, 0), 0);  // the same colour every time
        const HBRUSH current = label.OnReflectedCtlColor(dc, CTLCOLOR_STATIC);
        ASSERT_NE(current, nullptr);
        EXPECT_EQ(GetObjectType(previous), 0u) << "the old brush is deleted";
        EXPECT_EQ(GetObjectType(current), static_cast<DWORD>(OBJ_BRUSH));
        previous = current;
    }
    ReleaseDC(label.GetSafeHwnd(), dc);
}

TEST(StaticExWin32, RepaintsBeforeReturningOnlyForRedrawOne) {
    Parent parent;
    CStaticEx label;
    parent.label = &label;
    label.Attach(parent.Child(L"Static", SS_LEFT, 1019));
    ShowWindow(parent.hwnd(), SW_SHOWNOACTIVATE);
    UpdateWindow(parent.hwnd());
    for (int redraw : {0, 2, -1}) {
        const int before = parent.queries;
        label.SetForeColor(RGB(255, 0, 0), redraw);
        label.SetBackColor(RGB(0, 0, 0), redraw);
        EXPECT_EQ(parent.queries, before) << redraw;
    }
    const int before = parent.queries;
    label.SetForeColor(RGB(255, 255, 0), 1);
    EXPECT_EQ(parent.queries, before + 1) << "painted at once";
    label.SetBackColor(RGB(0, 0, 0), 1);
    EXPECT_EQ(parent.queries, before + 2);
    parent.label = nullptr;
}

TEST(ComboBoxWin32, BaudListFillsOnBindingWithCodesAsItemData) {
    Parent parent;
    CComboBoxBps list;
    list.Attach(parent.Child(L"ComboBox", CBS_DROPDOWNLIST | WS_VSCROLL, 1000));
    const std::vector<std::string> items = Items(list);
    ASSERT_EQ(items.size(), 28u);
    EXPECT_EQ(items.front(), "110bps");
    EXPECT_EQ(items.back(), "115200bps");
    EXPECT_EQ(list.GetCurSel(), 0);
    EXPECT_EQ(list.GetItemData(15), 44u) << "10400bps";
    list.RefillForFirmware(101);
    EXPECT_EQ(list.GetCount(), 26);
    list.SelectCode(33);
    EXPECT_EQ(Items(list)[static_cast<size_t>(list.GetCurSel())], "115200bps");
    EXPECT_EQ(list.GetSelectedCode(), 33);
}

TEST(ComboBoxWin32, PortListWithoutDetectionOffersEveryPortInNumberOrder) {
    Parent parent;
    CComboBoxCom list(0);
    list.Attach(parent.Child(L"ComboBox", CBS_DROPDOWNLIST | WS_VSCROLL, 1013));
    EXPECT_EQ(list.FillAndSelect(10), 1);
    const std::vector<std::string> items = Items(list);
    ASSERT_EQ(items.size(), 255u);
    EXPECT_EQ(items[1], "COM2");
    EXPECT_EQ(items[9], "COM10");
    EXPECT_EQ(list.GetSelectedPort(), 10);
    list.SetCurSel(-1);
    EXPECT_EQ(list.GetSelectedPort(), -1);
}

// Screen readers ask a control for its accessible object before they read it: the names and
// descriptions are given then, and not before (the annotation service is not even loaded).
TEST(ScreenReaderNamesWin32, GivenWhenAProgramFirstAsksAControlForItsObject) {
    Parent parent;
    const HWND list = parent.Child(L"ComboBox", CBS_DROPDOWNLIST, IDC_COM);
    int described = 0;
    CScreenReaderNames names;
    names.NameWhenAsked(parent.hwnd(), *res::FindDialogTemplate(IDD_QLXDUO_DIALOG));
    names.DescribeWhenAsked(list, [&] {
        ++described;
        return std::string("\\Device\\Serial6");
    });
    names.Redescribe();
    EXPECT_EQ(described, 0);
    EXPECT_EQ(GetModuleHandleW(L"oleacc.dll"), nullptr);
    SendMessageW(list, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
    EXPECT_EQ(described, 1);
    EXPECT_NE(GetModuleHandleW(L"oleacc.dll"), nullptr);
    SendMessageW(list, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
    EXPECT_EQ(described, 1) << "given once";
    names.Redescribe();
    EXPECT_EQ(described, 2) << "and again when asked to";
    names.Clear();
}

}  // namespace
