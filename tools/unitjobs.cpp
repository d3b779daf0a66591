// SPDX-License-Identifier: MIT
#include "tools/unitjobs.h"

#include "link/linetrace.h"
#include "link/serialport.h"
#include "tools/cli.h"
#include "ui/statustexts.h"

namespace cli {
namespace {

// The window's status texts in English.
constexpr const char* kNotInSettingModeText = "communication error: check that the unit is in setting mode";
constexpr const char* kCommunicationErrorText = "communication error";
constexpr const char* kReadFailedText = "parameter read failed";
constexpr const char* kReadSucceededText = "parameters read";
constexpr const char* kWriteFailedText = "parameter write failed";
constexpr const char* kWriteSucceededText = "parameters written";
constexpr const char* kNormalModeOnText = "switched to normal mode";
constexpr const char* kNormalModeFailedText = "switching to normal mode failed";

std::string WithStatus(const std::string& english, const std::string& japanese) {
    return english + " (" + japanese + ")";
}

// "AG A" for "AG A\r\n".
std::string Quoted(const std::string& command) {
    return "\"" + command.substr(0, command.find_first_of("\r\n")) + "\"";
}

std::string BothPorts(const unit::PortParameters& a, const unit::PortParameters& b) {
    return "A " + unit::JoinCodes(a) + ", B " + unit::JoinCodes(b);
}

// One unit on its own port: the link, what has been read from it, and the outcomes.
class CUnitSession {
public:
    CUnitSession(const PortSpec& port, CLineObserver* observer) : m_spec(port) {
        m_port.SetObserver(observer);
    }

    // Opens the port as the window does, identifies the unit and reads its firmware and both ports.
    bool ConnectAndRead() {
        if (!Open()) return false;
        if (!Exchange(unit::kIdentifyCommand, &m_reading.identity)) {
            return Refused(unit::kIdentifyCommand, "no-reply", kNotInSettingModeText,
                           status::kNotInSettingMode);
        }
        m_identified = true;
        if (!unit::IsUnitIdentity(m_reading.identity)) {
            return Fail(kExitUnitFailed, "not-a-unit",
                        "the device's identity \"" + linetrace::EscapeBytes(m_reading.identity) +
                            "\" is not a QLX-DUO's: " +
                            WithStatus(kCommunicationErrorText, status::kCommunicationError));
        }
        if (!Exchange(unit::kVersionCommand, &m_reading.firmware)) {
            return Refused(unit::kVersionCommand, "no-reply", kNotInSettingModeText,
                           status::kNotInSettingMode);
        }
        return ReadParameters();
    }

    // "AG A" and "AG B" into the reading.
    bool ReadParameters() {
        std::string data[2];
        for (const char port : {'A', 'B'}) {
            if (!Exchange(unit::GetCommand(port), &data[port - 'A'])) {
                return Refused(unit::GetCommand(port), "read-failed", kReadFailedText, status::kReadFailed);
            }
        }
        m_reading.a = {};
        m_reading.b = {};
        unit::ParseParameters(data[0], m_reading.a);
        unit::ParseParameters(data[1], m_reading.b);
        return true;
    }

    bool Open() {
        const bool opened = m_spec.number != 0 ? OpenUnitLink(m_port, m_spec.number) != 0
                                               : OpenUnitLink(m_port, m_spec.devicePath) != 0;
        if (opened) return true;
        const SerialOpenFailure& failure = m_port.LastOpenFailure();
        if (m_spec.number == 0) {
            return Fail(kExitOpenFailed, "open-failed",
                        "cannot open the port: " + DescribeDeviceOpenFailure(failure));
        }
        return Fail(kExitOpenFailed, "open-failed",
                    WithStatus("cannot open the port", status::OpenFailedText(m_spec.number)) + ": " +
                        DescribeOpenFailure(m_spec.number, failure));
    }

    bool Exchange(const std::string& command, std::string* data = nullptr) {
        char buffer[unit::kReplyDataSize] = {};
        if (CommandExchange(m_port, command.c_str(), buffer) == 0) return false;
        if (data != nullptr) *data = buffer;
        return true;
    }

    // After a failed exchange: the device went away, or the unit did not accept the command.
    bool Refused(const std::string& command, const char* error, const char* english, const char* japanese) {
        if (m_port.DeviceLost()) {
            return Fail(kExitUnitFailed, "device-lost",
                        "the device went away (unplugged, or its line hung up) at " + Quoted(command) + ": " +
                            WithStatus(english, japanese));
        }
        return Fail(kExitUnitFailed, error,
                    "no accepted reply to " + Quoted(command) + ": " + WithStatus(english, japanese));
    }

