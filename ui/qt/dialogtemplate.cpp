// SPDX-License-Identifier: MIT
#include "ui/qt/dialogtemplate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <limits>

namespace dlgtemplate {
namespace {

// Japanese fonts that stand in for the template's font, in order of preference.
constexpr const char* kFallbackFaces[] = {"MS Gothic", "IPAGothic", "Noto Sans Mono CJK JP",
                                          "Noto Sans CJK JP"};

constexpr const char* kOpenedListHeight = "qlxduoOpenedListHeight";

// The style's own choice of pop-up, except that an opened list is a plain list below (or above)
// the field: the pop-up some styles open over the field shows every entry however many there are.
class DropDownListStyle : public QProxyStyle {
public:
    explicit DropDownListStyle(const QString& base) : QProxyStyle(base) {}

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == SH_ComboBox_Popup) return 0;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

// Keeps an opened list to its template height: a longer list is cut to that height, from the
// side away from the field, and scrolls. A list makes its pop-up (a window among its children)
// when it first opens; the pop-up is watched from the moment it is polished, before it shows.
class OpenedListLimit : public QObject {
public:
    explicit OpenedListLimit(QComboBox& list) : QObject(&list), m_list(list) {
        list.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &m_list && event->type() == QEvent::ChildPolished) {
            auto* popup = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child());
            if (popup != nullptr && popup->isWindow()) {
                for (auto* view : popup->findChildren<QAbstractItemView*>())
                    view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
                popup->installEventFilter(this);
            }
        } else if (watched != &m_list && event->type() == QEvent::Show) {
            Limit(*static_cast<QWidget*>(watched));
        }
        return false;
    }

private:
    void Limit(QWidget& popup) const {
        const int height = OpenedListHeightOf(m_list);
        QRect rect = popup.geometry();
        if (rect.height() <= height) return;
        const bool below = rect.top() >= m_list.mapToGlobal(QPoint(0, m_list.height() / 2)).y();
        if (below) {
            rect.setHeight(height);
        } else {
            rect.setTop(rect.bottom() + 1 - height);
        }
        popup.setGeometry(rect);
    }

    QComboBox& m_list;
};

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
QRect BindList(QComboBox& list, const res::ControlTemplate& control, const BaseUnits& units,
               const QRect& mapped) {
    UseListStyle();
    const int closedHeight = list.sizeHint().height();
    list.setProperty(kOpenedListHeight,
                     dlgunits::OpenedListHeight(units, control.y, control.height, closedHeight));
    list.setMaxVisibleItems(std::numeric_limits<int>::max());  // the height limits, not a count
    new OpenedListLimit(list);
    return QRect(mapped.topLeft(), QSize(mapped.width(), closedHeight));
}

}  // namespace

void UseListStyle() {
    if (dynamic_cast<DropDownListStyle*>(QApplication::style()) != nullptr) return;
    QApplication::setStyle(new DropDownListStyle(QApplication::style()->name()));
}

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
    const dlgunits::PixelRect rect = dlgunits::MapDialogRect(units, x, y, width, height);
    return QRect(rect.x, rect.y, rect.width, rect.height);
}

int OpenedListHeightOf(const QComboBox& list) {
    return list.property(kOpenedListHeight).toInt();
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
    QRect rect = dlgtemplate::MapDialogRect(units, control.x, control.y, control.width, control.height);
    if (auto* list = qobject_cast<QComboBox*>(&widget)) rect = BindList(*list, control, units, rect);
    widget.setGeometry(rect);
    widget.setEnabled(control.enabled);
    if (auto* bindable = dynamic_cast<CBindable*>(&widget)) bindable->OnBound();
    widget.show();
}

}  // namespace dlgtemplate
