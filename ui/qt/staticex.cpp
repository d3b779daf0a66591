// SPDX-License-Identifier: MIT
#include "ui/qt/staticex.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPainter>

namespace {

// The default GUI font of a Japanese desktop, then proportional Japanese gothics that stand in for
// it, in order of preference.
constexpr const char* kGuiFaces[] = {"MS UI Gothic", "IPAPGothic", "Noto Sans CJK JP", "VL PGothic",
                                     "TakaoPGothic"};
constexpr int kGuiPointSize = 9;

QColor ToQColor(COLORREF color) {
    return QColor(colours::Red(color), colours::Green(color), colours::Blue(color));
}

}  // namespace

QFont JapaneseGuiFont() {
    const QStringList installed = QFontDatabase::families();
    QStringList faces;
    for (const char* face : kGuiFaces) {
        if (installed.contains(QString::fromUtf8(face))) faces << QString::fromUtf8(face);
    }
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    if (!faces.isEmpty()) font.setFamilies(faces);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(kGuiPointSize);
    return font;
}

COLORREF SysColor(QPalette::ColorRole role) {
    const QColor color = QApplication::palette().color(QPalette::Active, role);
    return RGB(color.red(), color.green(), color.blue());
}

CStaticEx::CStaticEx() : CColourLabel(SysColor(QPalette::Button), SysColor(QPalette::WindowText)) {
    // An explicit font is kept when the label joins a dialog with a font of its own.
    QFont gui = JapaneseGuiFont();
    gui.setResolveMask(QFont::AllPropertiesResolved);
    setFont(gui);
    // Every pixel is painted here, so nothing is erased beforehand.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

void CStaticEx::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), ToQColor(BackColor()));
    drawFrame(&painter);
    painter.setPen(ToQColor(TextColor()));
    painter.setFont(font());
    painter.drawText(contentsRect(), static_cast<int>(alignment()), text());
}
