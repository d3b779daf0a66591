// SPDX-License-Identifier: MIT
#include "tools/unitjobs.h"

#include <cctype>

#include "link/serialport.h"
#include "link/statustexts.h"
#include "link/unitsession.h"
#include "platform/records.h"
#include "ports/portname.h"
#include "serial/serialdevice.h"
#include "tools/cli.h"
#include "tools/printable.h"

namespace cli {
namespace {

using unit::SessionFailure;
using unit::SessionResult;
using unit::SessionStep;

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

// A failed step in the tool's words: the short code JSON carries and the status text in English.
struct StepWords {
    const char* error;
    const char* english;
};
StepWords WordsFor(SessionStep step) {
    switch (step) {
        case SessionStep::CheckIdentity:
            return {"not-a-unit", kCommunicationErrorText};
        case SessionStep::Read:
            return {"read-failed", kReadFailedText};
        case SessionStep::Write:
        case SessionStep::Store:
            return {"write-failed", kWriteFailedText};
        case SessionStep::NormalMode:
            return {"normal-mode-failed", kNormalModeFailedText};
        case SessionStep::Open:
        case SessionStep::Identify:
        case SessionStep::Version:
            break;
    }
    return {"no-reply", kNotInSettingModeText};
}

// The step a rejected command belongs to, for a short reason.
const char* StepName(SessionStep step) {
    switch (step) {
        case SessionStep::Read:
            return "read";
        case SessionStep::Write:
            return "write";
        case SessionStep::Store:
            return "store";
        case SessionStep::NormalMode:
            return "normal mode";
        default:
            return "identify";
    }
}

// "AG A" for "AG A\r\n".
std::string Quoted(const std::string& command) {
    return "\"" + command.substr(0, command.find_first_of("\r\n")) + "\"";
}

// The command without its values: "AS B" for "AS B 0,0,0,33,0,0\r\n", "W" for the store command.
std::string CommandName(const std::string& command) {
    std::string line = command.substr(0, command.find_first_of("\r\n"));
    const size_t values = line.find_last_of(' ');
    if (values != std::string::npos && values + 1 < line.size() &&
        std::isdigit(static_cast<unsigned char>(line[values + 1])))
        line.resize(values);
    return "\"" + line + "\"";
}

std::string BothPorts(const unit::PortParameters& a, const unit::PortParameters& b) {
    return "A " + unit::JoinCodes(a) + ", B " + unit::JoinCodes(b);
}

// One unit on its own port, driven by a unit session, with the outcome the tool reports.
class CUnitJob {
public:
    CUnitJob(const PortSpec& port, CLineObserver* observer) : m_spec(port) { m_port.SetObserver(observer); }

    bool Open() {
        const SessionResult opened =
            m_spec.number != 0 ? m_session.Open(m_spec.number) : m_session.Open(m_spec.devicePath);
        if (opened.Succeeded()) return true;
        const SerialOpenFailure& failure = m_session.LastOpenFailure();
        if (m_spec.number == 0) {
            // The line starts with the port's name: a server's reason does not name its URL again.
            const bool network = platform::IsNetworkPortPath(m_spec.devicePath);
            return Fail(
                kExitOpenFailed, "open-failed",
                "cannot open the port: " + (network ? failure.reason : DescribeDeviceOpenFailure(failure)));
        }
        Fail(kExitOpenFailed, "open-failed",
             WithStatus("cannot open the port", status::OpenFailedText(m_spec.number)) + ": " +
                 DescribeOpenFailure(m_spec.number, failure));
        m_outcome.reason = "cannot open the port: " + DescribeOpenFailure(m_spec.number, failure);
        return false;
    }

    // The device the port stands for and its adapter, as the port list gives them; looked at
    // without opening anything.
    void NoteDevice(const std::vector<platform::SerialPortEntry>& listed) {
        for (const platform::SerialPortEntry& entry : listed) {
            if (m_spec.number == 0 || platform::PortOfListedName(entry.name) != m_spec.number) continue;
            m_outcome.device = entry.device;
            m_outcome.adapter = entry.adapter;
            return;
        }
        m_outcome.device = m_spec.number != 0 ? platform::SerialDevicePath(m_spec.number) : m_spec.devicePath;
        m_outcome.adapter = platform::SerialAdapterOf(m_outcome.device);
    }

    // Whether the last open failed because another program holds the port.
    bool HeldElsewhere() const { return platform::HeldByAnotherProgram(m_session.LastOpenFailure()); }

