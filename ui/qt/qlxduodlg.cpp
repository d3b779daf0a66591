// SPDX-License-Identifier: MIT
#include "ui/qt/qlxduodlg.h"

#include <QDir>
#include <array>
#include <chrono>
#include <future>
#include <memory>
#include <utility>

#include "link/protocol.h"
#include "platform/processend.h"
#include "ui/colours.h"
#include "ui/qlxduodlgrules.h"
#include "ui/qt/messagebox.h"
#include "ui/statustexts.h"

namespace {

// How long a process told to end waits for the window to return the unit to normal mode: for an
// exchange under way on the window's thread, then for "E" (200 ms each, and a stalled write is
// not waited out).
constexpr auto kProcessEndWait = std::chrono::seconds(1);

// Icon 128 in every size the resources carry.
QIcon LoadAppIcon() {
    QIcon icon;
    const QDir folder(QStringLiteral(":/icons/128"));
    for (const QString& file : folder.entryList(QDir::Files)) icon.addFile(folder.filePath(file));
    return icon;
}

}  // namespace

CQlxduoDlg::CQlxduoDlg(QWidget* parent)
    : CDialogKn2(res::IDD_QLXDUO_DIALOG, parent, qlxduodlg::kAppSubFolder),
      m_com(1),
      m_icon(LoadAppIcon()),
      m_workflow(*this, m_serialPort) {
    AttachControls();
    connect(&m_connect, &QPushButton::clicked, this, &CQlxduoDlg::Connect);
    connect(&m_write, &QPushButton::clicked, this, &CQlxduoDlg::WriteParameters);
    platform::SetWorkBeforeRelease([this] { LeaveBeforeProcessEnd(); });
}

// The port goes first, while the controls the workflow reports to still exist.
CQlxduoDlg::~CQlxduoDlg() {
    platform::SetWorkBeforeRelease({});
    m_serialPort.Close();
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
            m_workflow.OnProcessEnd();
            done->set_value();
        },
        Qt::QueuedConnection);
    left.wait_for(kProcessEndWait);
}

void CQlxduoDlg::AttachControls() {
    const std::pair<int, QWidget*> controls[] = {
        {res::IDC_LETTER_A, &m_letterA},
        {res::IDC_ARROW_A_IN, &m_arrowAIn},
        {res::IDC_FORMAT_A, &m_formatA},
        {res::IDC_ARROW_A_OUT, &m_arrowAOut},
        {res::IDC_ARROW_B_IN, &m_arrowBIn},
        {res::IDC_FORMAT_B, &m_formatB},
        {res::IDC_ARROW_B_OUT, &m_arrowBOut},
        {res::IDC_LETTER_B, &m_letterB},
        {res::IDC_FIRMWARE, &m_firmware},
        {res::IDC_STATUS, &m_status},
        {res::IDC_BPS_A, &m_bpsA},
        {res::IDC_DATALEN_A, &m_dataLenA},
        {res::IDC_PARITY_A, &m_parityA},
        {res::IDC_STOPBITS_A, &m_stopBitsA},
        {res::IDC_FLOW_A, &m_flowA},
        {res::IDC_BPS_B, &m_bpsB},
        {res::IDC_DATALEN_B, &m_dataLenB},
        {res::IDC_PARITY_B, &m_parityB},
        {res::IDC_STOPBITS_B, &m_stopBitsB},
        {res::IDC_FLOW_B, &m_flowB},
        {res::IDC_WRITE, &m_write},
        {res::IDC_CONNECT, &m_connect},
        {res::IDC_COM, &m_com},
    };
    for (const auto& [id, control] : controls) AttachControl(id, *control);
}

bool CQlxduoDlg::OnInitDialog() {
    // A settings folder that cannot be made was reported already; the window works without it.
    CDialogKn2::OnInitDialog();
    setWindowIcon(m_icon);
    setWindowTitle(QString::fromStdString(qlxduodlg::CaptionWithVersion(windowTitle().toUtf8().constData())));
    m_status.SetBackColor(colours::kStatusBackground, 1);
    ShowStatus(status::kDisconnected, StatusOutcome::Neutral);
    LoadComPort();
    FillFixedLists();
    Connect();
    return true;
}

