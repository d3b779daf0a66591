// SPDX-License-Identifier: MIT
#pragma once
// Linux test support: other users, child processes and programs, pseudo-terminals and the
// simulated unit. Included by testenv.h; include that instead.

#include <sys/types.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "testenv.h"

namespace testenv {

// Other users, for cases about what another user can do or what an ordinary user may not do. Only
// root can become one; CI runs as root.
constexpr uid_t kNobody = 65534;
constexpr uid_t kSecondUser = 65533;  // a second ordinary user; needs no account

// Why no other user can be had, for GTEST_SKIP; empty when one can.
std::string NoOtherUsers();

// An ordinary user: this one when not root, else nobody.
uid_t OrdinaryUser();

// A child process that runs body and exits with its result (0 to 254), as user (uid and gid, no
// supplementary groups) when one is given and is not this process's own. Killed (SIGKILL) and
// reaped with the object when still running.
class ChildProcess {
public:
    explicit ChildProcess(const std::function<int()>& body, std::optional<uid_t> user = std::nullopt);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    pid_t Pid() const { return m_pid; }
    // Waits for the end: body's result, or -1 when the child could not switch users or was ended
    // by a signal.
    int Wait();

private:
    pid_t m_pid = -1;
};

// How many of the process's threads sleep in poll. A program that writes to a port whose output the
// test stopped (tcflow TCOOFF on its own descriptor of the device side) sleeps there, in that
// write, until the output runs again or the write's deadline (seconds) passes: the test sees that
// the program is inside the exchange, on how many threads at once, without betting on a moment.
int ThreadsSleepingInPoll(pid_t pid);

// A program run as a child process: the command's first word is the executable's path, and
// environment entries ("NAME=value") are added to the test's own. Ended (SIGTERM, then waited for)
// with the object when still running, and by the system when the test process dies.
class ChildProgram {
public:
    explicit ChildProgram(const std::vector<std::string>& command,
                          const std::vector<std::string>& environment = {});
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    pid_t Pid() const { return m_pid; }
    void Signal(int signal) const;
    // True once the process has exited within timeoutMs; ExitStatus() then tells how (waitpid's
    // status).
    bool WaitExit(int timeoutMs);
    bool Running() { return !WaitExit(0); }
    int ExitStatus() const { return m_status; }
    // SIGTERM, then waits for the end.
    void End();

private:
    pid_t m_pid = -1;
    int m_status = -1;
};

// One run of a window program without arguments, on the offscreen platform unless the test's own
// environment chose a platform (a desktop run chooses xcb).
class ProgramRun : public ChildProgram {
public:
    explicit ProgramRun(const std::string& path, const std::vector<std::string>& environment = {});
};

// A program run to its end with no input, what it printed, and what it cost.
struct FinishedRun {
    int status = -1;  // the exit status; -1 when the program was killed or did not start
    std::string out;
    std::string err;
    double elapsedMs = 0;
    double processorMs = 0;  // the program's own processor time
    long peakMemoryKb = 0;   // the program's largest resident set
};

// Runs command (first word the executable's path) to its end, capturing standard output and
// error; killed (SIGKILL) after timeoutMs. started, when given, learns the process's ID as soon as
// it runs (to signal it from another thread).
FinishedRun RunToEnd(const std::vector<std::string>& command, int timeoutMs = kHangGuardMs,
                     const std::function<void(pid_t)>& started = {});

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

// One step of a scripted peer: what it does once a line has come in.
struct PeerStep {
    std::string reply;  // sent after delayMs; nothing when empty
    int delayMs = 0;
    bool hangUp = false;  // closes the controller side instead of replying, as an adapter pulled out
};

// Plays a unit (or any peer) on the controller side of a pseudo-terminal, on a thread of its own:
// for each step, waits up to lineWaitMs for a line (up to a line feed), then does the step. The
// script ends after its last step, at a hang-up, or when no line comes in time.
class ScriptedPeer {
public:
    ScriptedPeer(PtyPair& pty, std::vector<PeerStep> script, int lineWaitMs);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;
    // Every byte of the lines received so far.
    std::string ReceivedBytes() const;
    // Waits for the script to end; every byte of the lines it received.
    std::string Finish();

private:
    void Play(PtyPair& pty, const std::vector<PeerStep>& script, int lineWaitMs);

    mutable std::mutex m_mutex;
    std::string m_received;
    std::thread m_thread;
};

// The steps of a peer that answers each line with the next reply, whatever the line says; an
// empty reply hangs up the line instead.
std::vector<PeerStep> ReplySteps(const std::vector<std::string>& replies);

// The simulated unit, started as a child process with the given options; its pseudo-terminal
// path is read from its first output line. It logs to LogPath() and records the wire to a file of
// its own, unless the options name their own --log or --wire. Ended with the object: SIGTERM, and
// SIGKILL when it is still running 10 s later.
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
    // Every byte the unit has received so far, exactly as it arrived (--wire), and the file it is in.
    std::string ReceivedBytes() const;
    const std::string& WirePath() const { return m_wirePath; }
    void Signal(int signal) const;
    // Flips the unit's mode switch back to setting mode (SIGUSR1) and waits up to timeoutMs until
    // the unit has taken it, as its log says; false when it has not.
    bool ReturnToSettingMode(int timeoutMs);
    // Waits up to timeoutMs for the unit to end and reaps it: its wait status, or nothing while it
    // still runs.
    std::optional<int> WaitExit(int timeoutMs);

private:
    pid_t m_pid = -1;
    std::string m_devicePath;
    TempDir m_dir;
    std::string m_logPath;
    std::string m_wirePath;
};

// Path of the built qlxduo-sim executable.
std::string SimExecutable();

// A TCP port of 127.0.0.1 that is free now (the system chose it).
int FreeTcpPort();

// A TCP socket bound to 127.0.0.1 on a port the system chooses, which goes into port; -1 on failure.
int BoundSocket(int& port);
// A TCP connection to 127.0.0.1:port; -1 on failure.
int LoopbackConnection(int port);

// A server on 127.0.0.1 that never speaks: the system completes each connection, nobody reads. With
// answersConnects false not even the connection is completed, as with a host that does not answer:
// its queue of connections is kept full, so the system drops every further request to connect.
class MuteServer {
public:
    explicit MuteServer(bool answersConnects = true);
    ~MuteServer();
    MuteServer(const MuteServer&) = delete;
    MuteServer& operator=(const MuteServer&) = delete;
    int Port() const { return m_port; }

private:
    int m_fd = -1;
    int m_filler = -1;
    int m_port = 0;
};

// ser2net on 127.0.0.1 with a private configuration: each device behind an accepter of its own on a
// free port, Telnet with RFC 2217 (telnet(rfc2217)) or raw TCP (tcp); no UUCP locks. Ended with the
// object.
class Ser2netServer {
public:
    enum class Kind { Rfc2217, Raw };
    explicit Ser2netServer(const std::vector<std::pair<Kind, std::string>>& devices);
    // Why no server runs (ser2net missing, or it did not start listening); empty when it runs.
    const std::string& Problem() const { return m_problem; }
    // rfc2217://127.0.0.1:PORT or socket://127.0.0.1:PORT of the index-th device.
    const std::string& Url(size_t index) const { return m_urls.at(index); }
    void Signal(int signal) const { m_program->Signal(signal); }
    bool WaitExit(int timeoutMs) { return m_program->WaitExit(timeoutMs); }

private:
    TempDir m_dir;
    std::vector<std::string> m_urls;
    std::unique_ptr<ChildProgram> m_program;
    std::string m_problem;
};

}  // namespace testenv
