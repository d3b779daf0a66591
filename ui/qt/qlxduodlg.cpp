// SPDX-License-Identifier: MIT
#include "ui/qt/qlxduodlg.h"

#include <QDir>
#include <array>
#include <utility>

#include "link/protocol.h"
#include "ui/colours.h"
#include "ui/qlxduodlgrules.h"
#include "ui/qt/messagebox.h"
#include "ui/statustexts.h"

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
      m_com(1),
      m_icon(LoadAppIcon()),
      m_workflow(*this, m_serialPort) {
    AttachControls();
    connect(&m_connect, &QPushButton::clicked, this, &CQlxduoDlg::Connect);
    connect(&m_write, &QPushButton::clicked, this, &CQlxduoDlg::WriteParameters);
}

// The port goes first, while the controls the workflow reports to still exist.
CQlxduoDlg::~CQlxduoDlg() {
    m_serialPort.Close();
}

void CQlxduoDlg::AttachControls() {
    const std::pair<int, QWidget*> controls[] = {
        {IDC_LETTER_A, &m_letterA},
        {IDC_ARROW_A_IN, &m_arrowAIn},
        {IDC_FORMAT_A, &m_formatA},
        {IDC_ARROW_A_OUT, &m_arrowAOut},
        {IDC_ARROW_B_IN, &m_arrowBIn},
        {IDC_FORMAT_B, &m_formatB},
        {IDC_ARROW_B_OUT, &m_arrowBOut},
        {IDC_LETTER_B, &m_letterB},
        {IDC_FIRMWARE, &m_firmware},
        {IDC_STATUS, &m_status},
        {IDC_BPS_A, &m_bpsA},
        {IDC_DATALEN_A, &m_dataLenA},
        {IDC_PARITY_A, &m_parityA},
        {IDC_STOPBITS_A, &m_stopBitsA},
        {IDC_FLOW_A, &m_flowA},
        {IDC_BPS_B, &m_bpsB},
        {IDC_DATALEN_B, &m_dataLenB},
        {IDC_PARITY_B, &m_parityB},
        {IDC_STOPBITS_B, &m_stopBitsB},
        {IDC_FLOW_B, &m_flowB},
        {IDC_WRITE, &m_write},
        {IDC_CONNECT, &m_connect},
        {IDC_COM, &m_com},
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
