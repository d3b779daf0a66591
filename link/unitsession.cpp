// SPDX-License-Identifier: MIT
#include "link/unitsession.h"

namespace unit {
namespace {

SessionResult Done(SessionStep step) {
    return {step, SessionFailure::None, ""};
}

}  // namespace

SessionResult CUnitSession::Open(int comNumber) {
    if (OpenUnitLink(m_port, comNumber)) return Done(SessionStep::Open);
    return {SessionStep::Open, SessionFailure::NotOpened, ""};
}

SessionResult CUnitSession::Open(const std::string& devicePath) {
    if (OpenUnitLink(m_port, devicePath)) return Done(SessionStep::Open);
    return {SessionStep::Open, SessionFailure::NotOpened, ""};
}

SessionResult CUnitSession::Identify() {
    m_identity.reset();
    m_firmware.clear();
    std::string identity;
    if (auto result = Exchange(SessionStep::Identify, kIdentifyCommand, &identity); !result.Succeeded())
        return result;
    m_identity = identity;
    if (!IsUnitIdentity(identity)) {
        // A device that went away right after answering is gone, whatever it answered.
        const bool gone = m_port.DeviceLost();
        return {SessionStep::CheckIdentity, gone ? SessionFailure::DeviceGone : SessionFailure::NotAUnit,
                kIdentifyCommand};
    }
    return Exchange(SessionStep::Version, kVersionCommand, &m_firmware);
}

SessionResult CUnitSession::Read(const std::function<void(const std::string&)>& afterVersion) {
    if (auto result = Identify(); !result.Succeeded()) return result;
    if (afterVersion) afterVersion(m_firmware);
    return ReadPorts();
}

SessionResult CUnitSession::ReadPorts() {
    std::string data[2];
    for (const char letter : {'A', 'B'}) {
        auto result = Exchange(SessionStep::Read, GetCommand(letter), &data[letter - 'A']);
        if (!result.Succeeded()) return result;
    }
    for (PortReading* port : {&m_a, &m_b}) {
        *port = {};
        port->data = data[port == &m_a ? 0 : 1];
        port->present = ParseParameters(port->data, port->codes);
    }
    return Done(SessionStep::Read);
}

SessionResult CUnitSession::Write(const PortParameters& a, const PortParameters& b) {
    for (const auto& [step, command] : {std::pair{SessionStep::Write, FormatSetCommand('A', a)},
                                        std::pair{SessionStep::Write, FormatSetCommand('B', b)},
                                        std::pair{SessionStep::Store, std::string(kStoreCommand)}}) {
        if (auto result = Exchange(step, command); !result.Succeeded()) return result;
    }
    return Done(SessionStep::Store);
}

SessionResult CUnitSession::SwitchToNormalMode() {
    return Exchange(SessionStep::NormalMode, kNormalModeCommand);
}

SessionResult CUnitSession::Exchange(SessionStep step, const std::string& command, std::string* data) {
    // A fresh buffer for every exchange: an accepted reply without data reads as empty data.
    char buffer[kReplyDataSize] = {};
    const ExchangeEnd end = ExchangeCommand(m_port, command.c_str(), buffer);
    if (end == ExchangeEnd::Accepted) {
        if (data != nullptr) *data = buffer;
        return Done(step);
    }
    if (m_port.DeviceLost()) return {step, SessionFailure::DeviceGone, command};
    return {step, end == ExchangeEnd::Rejected ? SessionFailure::Rejected : SessionFailure::NoReply, command};
}

}  // namespace unit
