// SPDX-License-Identifier: MIT
// The dialog template compiled into qlxduo.exe, read back through the system as the dialog manager
// reads it, holds the table the core and the Qt window read: every control in the same order with
// the same id, text, rectangle and state, each kind with its Win32 class and styles; the dialog's
// size, caption, font and window style; and the icon and manifest beside it. Both come from one
// list, so what this finds is a fault of the resource script's macros or of how it is compiled
// (a text read in another code page, a style word mapped to the wrong style).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/winutil_win32.h"
#include "res/qlxduo_template.h"

namespace {

struct CompiledControl {
    int id = 0;
    std::string className, text;
    DWORD style = 0;
    int x = 0, y = 0, width = 0, height = 0;
};

struct CompiledDialog {
    DWORD style = 0, exStyle = 0;
    int width = 0, height = 0;
    std::string caption, fontFace;
    int pointSize = 0;
    std::vector<CompiledControl> controls;
};

// Reads a DLGTEMPLATEEX as its documentation lays it out.
class TemplateReader {
public:
    TemplateReader(const BYTE* data, DWORD size) : m_begin(data), m_at(data), m_end(data + size) {}

    CompiledDialog Dialog() {
        CompiledDialog dialog;
        Skip(2 * sizeof(WORD) + sizeof(DWORD));  // version, signature, help id
        dialog.exStyle = Read<DWORD>();
        dialog.style = Read<DWORD>();
        const WORD count = Read<WORD>();
        Skip(2 * sizeof(short));  // x, y
        dialog.width = Read<short>();
        dialog.height = Read<short>();
        SzOrOrd();  // menu
        SzOrOrd();  // class
        dialog.caption = SzOrOrd();
        if (dialog.style & DS_SETFONT) {
            dialog.pointSize = Read<WORD>();
            Skip(sizeof(WORD) + 2);  // weight, italic, character set
            dialog.fontFace = SzOrOrd();
        }
        for (WORD i = 0; i < count && m_at < m_end; ++i) dialog.controls.push_back(Control());
        return dialog;
    }

private:
    CompiledControl Control() {
        m_at = m_begin + (m_at - m_begin + 3) / 4 * 4;  // each item starts on a DWORD
        CompiledControl control;
        Skip(2 * sizeof(DWORD));  // help id, extended style
        control.style = Read<DWORD>();
        control.x = Read<short>();
        control.y = Read<short>();
        control.width = Read<short>();
        control.height = Read<short>();
        control.id = static_cast<int>(Read<DWORD>());
        control.className = SzOrOrd();
        control.text = SzOrOrd();
        Skip(Read<WORD>());  // creation data
        return control;
    }

    template <class T>
    T Read() {
        T value{};
        if (m_at + sizeof(T) <= m_end) std::memcpy(&value, m_at, sizeof(T));
        Skip(sizeof(T));
        return value;
    }
    void Skip(size_t bytes) { m_at += bytes; }

    // A text, or an ordinal: a predefined class atom by its class name, any other as #number. The
    // system takes class names in any case.
    std::string SzOrOrd() {
        std::wstring text;
        for (WORD unit = Read<WORD>(); unit != 0 && m_at <= m_end; unit = Read<WORD>()) {
            if (unit != 0xFFFF || !text.empty()) {
                text += static_cast<wchar_t>(unit);
                continue;
            }
            const WORD ordinal = Read<WORD>();
            switch (ordinal) {
                case 0x0080:
                    return "Button";
                case 0x0082:
                    return "Static";
                case 0x0085:
                    return "ComboBox";
                default:
                    return "#" + std::to_string(ordinal);
            }
        }
        return platform::win32::Narrow(text);
    }

    const BYTE* m_begin;
    const BYTE* m_at;
    const BYTE* m_end;
};

// The Win32 class and styles a control of the table is made with.
std::pair<std::string, DWORD> Win32Form(const res::ControlTemplate& control) {
    DWORD style = WS_CHILD | WS_VISIBLE | (control.enabled ? 0 : WS_DISABLED);
    switch (control.kind) {
        case res::ControlKind::GroupBox:
            return {"Button", style | BS_GROUPBOX};
        case res::ControlKind::PushButton:
            if (std::string(control.text).find("\r\n") != std::string::npos) style |= BS_MULTILINE;
            return {"Button", style | BS_PUSHBUTTON | WS_TABSTOP};
        case res::ControlKind::DropDownList:
            return {"ComboBox", style | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP};
        case res::ControlKind::Static:
            break;
    }
    // Every static text is centred vertically.
    style |= (control.centred ? SS_CENTER : SS_LEFT) | SS_CENTERIMAGE | (control.sunken ? SS_SUNKEN : 0);
    return {"Static", style};
}

// What differs between the compiled template and the table, one line each; empty when they agree.
std::vector<std::string> Differences(const CompiledDialog& compiled, const res::DialogTemplate& table) {
    std::vector<std::string> found;
    auto expect = [&](bool same, const std::string& what) {
        if (!same) found.push_back(what);
    };
    expect(compiled.width == table.width && compiled.height == table.height, "dialog size");
    expect(compiled.caption == table.caption, "caption");
    expect(compiled.fontFace == table.fontFace && compiled.pointSize == table.pointSize, "font");
    // A pop-up with caption, system menu, minimise box and modal frame, on the taskbar; no sizing.
    expect(
        compiled.style == (DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
        "dialog style");
    expect(compiled.exStyle == WS_EX_APPWINDOW, "dialog extended style");
    expect(compiled.controls.size() == table.controls.size(), "number of controls");
    for (size_t i = 0; i < std::min(compiled.controls.size(), table.controls.size()); ++i) {
        const CompiledControl& got = compiled.controls[i];
        const res::ControlTemplate& want = table.controls[i];
        const auto [className, style] = Win32Form(want);
        const std::string at = "control " + std::to_string(i) + " (" + std::to_string(want.id) + "): ";
        expect(got.id == want.id, at + "id");
        expect(got.text == want.text, at + "text");
        expect(_stricmp(got.className.c_str(), className.c_str()) == 0, at + "class " + got.className);
        expect(got.style == style, at + "style");
        expect(got.x == want.x && got.y == want.y && got.width == want.width && got.height == want.height,
               at + "rectangle");
    }
    return found;
}

// qlxduo.exe beside this test program, loaded for its resources only.
HMODULE LoadProgram() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"qlxduo.exe";
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
}

TEST(CompiledTemplate, HoldsTheTableWithTheIconAndTheManifest) {
    const HMODULE program = LoadProgram();
    ASSERT_NE(program, nullptr) << "qlxduo.exe: error " << GetLastError();
    const HRSRC found = FindResourceW(program, MAKEINTRESOURCEW(IDD_QLXDUO_DIALOG), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(program, found)));
    ASSERT_NE(data, nullptr);
    const CompiledDialog compiled = TemplateReader(data, SizeofResource(program, found)).Dialog();
    const res::DialogTemplate* table = res::FindDialogTemplate(IDD_QLXDUO_DIALOG);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(Differences(compiled, *table), std::vector<std::string>{});

    EXPECT_NE(FindResourceW(program, MAKEINTRESOURCEW(IDI_QLXDUO), RT_GROUP_ICON), nullptr);
    EXPECT_NE(FindResourceW(program, MAKEINTRESOURCEW(1), RT_MANIFEST), nullptr);
    FreeLibrary(program);
}

}  // namespace
