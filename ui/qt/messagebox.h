// SPDX-License-Identifier: MIT
#pragma once
// Message boxes of the application: its name as caption, the warning icon unless another is asked
// for. Tests install a hook that answers in place of the user, so no box ever blocks them.

#include <QMessageBox>
#include <QString>
#include <functional>

struct MessageBoxRequest {
    QString caption;
    QString text;  // as given, "\r\n" included
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
};

using MessageBoxHook = std::function<QMessageBox::StandardButton(const MessageBoxRequest&)>;

// Shows a modal message box and returns the button chosen. The caption is the application's name
// (QCoreApplication::applicationName()).
QMessageBox::StandardButton AppMessageBox(QWidget* parent, const QString& text,
                                          QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                          QMessageBox::Icon icon = QMessageBox::Warning);

// While a hook is set, AppMessageBox passes each request to it instead of showing a box, and
// returns its answer. Returns the hook it replaces; an empty hook shows boxes again.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
