// SPDX-License-Identifier: MIT
#include "ui/workflow.h"

#include "link/statustexts.h"
#include "ui/qlxduodlgrules.h"

namespace {

// The only firmware whose format conversion the user may change.
constexpr const char* kFormatConversionVersion = "1.01";
// With firmware 0.06, "E" counts as leaving setting mode whatever the unit answers.
constexpr const char* kUnansweredNormalModeLabel = "V0.06";

}  // namespace

CConnectionWorkflow::CConnectionWorkflow(CWindowOps& window, CSerialPort& port)
    : m_window(window), m_session(port) {}

void CConnectionWorkflow::Connect() {
    const int portNumber = m_window.GetSelectedPort();
    if (!m_session.Open(portNumber).Succeeded()) {
        Status(status::OpenFailedText(portNumber), StatusOutcome::Failure,
               DescribeOpenFailure(portNumber, m_session.LastOpenFailure()));
        return;
    }
    const unit::SessionResult read =
        m_session.Read([this](const std::string& version) { ShowFirmware(version); });
    if (!read.Succeeded()) return ReportFailure(read, true);
    Status(status::kReadSucceeded, StatusOutcome::Success);
    ApplyParameters(UnitPort::A);
    ApplyParameters(UnitPort::B);
    EnterConnectedState();
}

void CConnectionWorkflow::ReportFailure(const unit::SessionResult& result, bool closePort) {
    const char* text = status::FailureText(result.step);
    if (result.failure == unit::SessionFailure::DeviceGone) {
        EnterDisconnectedState();
        Status(text, StatusOutcome::Failure, status::DeviceLostDetails(m_window.GetSelectedPort()));
        return;
    }
    Status(text, StatusOutcome::Failure);
    if (closePort) m_session.Close();
}

void CConnectionWorkflow::ShowFirmware(const std::string& version) {
    m_firmwareLabel = "V" + version;
    m_window.SetFirmwareLabel(m_firmwareLabel);
    m_window.RefillBaudLists(unit::FirmwareNumber(version));
    if (version == kFormatConversionVersion) m_window.EnableControl(WindowControl::FormatGroup, true);
}

void CConnectionWorkflow::EnterConnectedState() {
    m_connected = true;
    m_window.EnableControl(WindowControl::ComList, false);
    m_window.EnableControl(WindowControl::ConnectButton, false);
    m_window.EnableControl(WindowControl::WriteButton, true);
}

// The fields the unit's data held, in wire order: the baud list by code, the others by position.
void CConnectionWorkflow::ApplyParameters(UnitPort port) {
    const unit::PortReading& reading = m_session.Port(static_cast<char>(port));
    for (int i = 0; i < reading.present; ++i) {
        const unit::ParameterField& field = unit::kParameterFields[static_cast<size_t>(i)];
        const int code = reading.codes.*field.member;
        if (field.rule == unit::CodeRule::Baud) {
            m_window.SelectBaudCode(port, code);
        } else {
            m_window.SelectPosition(port, qlxduodlg::PositionListOf(field), code);
        }
    }
}

unit::PortParameters CConnectionWorkflow::ReadParameters(UnitPort port) const {
    unit::PortParameters values;
    for (const unit::ParameterField& field : unit::kParameterFields) {
        values.*field.member = field.rule == unit::CodeRule::Baud
                                   ? m_window.SelectedBaudCode(port)
                                   : m_window.SelectedPosition(port, qlxduodlg::PositionListOf(field));
    }
    return values;
}

void CConnectionWorkflow::WriteParameters() {
    const unit::SessionResult written =
        m_session.Write(ReadParameters(UnitPort::A), ReadParameters(UnitPort::B));
    if (!written.Succeeded()) return ReportFailure(written, false);
    Status(status::kWriteSucceeded, StatusOutcome::Success);
}

void CConnectionWorkflow::SwitchToNormalMode() {
    const bool answerOptional = m_firmwareLabel == kUnansweredNormalModeLabel;
    const unit::SessionResult switched = m_session.SwitchToNormalMode();
    if (!switched.Succeeded() && !answerOptional) return ReportFailure(switched, false);
    Disconnect();
    Status(status::kNormalModeOn, StatusOutcome::Neutral);
}

void CConnectionWorkflow::Disconnect() {
    EnterDisconnectedState();
    Status(status::kDisconnected, StatusOutcome::Neutral);
}

void CConnectionWorkflow::EnterDisconnectedState() {
    m_session.Close();
    m_window.EnableControl(WindowControl::FormatGroup, false);
    m_window.EnableControl(WindowControl::WriteButton, false);
    m_window.EnableControl(WindowControl::ConnectButton, true);
    m_window.EnableControl(WindowControl::ComList, true);
    m_window.FocusConnectButton();
    m_firmwareLabel.clear();
    m_window.ClearFirmwareLabel();
    m_connected = false;
}

void CConnectionWorkflow::OnClose() {
    if (m_connected) {
        if (!m_window.AskOkCancel(status::kCloseQuestion)) return;
        LeaveConnection();
    }
    m_window.SaveComPort();
    m_window.CloseWindow();
}

void CConnectionWorkflow::OnProcessEnd() {
    if (m_connected) LeaveConnection();
}

void CConnectionWorkflow::LeaveConnection() {
    SwitchToNormalMode();
    // Also after a failed switch, so the port is closed either way.
    Disconnect();
}

void CConnectionWorkflow::Status(const std::string& text, StatusOutcome outcome, const std::string& details) {
    m_window.ShowStatus(text, outcome);
    m_window.ShowStatusDetails(details);
}
