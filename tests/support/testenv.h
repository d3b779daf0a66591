#pragma once
// Test support: every test program runs in its own temporary XDG_CONFIG_HOME, HOME and
// XDG_RUNTIME_DIR (set up by the shared main before any test), and can make temporary folders,
// pseudo-terminal pairs and simulated units of its own.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace testenv {

// The temporary root made for this test program; removed at exit.
const std::string& Root();

// Sets (or, with nullopt, unsets) an environment variable for one scope, then restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// Cases whose failure depends on permission bits cannot run as root, who ignores them (CI runs as
// root). Skip(...) tells whether to pass a case over and remembers its name; Note() is the text for
// GTEST_SKIP at the end of the test, empty when every case ran.
class RootSkips {
public:
    bool Skip(bool needsNonRoot, const char* name);
    std::string Note() const;

private:
    std::string m_names;
};

// A fresh temporary folder under Root(), removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Whole-file helpers for tests.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);

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

// One run of a program (no arguments), ended with SIGTERM and waited for with the object when it
// still runs. The environment is this process's; QT_QPA_PLATFORM defaults to offscreen.
class ProgramRun {
public:
    explicit ProgramRun(const std::string& path);
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // True once the process has exited within timeoutMs; ExitStatus() then tells how.
    bool WaitExit(int timeoutMs);
    bool Running() { return !WaitExit(0); }
    int ExitStatus() const { return m_status; }
    pid_t Pid() const { return m_pid; }
    void End();

private:
    pid_t m_pid = -1;
    int m_status = -1;
};

// Path of the built qlxduo-sim executable.
std::string SimExecutable();

}  // namespace testenv