    bool Fail(int status, const char* error, const std::string& message) {
        m_outcome.status = status;
        m_outcome.error = error;
        m_outcome.message = message;
        return false;
    }

    PortOutcome Succeed(const std::string& message) {
        m_outcome.message = message;
        return Outcome();
    }

    // What happened so far; the reading once the unit was identified.
    PortOutcome Outcome() {
        m_outcome.port = m_spec;
        if (m_identified) m_outcome.reading = m_reading;
        return m_outcome;
    }

    const UnitReading& Reading() const { return m_reading; }

private:
    PortSpec m_spec;
    CSerialPort m_port;
    UnitReading m_reading;
    bool m_identified = false;
    PortOutcome m_outcome;
};

// Empty when the unit's firmware offers both ports' baud codes; else a message for the first not.
std::string CheckAgainstFirmware(const UnitChange& change, const std::string& firmware) {
    for (const PortChange* port : {&change.a, &change.b}) {
        if (!port->codes) continue;
        const std::string problem = CheckOffered(port->origin, *port->codes, firmware);
        if (!problem.empty()) return problem;
    }
    return {};
}

bool WriteAndVerify(CUnitSession& session, const unit::PortParameters& a, const unit::PortParameters& b) {
    for (const std::string& command :
         {unit::FormatSetCommand('A', a), unit::FormatSetCommand('B', b), std::string(unit::kStoreCommand)}) {
        if (!session.Exchange(command)) {
            return session.Refused(command, "write-failed", kWriteFailedText, status::kWriteFailed);
        }
    }
    if (!session.ReadParameters()) return false;
    if (session.Reading().a == a && session.Reading().b == b) return true;
    return session.Fail(kExitUnitFailed, "verify-failed",
                        "the unit reads back " + BothPorts(session.Reading().a, session.Reading().b) +
                            ", not the " + BothPorts(a, b) +
                            " written: " + WithStatus(kWriteFailedText, status::kWriteFailed));
}

}  // namespace

PortOutcome ReadUnit(const PortSpec& port, CLineObserver* observer) {
    CUnitSession session(port, observer);
    if (!session.ConnectAndRead()) return session.Outcome();
    return session.Succeed(WithStatus(kReadSucceededText, status::kReadSucceeded));
}

PortOutcome WriteUnit(const PortSpec& port, const UnitChange& change, CLineObserver* observer) {
    CUnitSession session(port, observer);
    if (!session.ConnectAndRead()) return session.Outcome();
    const std::string unoffered = CheckAgainstFirmware(change, session.Reading().firmware);
    if (!unoffered.empty()) {
        session.Fail(kExitUsage, "bad-value", unoffered);
        return session.Outcome();
    }
    const unit::PortParameters a = change.a.codes.value_or(session.Reading().a);
    const unit::PortParameters b = change.b.codes.value_or(session.Reading().b);
    if (!WriteAndVerify(session, a, b)) return session.Outcome();
    return session.Succeed(WithStatus(kWriteSucceededText, status::kWriteSucceeded));
}

PortOutcome CompareUnit(const PortSpec& port, const UnitConfig& config, CLineObserver* observer) {
    CUnitSession session(port, observer);
    if (!session.ConnectAndRead()) return session.Outcome();
    std::vector<Difference> differences;
    if (config.a) differences = Differences('A', session.Reading().a, *config.a);
    if (config.b) {
        const std::vector<Difference> inB = Differences('B', session.Reading().b, *config.b);
        differences.insert(differences.end(), inB.begin(), inB.end());
    }
    const size_t count = differences.size();
    PortOutcome outcome = session.Succeed(
        count == 0 ? "the same as the file"
                   : std::to_string(count) + (count == 1 ? " field differs" : " fields differ"));
    outcome.differences = std::move(differences);
    if (count != 0) outcome.status = kExitUnitFailed;
    return outcome;
}

PortOutcome SwitchUnitToNormal(const PortSpec& port, CLineObserver* observer) {
    CUnitSession session(port, observer);
    if (!session.Open()) return session.Outcome();
    if (!session.Exchange(unit::kNormalModeCommand)) {
        session.Refused(unit::kNormalModeCommand, "normal-mode-failed", kNormalModeFailedText,
                        status::kNormalModeFailed);
        return session.Outcome();
    }
    return session.Succeed(WithStatus(kNormalModeOnText, status::kNormalModeOn));
}

}  // namespace cli
