// SPDX-License-Identifier: MIT
// The Windows program's resource script and the template table that the Qt window reads hold the
// same dialog: every control in the same order with the same id, text, style and rectangle, and
// the same size, caption, font and window style. Either one changed alone fails here.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "res/qlxduo_template.h"
#include "testenv.h"

namespace {

using Styles = std::set<std::string>;

struct RcControl {
    std::string text;
    int id;
    std::string className;
    Styles styles;
    int x, y, width, height;
};

struct RcDialog {
    unsigned id = 0;
    int width = 0, height = 0;
    Styles styles, exStyles;
    std::string caption, fontFace;
    int pointSize = 0;
    std::vector<RcControl> controls;
    std::vector<std::string> resources;  // "128 ICON" and the like, outside the dialog
};

Styles Split(const std::string& flags) {
    Styles styles;
    std::istringstream in(flags);
    for (std::string flag; std::getline(in, flag, '|');) {
        flag.erase(0, flag.find_first_not_of(' '));
        flag.erase(flag.find_last_not_of(' ') + 1);
        styles.insert(flag);
    }
    return styles;
}

// A resource script's string: \r and \n are the characters, "" a quote.
std::string Unquoted(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            out += next == 'r' ? '\r' : next == 'n' ? '\n' : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

RcDialog Parse(const std::string& script) {
    static const std::regex dialog(R"(^(\d+) DIALOGEX 0, 0, (\d+), (\d+)\s*$)");
    static const std::regex keyword(R"(^(STYLE|EXSTYLE) (.+?)\s*$)");
    static const std::regex caption(R"re(^CAPTION "(.*)"\s*$)re");
    static const std::regex font(R"re(^FONT (\d+), "(.*)"\s*$)re");
    static const std::regex control(
        R"re(^\s*CONTROL "((?:[^"\\]|\\.)*)", (-?\d+), "(\w+)", ([^,]+), (\d+), (\d+), (\d+), (\d+)\s*$)re");
    static const std::regex resource(R"re(^(\d+ \w+) "[^"]+"\s*$)re");
    RcDialog parsed;
    std::istringstream lines(script);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, dialog)) {
            parsed.id = static_cast<unsigned>(std::stoul(m[1]));
            parsed.width = std::stoi(m[2]);
            parsed.height = std::stoi(m[3]);
        } else if (std::regex_match(line, m, keyword)) {
            (m[1] == "STYLE" ? parsed.styles : parsed.exStyles) = Split(m[2]);
        } else if (std::regex_match(line, m, caption)) {
            parsed.caption = Unquoted(m[1]);
        } else if (std::regex_match(line, m, font)) {
            parsed.pointSize = std::stoi(m[1]);
            parsed.fontFace = Unquoted(m[2]);
        } else if (std::regex_match(line, m, control)) {
            parsed.controls.push_back({Unquoted(m[1]), std::stoi(m[2]), m[3], Split(m[4]), std::stoi(m[5]),
                                       std::stoi(m[6]), std::stoi(m[7]), std::stoi(m[8])});
        } else if (std::regex_match(line, m, resource)) {
            parsed.resources.push_back(m[1]);
        }
    }
    return parsed;
}

// The Win32 class and styles a control of the table is made with.
std::pair<std::string, Styles> Win32Form(const res::ControlTemplate& control) {
    Styles styles;
    std::string className;
    switch (control.kind) {
        case res::ControlKind::GroupBox:
            className = "Button";
            styles = {"BS_GROUPBOX"};
            break;
        case res::ControlKind::PushButton:
            className = "Button";
            styles = {"BS_PUSHBUTTON", "WS_TABSTOP"};
            if (std::string(control.text).find("\r\n") != std::string::npos) styles.insert("BS_MULTILINE");
            break;
        case res::ControlKind::DropDownList:
            className = "ComboBox";
            styles = {"CBS_DROPDOWNLIST", "WS_VSCROLL", "WS_TABSTOP"};
            break;
        case res::ControlKind::Static:
            className = "Static";
            // Every static text is centred vertically.
            styles = {control.centred ? "SS_CENTER" : "SS_LEFT", "SS_CENTERIMAGE"};
            if (control.sunken) styles.insert("SS_SUNKEN");
            break;
    }
    if (!control.enabled) styles.insert("WS_DISABLED");
    return {className, styles};
}

// What differs between the script and the table, one line each; empty when they agree.
std::vector<std::string> Differences(const RcDialog& rc, const res::DialogTemplate& table) {
    std::vector<std::string> found;
    auto expect = [&](bool same, const std::string& what) {
        if (!same) found.push_back(what);
    };
    expect(rc.id == table.id, "dialog id");
    expect(rc.width == table.width && rc.height == table.height, "dialog size");
    expect(rc.caption == table.caption, "caption");
    expect(rc.fontFace == table.fontFace && rc.pointSize == table.pointSize, "font");
    // A pop-up with caption, system menu, minimise box and modal frame, on the taskbar; no sizing.
    expect(rc.styles == Styles{"DS_MODALFRAME", "WS_POPUP", "WS_CAPTION", "WS_SYSMENU", "WS_MINIMIZEBOX"},
           "dialog style");
    expect(rc.exStyles == Styles{"WS_EX_APPWINDOW"}, "dialog extended style");
    expect(rc.controls.size() == table.controls.size(), "number of controls");
    for (size_t i = 0; i < std::min(rc.controls.size(), table.controls.size()); ++i) {
        const RcControl& got = rc.controls[i];
        const res::ControlTemplate& want = table.controls[i];
        const auto [className, styles] = Win32Form(want);
        const std::string at = "control " + std::to_string(i) + " (" + std::to_string(want.id) + "): ";
        expect(got.id == want.id, at + "id");
        expect(got.text == want.text, at + "text");
        expect(got.className == className, at + "class");
        expect(got.styles == styles, at + "style");
        expect(got.x == want.x && got.y == want.y && got.width == want.width && got.height == want.height,
               at + "rectangle");
    }
    return found;
}

std::string Script() {
    return testenv::ReadFile(QLXDUO_SOURCE_DIR "/res/qlxduo.rc");
}

TEST(ResourceScript, HoldsTheTemplateOfTheTable) {
    const std::string script = Script();
    ASSERT_FALSE(script.empty());
    // windres reads the Japanese texts as UTF-8 only when told so.
    EXPECT_NE(script.find("#pragma code_page(65001)"), std::string::npos);
    const RcDialog rc = Parse(script);
    const res::DialogTemplate* table = res::FindDialogTemplate(res::IDD_QLXDUO_DIALOG);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(Differences(rc, *table), std::vector<std::string>{});
    EXPECT_EQ(rc.resources, (std::vector<std::string>{"128 ICON", "1 RT_MANIFEST"}));
}

// Each kind of change to the script alone is caught.
TEST(ResourceScript, AnyChangeOfOneSideIsFound) {
    struct Case {
        const char* from;
        const char* to;
        const char* difference;
    };
    const Case cases[] = {
        {"\"接続\", 1016,", "\"接続\", 1017,", "control 2 (1016): id"},
        {"\"接続\", 1016,", "\"接 続\", 1016,", "control 2 (1016): text"},
        {"BS_PUSHBUTTON | WS_TABSTOP, 216", "BS_DEFPUSHBUTTON | WS_TABSTOP, 216", "control 2 (1016): style"},
        {"216, 50, 44, 16", "216, 50, 44, 17", "control 2 (1016): rectangle"},
        {"SS_LEFT | SS_CENTERIMAGE | SS_SUNKEN, 2, 153", "SS_LEFT | SS_SUNKEN, 2, 153",
         "control 32 (1019): style"},
        {"\"ComboBox\", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_DISABLED, 76, 111",
         "\"ComboBox\", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 76, 111", "control 24 (1014): style"},
        {"280, 171", "280, 172", "dialog size"},
        {"| WS_MINIMIZEBOX", "| WS_MINIMIZEBOX | WS_MAXIMIZEBOX", "dialog style"},
        {"FONT 9,", "FONT 10,", "font"},
    };
    const res::DialogTemplate& table = *res::FindDialogTemplate(res::IDD_QLXDUO_DIALOG);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        std::string script = Script();
        const size_t at = script.find(c.from);
        ASSERT_NE(at, std::string::npos);
        script.replace(at, std::string(c.from).size(), c.to);
        EXPECT_EQ(Differences(Parse(script), table), std::vector<std::string>{c.difference});
    }
}

}  // namespace