    // Opens the port, identifies the unit and reads its firmware and both ports.
    bool OpenAndRead() { return Open() && Check(m_session.Read()) && CheckReplies(); }

    // Whether both ports' codes, as last read, are ones the unit has: a code the tool does not
    // understand fails the read, so that it is never written back.
    bool CheckReplies() {
        for (const char port : {'A', 'B'}) {
            const std::string problem = CheckReply(port, m_session.Port(port).data);
            if (!problem.empty())
                return Fail(kExitUnitFailed, "read-failed",
                            problem + ": " + WithStatus(kReadFailedText, status::kReadFailed), problem);
        }
        return true;
    }

    // True when the exchanges of a step succeeded; else the outcome tells how they failed.
    bool Check(const SessionResult& result) {
        if (result.Succeeded()) return true;
        const StepWords words = WordsFor(result.step);
        const std::string reason = ShortReason(result);
        const std::string status = WithStatus(words.english, status::FailureText(result.step));
        switch (result.failure) {
            case SessionFailure::NotAUnit:
                return Fail(kExitUnitFailed, words.error,
                            "the device's identity \"" + Printable(*m_session.Identity()) +
                                "\" is not a QLX-DUO's: " + status,
                            reason);
            case SessionFailure::DeviceGone:
                return Fail(kExitUnitFailed, "device-lost",
                            "the device went away (unplugged, or its line hung up) at " +
                                Quoted(result.command) + ": " + status,
                            reason);
            default:
                m_outcome.silent = result.failure == SessionFailure::NoReply;
                return Fail(kExitUnitFailed, words.error,
                            "no accepted reply to " + Quoted(result.command) + ": " + status, reason);
        }
    }

    std::string ShortReason(const SessionResult& result) const {
        switch (result.failure) {
            case SessionFailure::NotAUnit:
                return "not a QLX-DUO: identity \"" + Printable(*m_session.Identity()) + "\"";
            case SessionFailure::DeviceGone:
                return "device gone";
            case SessionFailure::Rejected:
                return std::string(StepName(result.step)) + " rejected at " + CommandName(result.command);
            default:
                return "no reply to " + Quoted(result.command);
        }
    }

    // reason: the failure in a few words; the message when not given.
    bool Fail(int status, const char* error, const std::string& message, const std::string& reason = "") {
        m_outcome.status = status;
        m_outcome.error = error;
        m_outcome.message = message;
        m_outcome.reason = reason.empty() ? message : reason;
        return false;
    }

    PortOutcome Succeed(const std::string& message) {
        m_outcome.message = message;
        return Outcome();
    }

    // What happened so far; the reading once the unit gave its identity.
    PortOutcome Outcome() {
        m_outcome.port = m_spec;
        m_outcome.time = platform::WallClockTime();
        if (m_session.Identity()) m_outcome.reading = Reading();
        return m_outcome;
    }

    UnitReading Reading() const {
        return {*m_session.Identity(), m_session.Firmware(), m_session.Port('A').codes,
                m_session.Port('B').codes};
    }

