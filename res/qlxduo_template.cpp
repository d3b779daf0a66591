// SPDX-License-Identifier: MIT
#include "res/qlxduo_template.h"

namespace res {
namespace {

// The list's words as the table holds them; a button's lines show in its text.
#define QLXDUO_IS_Enabled true
#define QLXDUO_IS_Disabled false
#define QLXDUO_IS_Centred true
#define QLXDUO_IS_Left false
#define QLXDUO_IS_Sunken true
#define QLXDUO_IS_Flat false

// First the controls, in order: id, kind, text, rectangle, enabled, centred, sunken.
#define QLXDUO_DIALOG(id, width, height, caption, face, points)
#define QLXDUO_DIALOG_END()
#define QLXDUO_GROUP(text, id, state, x, y, width, height) \
    {id, ControlKind::GroupBox, text, x, y, width, height, QLXDUO_IS_##state, false, false},
#define QLXDUO_LIST(id, state, x, y, width, height) \
    {id, ControlKind::DropDownList, "", x, y, width, height, QLXDUO_IS_##state, false, false},
#define QLXDUO_BUTTON(text, id, lines, state, x, y, width, height) \
    {id, ControlKind::PushButton, text, x, y, width, height, QLXDUO_IS_##state, false, false},
// clang-format off
#define QLXDUO_STATIC(text, id, align, frame, state, x, y, width, height) \
    {id, ControlKind::Static, text, x, y, width, height, QLXDUO_IS_##state, QLXDUO_IS_##align, \
     QLXDUO_IS_##frame},
// clang-format on
constexpr ControlTemplate kQlxduoControls[] = {
#include "res/qlxduo_dialog.def"
};
#undef QLXDUO_DIALOG
#undef QLXDUO_GROUP
#undef QLXDUO_LIST
#undef QLXDUO_BUTTON
#undef QLXDUO_STATIC

// Then the dialog around them.
#define QLXDUO_DIALOG(id, width, height, caption, face, points) \
    constexpr DialogTemplate kQlxduoDialog = {id, caption, face, points, width, height, kQlxduoControls};
#define QLXDUO_GROUP(...)
#define QLXDUO_LIST(...)
#define QLXDUO_BUTTON(...)
#define QLXDUO_STATIC(...)
#include "res/qlxduo_dialog.def"

}  // namespace

const DialogTemplate* FindDialogTemplate(unsigned id) {
    return id == kQlxduoDialog.id ? &kQlxduoDialog : nullptr;
}

}  // namespace res
