// SPDX-License-Identifier: MIT
// The names a screen reader gives the main window's lists and buttons, read from the real
// template's labels.
#include "ui/accessiblenames.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

const res::DialogTemplate& Template() {
    return *res::FindDialogTemplate(IDD_QLXDUO_DIALOG);
}

const res::ControlTemplate& Control(int id) {
    for (const res::ControlTemplate& control : Template().controls) {
        if (control.id == id) return control;
    }
    ADD_FAILURE() << "no control " << id;
    return Template().controls.front();
}

TEST(AccessibleNames, ListsAreNamedByTheirRowColumnAndGroupButtonsByTheirText) {
    struct Case {
        int id;
        const char* name;
    };
    const Case cases[] = {
        {IDC_COM, "COMポート"},
        {IDC_CONNECT, "接続"},
        {IDC_BPS_A, "ボーレート A"},
        {IDC_DATALEN_A, "データ長 A"},
        {IDC_PARITY_A, "パリティ A"},
        {IDC_STOPBITS_A, "ストップビット A"},
        {IDC_FLOW_A, "フロー制御 A"},
        {IDC_BPS_B, "ボーレート B"},
        {IDC_DATALEN_B, "データ長 B"},
        {IDC_PARITY_B, "パリティ B"},
        {IDC_STOPBITS_B, "ストップビット B"},
        {IDC_FLOW_B, "フロー制御 B"},
        {IDC_WRITE, "パラメータ書き込み"},
        {IDC_FORMAT_A, "フォーマット変換 Ａ→Ｂ"},
        {IDC_FORMAT_B, "フォーマット変換 Ａ←Ｂ"},
        {IDC_STATUS, ""},
        {IDC_FIRMWARE, ""},
        {IDC_LETTER_A, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(accessible::NameOf(Template(), Control(c.id)), c.name) << c.id;
}

// A user tells the controls apart by these names alone.
TEST(AccessibleNames, EveryListAndButtonHasANameOfItsOwn) {
    std::set<std::string> names;
    int named = 0;
    for (const res::ControlTemplate& control : Template().controls) {
        if (control.kind != res::ControlKind::DropDownList && control.kind != res::ControlKind::PushButton)
            continue;
        const std::string name = accessible::NameOf(Template(), control);
        EXPECT_FALSE(name.empty()) << control.id;
        names.insert(name);
        ++named;
    }
    EXPECT_EQ(named, 15);
    EXPECT_EQ(names.size(), 15u);
}

}  // namespace
