#pragma once
// Linux test support: pseudo-terminals and the simulated unit as a child process. Included by
// testenv.h; include that instead.

#include <sys/types.h>

#include <string>
#include <vector>

#include "testenv.h"

namespace testenv {

// A pseudo-terminal: the test holds the controller side; DevicePath() is the device side that the
// code under test opens. The controller is raw and non-blocking.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;
    int Controller() const { return m_controller; }
    const std::string& DevicePath() const { return m_devicePath; }
    // Writes all bytes to the controller side.
    void Send(const std::string& bytes) const;
    // Collects what arrives at the controller side until `until` is seen or timeoutMs passes.
    std::string Receive(int timeoutMs, const std::string& until = "") const;
    // Closes the controller side (the device side then sees a hang-up).
    void HangUp();

private:
    int m_controller = -1;
    std::string m_devicePath;
};

// The simulated unit, started as a child process with the given options; its pseudo-terminal
// path is read from its first output line. Ended (SIGTERM, then waited for) with the object.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& options);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    const std::string& DevicePath() const { return m_devicePath; }
    pid_t Pid() const { return m_pid; }
    // The log the unit writes every received line and reply to (--log).
    const std::string& LogPath() const { return m_logPath; }
    // Every byte the unit has received so far, exactly as it arrived (--wire).
    std::string ReceivedBytes() const;
    void Signal(int signal) const;

private:
    pid_t m_pid = -1;
    std::string m_devicePath;
    TempDir m_dir;
    std::string m_logPath;
    std::string m_wirePath;
};

// Path of the built qlxduo-sim executable.
std::string SimExecutable();

}  // namespace testenv
