// SPDX-License-Identifier: MIT
// The Qt window's yardstick: its template as plain Qt widgets — every control at its place, the
// fixed lists and the baud lists filled, the dialog font and the labels' GUI font both in use —
// with nothing of the program behind it: no settings, no port list, no unit, no icon.
// bench/window_startup.sh times its start against qlxduo's.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "link/protocol.h"
#include "res/qlxduo_template.h"
#include "ui/dialogunits.h"
#include "ui/qlxduodlgrules.h"
#include "ui/qt/dialogtemplate.h"
#include "ui/qt/staticex.h"

namespace {

QWidget* MakeControl(const res::ControlTemplate& control, const QFont& guiFont) {
    const QString text = dlgtemplate::DisplayText(control.text);
    switch (control.kind) {
        case res::ControlKind::GroupBox:
            return new QGroupBox(text);
        case res::ControlKind::PushButton:
            return new QPushButton(text);
        case res::ControlKind::DropDownList:
            return new QComboBox;
        case res::ControlKind::Static:
            break;
    }
    auto* label = new QLabel(text);
    label->setAlignment((control.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
    if (control.sunken) {
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setFont(guiFont);
    }
    return label;
}

// What the window's lists hold once it has read a unit: all baud rates, the fixed texts, one port.
void Fill(QComboBox& list, int id) {
    if (id == IDC_BPS_A || id == IDC_BPS_B) {
        for (const unit::BaudEntry& entry : unit::BaudTable) list.addItem(QString::fromUtf8(entry.label));
    } else if (id == IDC_COM) {
        list.addItem(QStringLiteral("COM1"));
    }
    for (const UnitPort port : {UnitPort::A, UnitPort::B}) {
        for (const qlxduodlg::FixedList& fixed : qlxduodlg::kFixedLists) {
            if (qlxduodlg::PositionListId(port, fixed.field) != id) continue;
            for (const char* text : fixed.texts) list.addItem(QString::fromUtf8(text));
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const res::DialogTemplate& tmpl = *res::FindDialogTemplate(IDD_QLXDUO_DIALOG);
    app.setFont(dlgtemplate::DialogFont(tmpl));
    const QFont guiFont = JapaneseGuiFont();
    QDialog dialog;
    dialog.setWindowTitle(QString::fromUtf8(qlxduodlg::CaptionWithVersion(tmpl.caption)));
    const dlgunits::BaseUnits units = dlgtemplate::BaseUnitsOf(dialog.font());
    for (const res::ControlTemplate& control : tmpl.controls) {
        QWidget* widget = MakeControl(control, guiFont);
        widget->setParent(&dialog);
        if (auto* list = qobject_cast<QComboBox*>(widget)) Fill(*list, control.id);
        QRect rect = dlgtemplate::MapDialogRect(units, control.x, control.y, control.width, control.height);
        if (control.kind == res::ControlKind::DropDownList) rect.setHeight(widget->sizeHint().height());
        widget->setGeometry(rect);
        widget->setEnabled(control.enabled);
    }
    dialog.setFixedSize(dlgtemplate::MapDialogRect(units, 0, 0, tmpl.width, tmpl.height).size());
    dialog.show();
    return app.exec();
}
