// SPDX-License-Identifier: MIT
#include "ui/qt/qlxduodlg.h"

#include <QDir>

#include "ui/qlxduodlgrules.h"
#include "ui/qt/messagebox.h"

namespace {

// Icon 128 in every size the resources carry.
QIcon LoadAppIcon() {
    QIcon icon;
    const QDir folder(QStringLiteral(":/icons/128"));
    for (const QString& file : folder.entryList(QDir::Files)) icon.addFile(folder.filePath(file));
    return icon;
}

}  // namespace

CQlxduoDlg::CQlxduoDlg(QWidget* parent)
    : CDialogKn2(IDD_QLXDUO_DIALOG, parent, qlxduodlg::kAppSubFolder),
      CQlxduoWindow(static_cast<const CSettingsLocation&>(*this)),
      m_icon(LoadAppIcon()) {
    AttachControls([this](int id, QWidget& control) { AttachControl(id, control); });
    connect(&m_connect, &QPushButton::clicked, this, [this] { Connect(); });
    connect(&m_write, &QPushButton::clicked, this, [this] { WriteParameters(); });
}

bool CQlxduoDlg::OnInitDialog() {
    // A settings folder that cannot be made was reported already; the window works without it.
    CDialogKn2::OnInitDialog();
    setWindowIcon(m_icon);
    setWindowTitle(QString::fromStdString(qlxduodlg::CaptionWithVersion(windowTitle().toUtf8().constData())));
    StartUp();
    return true;
}

void CQlxduoDlg::OnClose() {
    CloseRequest();
}

void CQlxduoDlg::ShowStatusDetails(const std::string& details) {
    m_status.setToolTip(QString::fromStdString(details));
}

// Nothing before the window exists: its controls are made with it.
void CQlxduoDlg::EnableItem(int id, bool enable) {
    if (QWidget* item = GetDlgItem(id)) item->setEnabled(enable);
}

void CQlxduoDlg::FocusConnectButton() {
    m_connect.setFocus();
}

bool CQlxduoDlg::AskOkCancel(const std::string& question) {
    return AppMessageBox(this, QString::fromStdString(question), QMessageBox::Ok | QMessageBox::Cancel,
                         QMessageBox::Warning) == QMessageBox::Ok;
}

void CQlxduoDlg::CloseWindow() {
    reject();
}
