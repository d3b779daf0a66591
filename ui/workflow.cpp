// SPDX-License-Identifier: MIT
#include "ui/workflow.h"

#include <array>

#include "link/serialport.h"
#include "ui/statustexts.h"

namespace {

// The only firmware whose format conversion the user may change.
constexpr const char* kFormatConversionVersion = "1.01";
// With firmware 0.06, "E" counts as leaving setting mode whatever the unit answers.
constexpr const char* kUnansweredNormalModeLabel = "V0.06";

// How each parameter, in wire order, maps onto the window's lists.
struct FieldSlot {
    std::optional<PositionField> listField;  // nullopt: the baud list, chosen by baud code
    int unit::PortParameters::*value;
};
constexpr std::array<FieldSlot, unit::kParameterCount> kFieldOrder = {{
    {PositionField::Format, &unit::PortParameters::format},
    {PositionField::Flow, &unit::PortParameters::flow},
    {PositionField::DataLength, &unit::PortParameters::dataLength},
    {std::nullopt, &unit::PortParameters::baudCode},
    {PositionField::StopBits, &unit::PortParameters::stopBits},
    {PositionField::Parity, &unit::PortParameters::parity},
}};

}  // namespace

CConnectionWorkflow::CConnectionWorkflow(CWindowOps& window, CSerialPort& port)
    : m_window(window), m_port(port) {}

void CConnectionWorkflow::Connect() {
    const int portNumber = m_window.GetSelectedPort();
    if (!OpenUnitLink(m_port, portNumber)) {
        Status(status::OpenFailedText(portNumber), StatusOutcome::Failure,
               DescribeOpenFailure(portNumber, m_port.LastOpenFailure()));
        return;
    }
    if (ReadUnit()) EnterConnectedState();
}

bool CConnectionWorkflow::ReadUnit() {
    const auto identity = Exchange(unit::kIdentifyCommand);
    if (!identity) return FailConnect(status::kNotInSettingMode);
    if (!unit::IsUnitIdentity(*identity)) return FailConnect(status::kCommunicationError);
    const auto version = Exchange(unit::kVersionCommand);
    if (!version) return FailConnect(status::kNotInSettingMode);
    ShowFirmware(*version);
    const auto dataA = Exchange(unit::GetCommand(static_cast<char>(UnitPort::A)));
    if (!dataA) return FailConnect(status::kReadFailed);
    const auto dataB = Exchange(unit::GetCommand(static_cast<char>(UnitPort::B)));
    if (!dataB) return FailConnect(status::kReadFailed);
    Status(status::kReadSucceeded, StatusOutcome::Success);
    ApplyParameters(UnitPort::A, *dataA);
    ApplyParameters(UnitPort::B, *dataB);
    return true;
}

bool CConnectionWorkflow::FailConnect(const char* text) {
    if (EndIfDeviceLost(text)) return false;
    Status(text, StatusOutcome::Failure);
    m_port.Close();
    return false;
}

bool CConnectionWorkflow::EndIfDeviceLost(const char* failureText) {
    if (!m_port.DeviceLost()) return false;
    EnterDisconnectedState();
    Status(failureText, StatusOutcome::Failure, status::DeviceLostDetails(m_window.GetSelectedPort()));
    return true;
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

void CConnectionWorkflow::ApplyParameters(UnitPort port, const std::string& data) {
    unit::PortParameters values;
    const int present = unit::ParseParameters(data, values);
    for (int i = 0; i < present; ++i) {
        const FieldSlot& slot = kFieldOrder[i];
        if (slot.listField) {
            m_window.SelectPosition(port, *slot.listField, values.*slot.value);
        } else {
            m_window.SelectBaudCode(port, values.*slot.value);
        }
    }
}

unit::PortParameters CConnectionWorkflow::ReadParameters(UnitPort port) const {
    unit::PortParameters values;
    for (const FieldSlot& slot : kFieldOrder) {
        values.*slot.value = slot.listField ? m_window.SelectedPosition(port, *slot.listField)
                                            : m_window.SelectedBaudCode(port);
    }
    return values;
}

bool CConnectionWorkflow::SendParameters(UnitPort port) {
    return Exchange(unit::FormatSetCommand(static_cast<char>(port), ReadParameters(port))).has_value();
}

void CConnectionWorkflow::WriteParameters() {
    if (!SendParameters(UnitPort::A) || !SendParameters(UnitPort::B) || !Exchange(unit::kStoreCommand)) {
        if (!EndIfDeviceLost(status::kWriteFailed)) Status(status::kWriteFailed, StatusOutcome::Failure);
        return;
    }
    Status(status::kWriteSucceeded, StatusOutcome::Success);
}

void CConnectionWorkflow::SwitchToNormalMode() {
    const bool answerOptional = m_firmwareLabel == kUnansweredNormalModeLabel;
    const bool accepted = Exchange(unit::kNormalModeCommand).has_value();
    if (!accepted && !answerOptional) {
        if (!EndIfDeviceLost(status::kNormalModeFailed))
            Status(status::kNormalModeFailed, StatusOutcome::Failure);
        return;
    }
    Disconnect();
    Status(status::kNormalModeOn, StatusOutcome::Neutral);
}

void CConnectionWorkflow::Disconnect() {
    EnterDisconnectedState();
    Status(status::kDisconnected, StatusOutcome::Neutral);
}

void CConnectionWorkflow::EnterDisconnectedState() {
    m_port.Close();
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

std::optional<std::string> CConnectionWorkflow::Exchange(const char* command) {
    // A fresh buffer for every exchange: an accepted reply without data reads as empty data.
    char data[unit::kReplyDataSize] = {};
    if (!CommandExchange(m_port, command, data)) return std::nullopt;
    return std::string(data);
}

void CConnectionWorkflow::Status(const std::string& text, StatusOutcome outcome, const std::string& details) {
    m_window.ShowStatus(text, outcome);
    m_window.ShowStatusDetails(details);
}
