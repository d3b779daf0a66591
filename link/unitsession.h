// SPDX-License-Identifier: MIT
#pragma once
// CUnitSession: one unit behind one serial port, talked to as the utility does — open the link,
// identify the unit and read its firmware and both ports; write both ports and have the unit store
// them; return it to normal mode. Every step says whether it succeeded and, when not, which step
// failed and how; the window and the tool each turn that into their own words. The port belongs to
// the caller.

#include <functional>
#include <optional>
#include <string>

#include "link/protocol.h"
#include "link/serialport.h"

namespace unit {

// CheckIdentity: the identity that "I" gave is looked at.
enum class SessionStep { Open, Identify, CheckIdentity, Version, Read, Write, Store, NormalMode };

enum class SessionFailure {
    None,
    NotOpened,   // the port did not open (LastOpenFailure tells why)
    NoReply,     // no reply line before the deadline
    Rejected,    // a reply other than "OK"
    NotAUnit,    // the identity is not a QLX-DUO's
    DeviceGone,  // the device went away (unplugged, its line hung up)
};

struct SessionResult {
    SessionStep step = SessionStep::Open;
    SessionFailure failure = SessionFailure::None;
    std::string command;  // the command line of the failed exchange; empty for the open
    bool Succeeded() const { return failure == SessionFailure::None; }
    bool operator==(const SessionResult&) const = default;
};

// One unit port's "AG" data: the codes it held, in wire order, the rest 0.
struct PortReading {
    PortParameters codes;
    int present = 0;   // how many codes the data held
    std::string data;  // the reply data itself, for a reader that takes only codes it understands
};

class CUnitSession {
public:
    explicit CUnitSession(CSerialPort& port) : m_port(port) {}

    // Opens the link at 115200 baud, 8 data bits, no parity, one stop bit, RTS raised.
    SessionResult Open(int comNumber);
    SessionResult Open(const std::string& devicePath);
    void Close() { m_port.Close(); }
    const SerialOpenFailure& LastOpenFailure() const { return m_port.LastOpenFailure(); }

    // "I", then "V" once the identity begins with "QLX-11": whether a unit in setting mode is there,
    // and its firmware.
    SessionResult Identify();
    // Identify, then "AG A" and "AG B", each only after the one before succeeded. afterVersion runs
    // as soon as the version is known, before the ports are read.
    SessionResult Read(const std::function<void(const std::string& version)>& afterVersion = {});
    // "AG A", then "AG B".
    SessionResult ReadPorts();
    // "AS A", "AS B", then the store command "W", each only after the one before was accepted.
    SessionResult Write(const PortParameters& a, const PortParameters& b);
    // "E".
    SessionResult SwitchToNormalMode();

    // The identity once "I" was accepted (an accepted reply without data reads as empty).
    const std::optional<std::string>& Identity() const { return m_identity; }
    const std::string& Firmware() const { return m_firmware; }
    const PortReading& Port(char letter) const { return letter == 'B' ? m_b : m_a; }

private:
    // The reply data of an accepted exchange into data; else the failure, the device's loss first.
    SessionResult Exchange(SessionStep step, const std::string& command, std::string* data = nullptr);

    CSerialPort& m_port;
    std::optional<std::string> m_identity;
    std::string m_firmware;
    PortReading m_a;
    PortReading m_b;
};

}  // namespace unit
