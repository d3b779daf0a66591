// SPDX-License-Identifier: MIT
#include "ui/qt/qlxduodlg.h"

#include <QDir>
#include <chrono>
#include <future>
#include <memory>

#include "platform/processend.h"

#include "ui/qlxduodlgrules.h"
#include "ui/qt/messagebox.h"

namespace {

// How long a process told to end waits for the window to return the unit to normal mode: for the
// operation under way on the window's thread (a write's three exchanges at most, 200 ms each),
// then for "E", with room for a busy machine; a stalled write is not waited out.
constexpr auto kProcessEndWait = std::chrono::seconds(2);

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
    platform::SetWorkBeforeRelease([this] { LeaveBeforeProcessEnd(); });
}

CQlxduoDlg::~CQlxduoDlg() {
    platform::SetWorkBeforeRelease({});
}

// The window's thread may be inside an exchange or a modal question: the work waits in its queue
// for the exchange to end (a question's own loop takes it), so that the port never carries two
// exchanges at once. Bounded, so that a window that never gets to it cannot keep the process alive.
// A window that is not connected has nothing to leave (a connect under way is cut short).
void CQlxduoDlg::LeaveBeforeProcessEnd() {
    if (!IsConnected()) return;
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> left = done->get_future();
    QMetaObject::invokeMethod(
        this,
        [this, done] {
            ProcessEndRequest();
            done->set_value();
        },
        Qt::QueuedConnection);
    left.wait_for(kProcessEndWait);
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
