// SPDX-License-Identifier: MIT
#pragma once
// Building a dialog's controls from its template: the dialog font, dialog units to pixels, and
// one widget per template control (a member control bound to the id, or a plain one).

#include <QFont>
#include <QRect>
#include <QString>

#include "res/qlxduo_template.h"
#include "ui/dialogunits.h"

class QComboBox;
class QWidget;

// A control that does something of its own when it is bound to its template control.
class CBindable {
public:
    virtual ~CBindable() = default;
    virtual void OnBound() = 0;
};

namespace dlgtemplate {

// The template's font if installed, else the first installed of the Japanese fallbacks; with
// Japanese glyph forms and the template's point size.
QFont DialogFont(const res::DialogTemplate& tmpl);

using dlgunits::BaseUnits;
BaseUnits BaseUnitsOf(const QFont& font);

// Dialog units to pixels, edges mapped and rounded like the dialog manager does.
QRect MapDialogRect(const BaseUnits& units, int x, int y, int width, int height);

// The height in pixels a drop-down list opens to; set when the list is bound to its template
// control (0 for a list that was not).
int OpenedListHeightOf(const QComboBox& list);

// Template text for display: "\r\n" becomes a line break.
QString DisplayText(const char* text);

// Makes the application's style open drop-down lists as plain lists below (or above) their field,
// as binding a list does. A list changing its style makes its pop-up at once: an application that
// calls this before it makes its lists has each list make its pop-up only when it first opens.
void UseListStyle();

// Makes a plain widget of the control's kind (no parent yet).
QWidget* MakePlainControl(res::ControlKind kind);

// Gives a widget the control's parent, text, rectangle, state and look, then runs its bind hook.
void BindControl(QWidget& widget, const res::ControlTemplate& control, QWidget& dialog,
                 const BaseUnits& units);

}  // namespace dlgtemplate
