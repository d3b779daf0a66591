// SPDX-License-Identifier: MIT
#include "res/qlxduo_template.h"

#include <array>

namespace res {
namespace {

constexpr ControlKind kGroup = ControlKind::GroupBox;
constexpr ControlKind kStatic = ControlKind::Static;
constexpr ControlKind kList = ControlKind::DropDownList;
constexpr ControlKind kButton = ControlKind::PushButton;

constexpr std::array<ControlTemplate, 33> kQlxduoControls = {{
    // id, kind, text, x, y, w, h, enabled, centred, sunken
    {IDC_STATIC, kGroup, "COMポート", 200, 11, 78, 63, true, false, false},
    {IDC_COM, kList, "", 217, 25, 43, 71, true, false, false},
    {IDC_CONNECT, kButton, "接続", 216, 50, 44, 16, true, false, false},
    {IDC_STATIC, kStatic, "A", 72, 4, 37, 13, true, true, false},
    {IDC_STATIC, kStatic, "B", 141, 4, 37, 13, true, true, false},
    {IDC_STATIC, kStatic, "ボーレート", 2, 19, 37, 13, true, false, false},
    {IDC_STATIC, kStatic, "データ長", 2, 34, 37, 13, true, false, false},
    {IDC_STATIC, kStatic, "パリティ", 2, 49, 37, 13, true, false, false},
    {IDC_STATIC, kStatic, "ストップビット", 2, 64, 55, 13, true, false, false},
    {IDC_STATIC, kStatic, "フロー制御", 2, 79, 56, 13, true, false, false},
    {IDC_BPS_A, kList, "", 64, 19, 58, 70, true, false, false},
    {IDC_DATALEN_A, kList, "", 64, 34, 58, 70, true, false, false},
    {IDC_PARITY_A, kList, "", 64, 49, 58, 70, true, false, false},
    {IDC_STOPBITS_A, kList, "", 64, 64, 58, 70, true, false, false},
    {IDC_FLOW_A, kList, "", 64, 79, 58, 70, true, false, false},
    {IDC_BPS_B, kList, "", 129, 19, 58, 70, true, false, false},
    {IDC_DATALEN_B, kList, "", 129, 34, 58, 70, true, false, false},
    {IDC_PARITY_B, kList, "", 129, 49, 58, 70, true, false, false},
    {IDC_STOPBITS_B, kList, "", 129, 64, 58, 70, true, false, false},
    {IDC_FLOW_B, kList, "", 129, 79, 58, 70, true, false, false},
    {IDC_WRITE, kButton, "パラメータ\r\n書き込み", 199, 87, 77, 26, false, false, false},
    {IDC_STATIC, kGroup, "フォーマット変換", 42, 98, 145, 49, false, false, false},
    {IDC_LETTER_A, kStatic, "Ａ", 52, 119, 10, 13, false, false, false},
    {IDC_ARROW_A_IN, kStatic, "→", 62, 112, 9, 13, false, false, false},
    {IDC_FORMAT_A, kList, "", 76, 111, 77, 71, false, false, false},
    {IDC_ARROW_A_OUT, kStatic, "→", 155, 112, 10, 13, false, false, false},
    {IDC_ARROW_B_IN, kStatic, "←", 62, 127, 13, 13, false, false, false},
    {IDC_FORMAT_B, kList, "", 76, 127, 77, 71, false, false, false},
    {IDC_ARROW_B_OUT, kStatic, "←", 155, 127, 12, 13, false, false, false},
    {IDC_LETTER_B, kStatic, "Ｂ", 167, 119, 10, 13, false, false, false},
    {IDC_STATIC, kStatic, "ファームウェア", 217, 120, 61, 13, true, false, false},
    {IDC_FIRMWARE, kStatic, "", 214, 134, 64, 12, true, true, true},
    {IDC_STATUS, kStatic, "切断中", 2, 153, 276, 13, true, false, true},
}};

constexpr DialogTemplate kQlxduoDialog = {
    IDD_QLXDUO_DIALOG, "QLX-DUO設定ユーティリティ", "ＭＳ ゴシック", 9, 280, 171, kQlxduoControls,
};

}  // namespace

const DialogTemplate* FindDialogTemplate(unsigned id) {
    return id == kQlxduoDialog.id ? &kQlxduoDialog : nullptr;
}

}  // namespace res
