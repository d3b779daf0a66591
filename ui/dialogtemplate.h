#pragma once
// Building a dialog's controls from its template: the dialog font, dialog units to pixels, and
// one widget per template control (a member control bound to the id, or a plain one).

#include <QFont>
#include <QRect>
#include <QString>

#include "res/qlxduo_template.h"

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

// The dialog base units of a font: the rounded average width of A-Z a-z, and the font's height.
struct BaseUnits {
    int x;
    int y;
};
BaseUnits BaseUnitsOf(const QFont& font);

// Dialog units to pixels, edges mapped and rounded like the dialog manager does.
QRect MapDialogRect(const BaseUnits& units, int x, int y, int width, int height);

// Template text for display: "\r\n" becomes a line break.
QString DisplayText(const char* text);

// Makes a plain widget of the control's kind (no parent yet).
QWidget* MakePlainControl(res::ControlKind kind);

// Gives a widget the control's parent, text, rectangle, state and look, then runs its bind hook.
void BindControl(QWidget& widget, const res::ControlTemplate& control, QWidget& dialog,
                 const BaseUnits& units);

}  // namespace dlgtemplate
