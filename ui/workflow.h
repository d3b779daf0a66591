// SPDX-License-Identifier: MIT
#pragma once
// CConnectionWorkflow: the five operations that drive the unit from the main window — connect and
// read both unit ports, write them, return the unit to normal mode, disconnect, and the close
// request. Each runs to completion on the caller's thread and reports its outcome on the status
// line. The unit session does the talking; this class turns its outcomes into the window's texts,
// colours and control states. The window owns the serial port and the controls; this class holds a
// reference to the window, a session over the port and the connected flag.

#include <atomic>
#include <string>

#include "link/unitsession.h"
#include "ui/windowops.h"

class CConnectionWorkflow {
public:
    CConnectionWorkflow(CWindowOps& window, CSerialPort& port);

    // Opens the selected COM port, identifies the unit, reads its firmware and both ports'
    // parameters into the lists. On success the window is in the connected state; on failure the
    // port is closed again and the controls are left as they were.
    void Connect();
    // Sends port A's and port B's values from the lists, then has the unit store them. Each command
    // goes out only after the previous one was accepted. The connection stays open either way.
    void WriteParameters();
    // Sends "E". Disconnects when the unit accepted it, and with firmware 0.06 whatever it answered;
    // otherwise stays connected and reports the failure.
    void SwitchToNormalMode();
    // Closes the port and puts the controls back into the disconnected state.
    void Disconnect();
    // The window's close request. While connected, asks first: Cancel returns with the window open
    // and nothing sent or saved; OK returns the unit to normal mode and disconnects. Then saves the
    // COM port and asks the window to close (CWindowOps::CloseWindow).
    void OnClose();
    // The process is told to end (a signal, the session ending): while connected, returns the unit
    // to normal mode and disconnects as closing with OK does, without asking and saving nothing.
    void OnProcessEnd();

    // Also from another thread: the process told to end asks it before waiting for this one.
    bool IsConnected() const { return m_connected; }

private:
    // Shows a failed step's text. When the device itself has gone, the connection is over whatever
    // state it was in; otherwise the port is closed when closePort says so.
    void ReportFailure(const unit::SessionResult& result, bool closePort);
    // Closing's own switch to normal mode, which closes the port also when the unit refused it.
    void LeaveConnection();
    void EnterDisconnectedState();
    void ShowFirmware(const std::string& version);
    void ApplyParameters(UnitPort port);
    unit::PortParameters ReadParameters(UnitPort port) const;
    void EnterConnectedState();
    void Status(const std::string& text, StatusOutcome outcome, const std::string& details = "");

    CWindowOps& m_window;
    unit::CUnitSession m_session;
    std::atomic<bool> m_connected = false;
    // What the firmware label shows; the workflow is its only writer.
    std::string m_firmwareLabel;
};
