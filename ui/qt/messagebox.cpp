// SPDX-License-Identifier: MIT
#include "ui/qt/messagebox.h"

#include <QCoreApplication>
#include <utility>

namespace {

MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

}  // namespace

QMessageBox::StandardButton AppMessageBox(QWidget* parent, const QString& text,
                                          QMessageBox::StandardButtons buttons, QMessageBox::Icon icon) {
    const MessageBoxRequest request{QCoreApplication::applicationName(), text, icon, buttons};
    if (Hook()) return Hook()(request);
    QString shown = text;
    QMessageBox box(icon, request.caption, shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                    buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    return std::exchange(Hook(), std::move(hook));
}
