// SPDX-License-Identifier: MIT
#include "ui/qt/dialogkn.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

#include "ui/accessiblenames.h"
#include "ui/dialogsettings.h"
#include "ui/qt/dialogtemplate.h"
#include "ui/qt/framehints.h"
#include "ui/qt/messagebox.h"

namespace {

dlgsettings::WorkArea WorkArea() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect work = screen != nullptr ? screen->availableGeometry() : QRect();
    // QRect's right and bottom are inclusive; the work area's edges are exclusive.
    return {work.left(), work.top(), work.left() + work.width(), work.top() + work.height()};
}

// Qt on Linux reports a drop-down list's current value as its name and looks for the list's label
// in label relations, which a list with a row and a column label cannot have; the description is
// reported, and screen readers speak it after the value.
void NameForScreenReaders(QWidget& widget, const std::string& name) {
    if (name.empty()) return;
    const QString text = QString::fromStdString(name);
    widget.setAccessibleName(text);
    if (qobject_cast<QComboBox*>(&widget) != nullptr) widget.setAccessibleDescription(text);
}

}  // namespace

CDialogKn::CDialogKn(unsigned templateId, QWidget* parent)
    : QDialog(parent), m_template(res::FindDialogTemplate(templateId)) {}

void CDialogKn::AttachControl(int id, QWidget& control) {
    m_members[id] = &control;
}

QWidget* CDialogKn::GetDlgItem(int id) const {
    auto found = m_items.find(id);
    return found == m_items.end() ? nullptr : found->second;
}

bool CDialogKn::Create() {
    if (m_created) return m_initResult;
    m_created = true;
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setLocale(QLocale(QLocale::Japanese, QLocale::Japan));
    if (m_template != nullptr) {
        setWindowTitle(QString::fromUtf8(m_template->caption));
        setFont(dlgtemplate::DialogFont(*m_template));
        const auto units = dlgtemplate::BaseUnitsOf(font());
        setFixedSize(dlgtemplate::MapDialogRect(units, 0, 0, m_template->width, m_template->height).size());
    }
    // Where the window stands until a remembered position moves it: centred in the work area, by
    // its inside until the window manager has framed it, then with the frame.
    const auto centred = dlgsettings::CentredInWorkArea(width(), height(), WorkArea());
    move(centred.x, centred.y);
    m_placeWithFramePending = true;
    m_initResult = OnInitDialog();
    return m_initResult;
}

void CDialogKn::setVisible(bool visible) {
    if (visible) Create();
    QDialog::setVisible(visible);
}

bool CDialogKn::OnInitDialog() {
    BuildControls();
    return true;
}

void CDialogKn::BuildControls() {
    if (m_template == nullptr) return;
    const auto units = dlgtemplate::BaseUnitsOf(font());
    for (const res::ControlTemplate& control : m_template->controls) {
        auto member = m_members.find(control.id);
        QWidget* widget =
            member != m_members.end() ? member->second : dlgtemplate::MakePlainControl(control.kind);
        dlgtemplate::BindControl(*widget, control, *this, units);
        NameForScreenReaders(*widget, accessible::NameOf(*m_template, control));
        if (control.id != IDC_STATIC) m_items[control.id] = widget;
    }
}

// The native window exists now and is not mapped yet: the moment to tell the window manager what
// frame to draw.
void CDialogKn::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) OfferFixedDialogFrame(*this);
    if (m_placeWithFramePending && windowHandle() != nullptr) windowHandle()->installEventFilter(this);
    QDialog::showEvent(event);
}

// The window manager frames the window as it maps it: at the first expose the frame's size is
// known, and the window is placed again with it.
bool CDialogKn::eventFilter(QObject* watched, QEvent* event) {
    if (m_placeWithFramePending && watched == windowHandle() && event->type() == QEvent::Expose &&
        windowHandle()->isExposed()) {
        m_placeWithFramePending = false;
        windowHandle()->removeEventFilter(this);
        const QMargins frame = windowHandle()->frameMargins();
        PlaceWithFrame(width() + frame.left() + frame.right(), height() + frame.top() + frame.bottom());
    }
    return QDialog::eventFilter(watched, event);
}

void CDialogKn::PlaceWithFrame(int width, int height) {
    const auto centred = dlgsettings::CentredInWorkArea(width, height, WorkArea());
    move(centred.x, centred.y);
}

void CDialogKn::OnClose() {
    reject();
}

void CDialogKn::done(int result) {
    m_ended = true;
    QDialog::done(result);
}

// Enter and Escape reach the dialog only when no control took them (a focused push button presses
// itself on Enter); here they would end the dialog, so they are dropped. No state is kept, so no
// key press can swallow a later close request.
void CDialogKn::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Enter:
        case Qt::Key_Return:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void CDialogKn::closeEvent(QCloseEvent* event) {
    m_ended = false;
    OnClose();
    event->setAccepted(m_ended);
}

CDialogKn2::CDialogKn2(unsigned templateId, QWidget* parent, const char* subFolder)
    : CDialogKn(templateId, parent), CSettingsLocation(subFolder) {}

bool CDialogKn2::OnInitDialog() {
    CDialogKn::OnInitDialog();
    return LocateSettingsAndRestorePosition();
}

void CDialogKn2::ShowFailureMessage(const std::string& message) {
    AppMessageBox(this, QString::fromStdString(message));
}

void CDialogKn2::LoadWindowPos(const std::string& path) {
    const QRect current = frameGeometry();
    m_storedPos = dlgsettings::ReadWindowPos(path);
    m_positionLoaded = true;
    const auto requested = dlgsettings::PositionToRestore(m_storedPos, {current.left(), current.top()});
    MoveIntoWorkArea(requested.x, requested.y, current.width(), current.height());
}

// An edge nothing was stored for is centred with the frame, as on a first start.
void CDialogKn2::PlaceWithFrame(int width, int height) {
    if (!m_positionLoaded) {
        CDialogKn::PlaceWithFrame(width, height);
        return;
    }
    const auto requested = dlgsettings::PositionToRestore(
        m_storedPos, dlgsettings::CentredInWorkArea(width, height, WorkArea()));
    MoveIntoWorkArea(requested.x, requested.y, width, height);
}

void CDialogKn2::MoveIntoWorkArea(int x, int y, int width, int height) {
    const auto fitted = dlgsettings::FitIntoWorkArea({x, y}, width, height, WorkArea());
    move(fitted.x, fitted.y);
}

void CDialogKn2::SaveWindowPos(const std::string& path) {
    // The frame's top-left for the normal (restored) geometry, also while minimised.
    const QPoint frameOffset = geometry().topLeft() - frameGeometry().topLeft();
    const QPoint normal = normalGeometry().topLeft() - frameOffset;
    dlgsettings::WriteWindowPos(path, normal.x(), normal.y());
}

void CDialogKn2::done(int result) {
    SaveWindowPos(SettingsFilePath());
    CDialogKn::done(result);
}
