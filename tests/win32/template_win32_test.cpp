// SPDX-License-Identifier: MIT
// The dialog template compiled into qlxduo.exe, read back through the system as the dialog manager
// reads it, holds the table the core and the Qt window read: every control in the same order with
// the same id, text, rectangle and state, each kind with its Win32 class and styles; the dialog's
// size, caption, font and window style; and the icon and manifest beside it. Each program's version,
// icon and manifest, read as Properties and the loader read them. Both come from one
// list, so what this finds is a fault of the resource script's macros or of how it is compiled
// (a text read in another code page, a style word mapped to the wrong style).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/winutil_win32.h"
#include "qlxduo_version.h"
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

// A program beside this test program, by its path.
std::wstring ProgramPath(const wchar_t* name) {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

// qlxduo.exe, loaded for its resources only.
HMODULE LoadProgram(const wchar_t* name = L"qlxduo.exe") {
    return LoadLibraryExW(ProgramPath(name).c_str(), nullptr,
                          LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
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

// The languages a resource is stored in.
std::vector<LANGID> Languages(HMODULE program, const wchar_t* type, const wchar_t* name) {
    std::vector<LANGID> found;
    EnumResourceLanguagesW(
        program, type, name,
        [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) -> BOOL {
            reinterpret_cast<std::vector<LANGID>*>(list)->push_back(language);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&found));
    return found;
}

// What Properties → Details shows: a line of the version resource in its own language, as UTF-8.
std::string VersionLine(const std::vector<BYTE>& info, const std::wstring& block, const wchar_t* key) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = L"\\StringFileInfo\\" + block + L"\\" + key;
    if (!VerQueryValueW(info.data(), path.c_str(), &value, &length) || length == 0) return "(none)";
    return platform::win32::Narrow(static_cast<const wchar_t*>(value));
}

// Each program carries the project's version with its own name and description, its icon and its
// manifest; the window's resources are in Japanese like its texts, the tool's manifest asks for
// UTF-8 as the code page and no elevation.
TEST(CompiledResources, EveryProgramCarriesItsVersionIconAndManifest) {
    struct Program {
        const wchar_t* file;
        LANGID language;
        const char* description;
        const char* manifestHolds;
    };
    const LANGID japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
    const Program programs[] = {
        {L"qlxduo.exe", japanese, "QLX-DUO設定ユーティリティ", "Microsoft.Windows.Common-Controls"},
        {L"qlxduo-cli.exe", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), "QLX-DUO command-line tool",
         "<activeCodePage "
         "xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">UTF-8</activeCodePage>"},
    };
    for (const Program& p : programs) {
        const std::string file = platform::win32::Narrow(p.file);
        SCOPED_TRACE(file);
        const std::wstring path = ProgramPath(p.file);
        std::vector<BYTE> info(GetFileVersionInfoSizeW(path.c_str(), nullptr));
        ASSERT_FALSE(info.empty()) << "no version resource";
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        // 1.03 as Windows counts: 1.3.0.0.
        const std::string version = QLXDUO_VERSION;
        const unsigned major = std::stoul(version), minor = std::stoul(version.substr(version.find('.') + 1));
        EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(minor, major));
        EXPECT_EQ(fixed->dwFileVersionLS, 0u);
        EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(minor, major));

        WORD* translation = nullptr;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                                   reinterpret_cast<void**>(&translation), &length));
        ASSERT_GE(length, 4u);
        EXPECT_EQ(translation[0], p.language);
        wchar_t block[9];
        swprintf(block, 9, L"%04x%04x", translation[0], translation[1]);
        EXPECT_EQ(VersionLine(info, block, L"FileDescription"), p.description);
        EXPECT_EQ(VersionLine(info, block, L"OriginalFilename"), file);
        EXPECT_EQ(VersionLine(info, block, L"ProductName"), "QLX-DUO Settings Utility");
        EXPECT_EQ(VersionLine(info, block, L"ProductVersion"), version);
        EXPECT_EQ(VersionLine(info, block, L"FileVersion"), version);
        EXPECT_EQ(VersionLine(info, block, L"LegalCopyright").rfind("Copyright ", 0), 0u);

        const HMODULE program = LoadProgram(p.file);
        ASSERT_NE(program, nullptr) << "error " << GetLastError();
        EXPECT_EQ(Languages(program, RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_QLXDUO)),
                  std::vector<LANGID>{p.language});
        EXPECT_EQ(Languages(program, RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO)),
                  std::vector<LANGID>{p.language});
        if (p.language == japanese) {
            EXPECT_EQ(Languages(program, RT_DIALOG, MAKEINTRESOURCEW(IDD_QLXDUO_DIALOG)),
                      std::vector<LANGID>{japanese});
        }
        const HRSRC manifest = FindResourceW(program, MAKEINTRESOURCEW(1), RT_MANIFEST);
        ASSERT_NE(manifest, nullptr);
        const std::string text(static_cast<const char*>(LockResource(LoadResource(program, manifest))),
                               SizeofResource(program, manifest));
        EXPECT_NE(text.find(p.manifestHolds), std::string::npos) << text;
        EXPECT_NE(text.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos) << text;
        FreeLibrary(program);
    }
}

}  // namespace