void CQlxduoDlg::FillFixedLists() {
    for (UnitPort port : {UnitPort::A, UnitPort::B}) {
        for (const qlxduodlg::FixedList& fixed : qlxduodlg::kFixedLists) {
            QComboBox& list = PositionList(port, fixed.field);
            for (const char* text : fixed.texts) list.addItem(QString::fromUtf8(text));
            list.setCurrentIndex(-1);
        }
    }
}

void CQlxduoDlg::OnClose() {
    m_workflow.OnClose();
}

void CQlxduoDlg::Connect() {
    m_workflow.Connect();
}
void CQlxduoDlg::WriteParameters() {
    m_workflow.WriteParameters();
}
void CQlxduoDlg::SwitchToNormalMode() {
    m_workflow.SwitchToNormalMode();
}
void CQlxduoDlg::Disconnect() {
    m_workflow.Disconnect();
}

void CQlxduoDlg::ShowStatus(const std::string& text, StatusOutcome outcome) {
    m_status.setText(QString::fromStdString(text));
    m_status.SetForeColor(colours::StatusColour(outcome), 1);
}

void CQlxduoDlg::ShowStatusDetails(const std::string& details) {
    m_status.setToolTip(QString::fromStdString(details));
}

void CQlxduoDlg::SetFirmwareLabel(const std::string& text) {
    m_firmware.setText(QString::fromStdString(text));
    m_firmware.SetBackColor(colours::kFirmwareHighlight, 1);
}

void CQlxduoDlg::ClearFirmwareLabel() {
    m_firmware.setText(QString());
    m_firmware.SetBackColor(SysColor(QPalette::Button), 1);
}

const QComboBox& CQlxduoDlg::PositionList(UnitPort port, PositionField field) const {
    return *static_cast<const QComboBox*>(GetDlgItem(qlxduodlg::PositionListId(port, field)));
}

QComboBox& CQlxduoDlg::PositionList(UnitPort port, PositionField field) {
    return const_cast<QComboBox&>(std::as_const(*this).PositionList(port, field));
}

int CQlxduoDlg::SelectedPosition(UnitPort port, PositionField field) const {
    return PositionList(port, field).currentIndex();
}

void CQlxduoDlg::SelectPosition(UnitPort port, PositionField field, int position) {
    QComboBox& list = PositionList(port, field);
    list.setCurrentIndex(position >= 0 && position < list.count() ? position : -1);
}

int CQlxduoDlg::SelectedBaudCode(UnitPort port) const {
    return BaudList(port).GetSelectedCode();
}

void CQlxduoDlg::SelectBaudCode(UnitPort port, int code) {
    BaudList(port).SelectCode(code);
}

void CQlxduoDlg::RefillBaudLists(int firmwareNumber) {
    m_bpsA.RefillForFirmware(firmwareNumber);
    m_bpsB.RefillForFirmware(firmwareNumber);
}

void CQlxduoDlg::EnableControl(WindowControl control, bool enable) {
    switch (control) {
        case WindowControl::ComList:
            m_com.setEnabled(enable);
            return;
        case WindowControl::ConnectButton:
            m_connect.setEnabled(enable);
            return;
        case WindowControl::WriteButton:
            m_write.setEnabled(enable);
            return;
        case WindowControl::FormatGroup:
            break;
    }
    for (int id : qlxduodlg::kFormatGroupIds) GetDlgItem(id)->setEnabled(enable);
}

void CQlxduoDlg::FocusConnectButton() {
    m_connect.setFocus();
}

bool CQlxduoDlg::AskOkCancel(const std::string& question) {
    return AppMessageBox(this, QString::fromStdString(question), QMessageBox::Ok | QMessageBox::Cancel,
                         QMessageBox::Warning) == QMessageBox::Ok;
}

int CQlxduoDlg::GetSelectedPort() const {
    return m_com.GetSelectedPort();
}

void CQlxduoDlg::LoadComPort() {
    LoadComPortInto(m_com, SettingsFilePath());
}

void CQlxduoDlg::SaveComPort() {
    SaveComPortFrom(m_com, SettingsFilePath());
}

void CQlxduoDlg::CloseWindow() {
    reject();
}
