#include "ui/dialogtemplate.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

namespace dlgtemplate {
namespace {

// Japanese fonts that stand in for the template's font, in order of preference.
constexpr const char* kFallbackFaces[] = {"MS Gothic", "IPAGothic", "Noto Sans Mono CJK JP",
                                          "Noto Sans CJK JP"};

int MulDiv(int value, int numerator, int denominator) {
    const long long scaled = static_cast<long long>(value) * numerator * 2;
    const long long rounded = scaled >= 0 ? scaled + denominator : scaled - denominator;
    return static_cast<int>(rounded / (2LL * denominator));
}

void ApplyText(QWidget& widget, const res::ControlTemplate& control) {
    const QString text = DisplayText(control.text);
    if (auto* group = qobject_cast<QGroupBox*>(&widget)) group->setTitle(text);
    if (auto* button = qobject_cast<QAbstractButton*>(&widget)) button->setText(text);
    if (auto* label = qobject_cast<QLabel*>(&widget)) {
        label->setText(text);
        label->setAlignment((control.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
        if (control.sunken) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }
}

// A drop-down list keeps its own closed height; the template's height sizes the opened list.
QRect ListGeometry(QComboBox& list, const QRect& mapped) {
    const int closedHeight = list.sizeHint().height();
    const int itemHeight = std::max(1, list.fontMetrics().height());
    list.setMaxVisibleItems(std::max(1, (mapped.height() - closedHeight) / itemHeight));
    return QRect(mapped.topLeft(), QSize(mapped.width(), closedHeight));
}

}  // namespace

QFont DialogFont(const res::DialogTemplate& tmpl) {
    const QStringList installed = QFontDatabase::families();
    QStringList chosen{QString::fromUtf8(tmpl.fontFace)};
    for (const char* face : kFallbackFaces) chosen << QString::fromUtf8(face);
    chosen.removeIf([&](const QString& face) { return !installed.contains(face); });
    QFont font;
    if (!chosen.isEmpty()) font.setFamilies(chosen);
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(tmpl.pointSize);
    return font;
}

BaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

QRect MapDialogRect(const BaseUnits& units, int x, int y, int width, int height) {
    const int left = MulDiv(x, units.x, 4);
    const int top = MulDiv(y, units.y, 8);
    const int right = MulDiv(x + width, units.x, 4);
    const int bottom = MulDiv(y + height, units.y, 8);
    return QRect(left, top, right - left, bottom - top);
}

QString DisplayText(const char* text) {
    return QString::fromUtf8(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QWidget* MakePlainControl(res::ControlKind kind) {
    switch (kind) {
        case res::ControlKind::GroupBox:
            return new QGroupBox;
        case res::ControlKind::DropDownList:
            return new QComboBox;
        case res::ControlKind::PushButton:
            return new QPushButton;
        case res::ControlKind::Static:
            break;
    }
    return new QLabel;
}

void BindControl(QWidget& widget, const res::ControlTemplate& control, QWidget& dialog,
                 const BaseUnits& units) {
    widget.setParent(&dialog);
    ApplyText(widget, control);
    QRect rect = MapDialogRect(units, control.x, control.y, control.width, control.height);
    if (auto* list = qobject_cast<QComboBox*>(&widget)) rect = ListGeometry(*list, rect);
    widget.setGeometry(rect);
    widget.setEnabled(control.enabled);
    if (auto* bindable = dynamic_cast<CBindable*>(&widget)) bindable->OnBound();
    widget.show();
}

}  // namespace dlgtemplate