    unit::CUnitSession& Session() { return m_session; }
    PortOutcome& Steps() { return m_outcome; }

private:
    PortSpec m_spec;
    CSerialPort m_port;
    unit::CUnitSession m_session{m_port};
    PortOutcome m_outcome;
};

// Empty when the unit's firmware offers both ports' baud codes, those given and those kept as the
// unit holds them; else a message for the first not.
std::string CheckAgainstFirmware(const UnitChange& change, const UnitReading& read) {
    for (const auto& [port, held] : {std::pair{&change.a, &read.a}, std::pair{&change.b, &read.b}}) {
        const std::string kept = std::string("the unit's ") + (held == &read.a ? "A." : "B.");
        const std::string problem = port->codes ? CheckOffered(port->origin, *port->codes, read.firmware)
                                                : CheckOffered(kept, *held, read.firmware);
        if (!problem.empty()) return problem;
    }
    return {};
}

bool WriteAndVerify(CUnitJob& job, const unit::PortParameters& a, const unit::PortParameters& b) {
    job.Steps().written = PortPair{a, b};
    if (!job.Check(job.Session().Write(a, b)) || !job.Check(job.Session().ReadPorts()) || !job.CheckReplies())
        return false;
    const UnitReading back = job.Reading();
    job.Steps().readBack = PortPair{back.a, back.b};
    if (back.a == a && back.b == b) return true;
    return job.Fail(kExitUnitFailed, "verify-failed",
                    "the unit reads back " + BothPorts(back.a, back.b) + ", not the " + BothPorts(a, b) +
                        " written: " + WithStatus(kWriteFailedText, status::kWriteFailed),
                    "reads back " + BothPorts(back.a, back.b) + ", not " + BothPorts(a, b));
}

// Reads the unit, then, unless a stop was asked for by then, writes, stores and checks the change;
// false when a step failed or the write did not begin.
bool WriteChange(CUnitJob& job, const UnitChange& change, const CStopRequest* stop) {
    if (!job.OpenAndRead()) return false;
    const UnitReading read = job.Reading();
    job.Steps().before = PortPair{read.a, read.b};
    const std::string unoffered = CheckAgainstFirmware(change, read);
    if (!unoffered.empty()) return job.Fail(kExitUsage, "bad-value", unoffered);
    if (stop != nullptr && stop->Asked())
        return job.Fail(kExitUnitFailed, "interrupted",
                        "not written: the run was stopped before \"AS A\"; the unit keeps the codes it had",
                        "stopped before \"AS A\"");
    return WriteAndVerify(job, change.a.codes.value_or(read.a), change.b.codes.value_or(read.b));
}

// WriteChange, then, with toNormal, the return to normal mode.
PortOutcome ChangeUnit(const PortSpec& port, const UnitChange& change, bool toNormal, CLineObserver* observer,
                       const CStopRequest* stop) {
    CUnitJob job(port, observer);
    if (!WriteChange(job, change, stop) || (toNormal && !job.Check(job.Session().SwitchToNormalMode())))
        return job.Outcome();
    return job.Succeed(toNormal ? WithStatus(kWriteSucceededText, status::kWriteSucceeded) + ", then " +
                                      WithStatus(kNormalModeOnText, status::kNormalModeOn)
                                : WithStatus(kWriteSucceededText, status::kWriteSucceeded));
}

}  // namespace

PortOutcome NotStarted(const PortSpec& port) {
    PortOutcome outcome;
    outcome.port = port;
    outcome.status = kExitUnitFailed;
    outcome.error = "interrupted";
    outcome.message = "not started: the run was stopped before this port was opened; nothing was sent";
    outcome.reason = "not started";
    outcome.time = platform::WallClockTime();
    return outcome;
}

PortOutcome ReadUnit(const PortSpec& port, CLineObserver* observer) {
    CUnitJob job(port, observer);
    if (!job.OpenAndRead()) return job.Outcome();
    return job.Succeed(WithStatus(kReadSucceededText, status::kReadSucceeded));
}

PortOutcome WriteUnit(const PortSpec& port, const UnitChange& change, CLineObserver* observer,
                      const CStopRequest& stop) {
    return ChangeUnit(port, change, false, observer, &stop);
}

PortOutcome ConfigureUnit(const PortSpec& port, const UnitChange& change, bool toNormal,
                          CLineObserver* observer) {
    return ChangeUnit(port, change, toNormal, observer, nullptr);
}

PortOutcome CompareUnit(const PortSpec& port, const UnitConfig& config, CLineObserver* observer) {
    CUnitJob job(port, observer);
    if (!job.OpenAndRead()) return job.Outcome();
    const UnitReading read = job.Reading();
    std::vector<Difference> differences;
    if (config.a) differences = Differences('A', read.a, *config.a);
    if (config.b) {
        const std::vector<Difference> inB = Differences('B', read.b, *config.b);
        differences.insert(differences.end(), inB.begin(), inB.end());
    }
    const size_t count = differences.size();
    PortOutcome outcome =
        job.Succeed(count == 0 ? "the same as the file"
                               : std::to_string(count) + (count == 1 ? " field differs" : " fields differ"));
    outcome.differences = std::move(differences);
    if (count != 0) outcome.status = kExitUnitFailed;
    return outcome;
}

PortOutcome FindUnit(const PortSpec& port, const std::vector<platform::SerialPortEntry>& listed,
                     CLineObserver* observer) {
    CUnitJob job(port, observer);
    job.NoteDevice(listed);
    if (!job.Open()) {
        PortOutcome outcome = job.Outcome();
        if (job.HeldElsewhere()) outcome.error = "held";
        return outcome;
    }
    if (!job.Check(job.Session().Identify())) return job.Outcome();
    return job.Succeed("a unit in setting mode");
}

PortOutcome SwitchUnitToNormal(const PortSpec& port, CLineObserver* observer) {
    CUnitJob job(port, observer);
    if (!job.Open() || !job.Check(job.Session().SwitchToNormalMode())) return job.Outcome();
    return job.Succeed(WithStatus(kNormalModeOnText, status::kNormalModeOn));
}

}  // namespace cli
