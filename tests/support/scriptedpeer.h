// SPDX-License-Identifier: MIT
#pragma once
// A unit played by script on a pseudo-terminal (Linux): every command line received gets the next
// reply, sent as given; an empty reply hangs up the line instead, as an adapter pulled out
// mid-exchange does. Tells what it received.

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "testenv.h"

namespace testenv {

class ScriptedPeer {
public:
    explicit ScriptedPeer(std::vector<std::string> replies);
    // Waits for the script's end: every reply given, or a line that did not come in time.
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    const std::string& DevicePath() const { return m_pty.DevicePath(); }
    // The controller side, which shares the line settings with the device side.
    int Controller() const { return m_pty.Controller(); }
    std::string ReceivedBytes() const;
    // Once every reply is given: hangs up the line, as an adapter pulled out between exchanges does.
    void HangUp();

private:
    void Run();
    void Finish();

    PtyPair m_pty;
    std::vector<std::string> m_replies;
    mutable std::mutex m_mutex;
    std::string m_received;
    std::thread m_thread;
};

}  // namespace testenv
