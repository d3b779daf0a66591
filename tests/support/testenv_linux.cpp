// SPDX-License-Identifier: MIT
// Linux test support: temporary folders and environment through POSIX, other users, child
// processes and programs started with fork and exec, pseudo-terminals, and the simulated unit.
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "testenv.h"
#include "testsystem.h"

namespace testenv {

namespace system {

std::string TemporaryFolder() {
    return "/tmp";
}

std::string MakeUniqueFolder(const std::string& parent) {
    std::string pattern = parent + "/qlxduo-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed in " + parent);
    return pattern;
}

void SetVariable(const char* name, const std::optional<std::string>& value) {
    if (value) {
        setenv(name, value->c_str(), 1);
    } else {
        unsetenv(name);
    }
}

bool IgnoresPermissionBits() {
    return geteuid() == 0;
}

std::string PermissionBitsNote() {
    return "root ignores permission bits";
}

void IsolateProgram(const std::string& root) {
    for (const char* sub : {"/config", "/cache", "/home", "/runtime"})
        std::filesystem::create_directory(root + sub);
    std::filesystem::permissions(root + "/runtime", std::filesystem::perms::owner_all);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
}

}  // namespace system

namespace {

using Clock = std::chrono::steady_clock;

// The ends of programs the test is done with: past them they are killed, which fails nothing.
constexpr int kSimEndWaitMs = 10000;
constexpr int kChildEndMs = 10000;

int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<decltype(left)>(left, 0));
}

// Reads from fd until `until` is seen, or the time runs out; returns what was read.
std::string ReadUntil(int fd, int timeoutMs, const std::string& until) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string got;
    while (until.empty() || got.find(until) == std::string::npos) {
        const int left = MsLeft(deadline);
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, left) <= 0) continue;
        char buf[512];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) {
            got.append(buf, static_cast<size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            break;
        }
    }
    return got;
}

// The test's environment with the given entries added or replacing those of the same name.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('=') + 1);
        const bool replaced = std::any_of(extra.begin(), extra.end(),
                                          [&](const std::string& e) { return e.starts_with(name); });
        if (!replaced) entries.push_back(text);
    }
    entries.insert(entries.end(), extra.begin(), extra.end());
    return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Where a child's standard streams go: a descriptor each, -1 to keep the test's own.
struct ChildStreams {
    int input = -1;
    int output = -1;
    int error = -1;
};

// Starts command (first word the executable's path) with the extra environment entries; -1 when
// fork failed. Everything the child needs is made before fork: the test may run other threads.
pid_t Spawn(const std::vector<std::string>& command, const std::vector<std::string>& environment,
            ChildStreams streams = {}) {
    std::vector<std::string> args = command;
    std::vector<std::string> env = ChildEnvironment(environment);
    std::vector<char*> argv = Pointers(args);
    std::vector<char*> envp = Pointers(env);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // nothing outlives a test that dies
    if (streams.input >= 0) dup2(streams.input, STDIN_FILENO);
    if (streams.output >= 0) dup2(streams.output, STDOUT_FILENO);
    if (streams.error >= 0) dup2(streams.error, STDERR_FILENO);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
}

// Reaps pid once it has ended, within timeoutMs: its wait status, with pid set to -1 (the number
// may name another process from then on); nothing while it still runs or when there is none.
std::optional<int> ReapWithin(pid_t& pid, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pid > 0) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return status;
        }
        if (Clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

// Collects both outputs until both are closed or the deadline passes; false on the deadline.
bool Collect(int out, int err, Clock::time_point deadline, FinishedRun& run) {
    pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
    std::string* into[2] = {&run.out, &run.err};
    int open = 2;
    while (open > 0) {
        const int left = MsLeft(deadline);
        if (left <= 0) return false;
        if (poll(fds, 2, left) < 0 && errno != EINTR) return false;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                into[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    return true;
}

double Milliseconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) * 1e3 + static_cast<double>(time.tv_usec) / 1e3;
}

}  // namespace

std::string NoOtherUsers() {
    return geteuid() == 0 ? ""
                          : "only root can switch to another user, and these tests run as uid " +
                                std::to_string(geteuid());
}

uid_t OrdinaryUser() {
    return geteuid() == 0 ? kNobody : geteuid();
}

ChildProcess::ChildProcess(const std::function<int()>& body, std::optional<uid_t> user) {
    m_pid = fork();
    if (m_pid != 0) return;
    if (user && *user != geteuid() &&
        (setgroups(0, nullptr) != 0 || setresgid(*user, *user, *user) != 0 ||
         setresuid(*user, *user, *user) != 0))
        _exit(255);
    _exit(body());
}

ChildProcess::~ChildProcess() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    Wait();
}

int ChildProcess::Wait() {
    int status = 0;
    if (m_pid <= 0 || waitpid(m_pid, &status, 0) != m_pid) return -1;
    m_pid = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) != 255 ? WEXITSTATUS(status) : -1;
}

ChildProgram::ChildProgram(const std::vector<std::string>& command,
                           const std::vector<std::string>& environment)
    : m_pid(Spawn(command, environment)) {
    if (m_pid < 0) throw std::runtime_error("cannot start " + command.front());
}

ChildProgram::~ChildProgram() {
    End();
}

void ChildProgram::Signal(int signal) const {
    if (m_pid > 0) kill(m_pid, signal);
}

bool ChildProgram::WaitExit(int timeoutMs) {
    if (const std::optional<int> status = ReapWithin(m_pid, timeoutMs)) m_status = *status;
    return m_pid <= 0;
}

void ChildProgram::End() {
    Signal(SIGTERM);
    WaitExit(kChildEndMs);
}

namespace {

std::vector<std::string> WithDefaultPlatform(std::vector<std::string> environment) {
    if (getenv("QT_QPA_PLATFORM") == nullptr)
        environment.insert(environment.begin(), "QT_QPA_PLATFORM=offscreen");
    return environment;
}

}  // namespace

int ThreadsSleepingInPoll(pid_t pid) {
    int count = 0;
    std::error_code error;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        if (ReadFile(task.path().string() + "/wchan").find("poll") != std::string::npos) ++count;
    }
    return count;
}

ProgramRun::ProgramRun(const std::string& path, const std::vector<std::string>& environment)
    : ChildProgram({path}, WithDefaultPlatform(environment)) {}

FinishedRun RunToEnd(const std::vector<std::string>& command, int timeoutMs,
                     const std::function<void(pid_t)>& started) {
    FinishedRun run;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return run;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return run;
    }
    const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const auto start = Clock::now();
    const pid_t pid = Spawn(command, {}, {nothing, out[1], err[1]});
    for (int fd : {nothing, out[1], err[1]}) close(fd);
    if (pid > 0 && started) started(pid);
    const bool finished =
        pid > 0 && Collect(out[0], err[0], start + std::chrono::milliseconds(timeoutMs), run);
    close(out[0]);
    close(err[0]);
    if (pid <= 0) return run;
    if (!finished) kill(pid, SIGKILL);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.elapsedMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    run.processorMs = Milliseconds(usage.ru_utime) + Milliseconds(usage.ru_stime);
    run.peakMemoryKb = usage.ru_maxrss;
    run.status = finished && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

PtyPair::PtyPair() {
    m_controller = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_controller < 0 || grantpt(m_controller) != 0 || unlockpt(m_controller) != 0)
        throw std::runtime_error("cannot make a pseudo-terminal");
    m_devicePath = ptsname(m_controller);
    termios t{};
    tcgetattr(m_controller, &t);
    cfmakeraw(&t);
    tcsetattr(m_controller, TCSANOW, &t);
}

PtyPair::~PtyPair() {
    HangUp();
}

void PtyPair::Send(const std::string& bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(m_controller, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else {
            pollfd p{m_controller, POLLOUT, 0};
            if (poll(&p, 1, kHangGuardMs) <= 0)
                throw std::runtime_error("pseudo-terminal does not take bytes");
        }
    }
}

std::string PtyPair::Receive(int timeoutMs, const std::string& until) const {
    return ReadUntil(m_controller, timeoutMs, until);
}

void PtyPair::HangUp() {
    if (m_controller >= 0) close(m_controller);
    m_controller = -1;
}

ScriptedPeer::ScriptedPeer(PtyPair& pty, std::vector<PeerStep> script, int lineWaitMs)
    : m_thread([this, &pty, script = std::move(script), lineWaitMs] { Play(pty, script, lineWaitMs); }) {}

ScriptedPeer::~ScriptedPeer() {
    Finish();
}

void ScriptedPeer::Play(PtyPair& pty, const std::vector<PeerStep>& script, int lineWaitMs) {
    for (const PeerStep& step : script) {
        const std::string line = pty.Receive(lineWaitMs, "\n");
        {
            std::lock_guard lock(m_mutex);
            m_received += line;
        }
        if (line.empty()) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(step.delayMs));
        if (step.hangUp) return pty.HangUp();
        if (!step.reply.empty()) pty.Send(step.reply);
    }
}

std::string ScriptedPeer::ReceivedBytes() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::string ScriptedPeer::Finish() {
    if (m_thread.joinable()) m_thread.join();
    return ReceivedBytes();
}

std::vector<PeerStep> ReplySteps(const std::vector<std::string>& replies) {
    std::vector<PeerStep> steps;
    for (const std::string& reply : replies) steps.push_back({reply, 0, reply.empty()});
    return steps;
}

std::string SimExecutable() {
    return QLXDUO_SIM_PATH;
}

SimProcess::SimProcess(const std::vector<std::string>& options)
    : m_logPath(m_dir.File("sim.log")), m_wirePath(m_dir.File("wire.bin")) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> args = {SimExecutable()};
    for (const auto& [option, path] : {std::pair{"--log", m_logPath}, std::pair{"--wire", m_wirePath}}) {
        if (std::find(options.begin(), options.end(), option) == options.end())
            args.insert(args.end(), {option, path});
    }
    args.insert(args.end(), options.begin(), options.end());
    m_pid = Spawn(args, {}, {.output = out[1]});
    close(out[1]);
    std::string first = ReadUntil(out[0], kHangGuardMs, "\n");
    close(out[0]);
    if (m_pid < 0 || first.find('\n') == std::string::npos) {
        throw std::runtime_error("qlxduo-sim did not start: " + first);
    }
    m_devicePath = first.substr(0, first.find('\n'));
}

SimProcess::~SimProcess() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    if (WaitExit(kSimEndWaitMs)) return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
}

std::optional<int> SimProcess::WaitExit(int timeoutMs) {
    return ReapWithin(m_pid, timeoutMs);
}

std::string SimProcess::ReceivedBytes() const {
    return ReadFile(m_wirePath);
}

void SimProcess::Signal(int signal) const {
    if (m_pid > 0) kill(m_pid, signal);
}

bool SimProcess::ReturnToSettingMode(int timeoutMs) {
    const std::string taken = "mode switch: setting mode";
    const auto times = [&] {
        const std::string log = ReadFile(m_logPath);
        size_t count = 0;
        for (size_t at = log.find(taken); at != std::string::npos; at = log.find(taken, at + 1)) ++count;
        return count;
    };
    const size_t before = times();
    Signal(SIGUSR1);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (times() == before) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

int BoundSocket(int& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (fd >= 0) close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

int LoopbackConnection(int port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<uint16_t>(port));
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) return fd;
    if (fd >= 0) close(fd);
    return -1;
}

namespace {

// Whether something listens on 127.0.0.1:port, as the kernel's table of TCP sockets says.
bool Listening(int port) {
    std::ifstream table("/proc/net/tcp");
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local == wanted && state == "0A") return true;
    }
    return false;
}

}  // namespace

int FreeTcpPort() {
    int port = 0;
    const int fd = BoundSocket(port);
    if (fd < 0) throw std::runtime_error("no free TCP port");
    close(fd);
    return port;
}

MuteServer::MuteServer(bool answersConnects) {
    m_fd = BoundSocket(m_port);
    if (m_fd < 0 || listen(m_fd, answersConnects ? 8 : 0) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    if (answersConnects) return;
    // A queue of none holds one connection; with it there, the rest are dropped unanswered.
    m_filler = LoopbackConnection(m_port);
    if (m_filler < 0)
        throw std::runtime_error("cannot fill the queue of 127.0.0.1 port " + std::to_string(m_port));
}

MuteServer::~MuteServer() {
    if (m_filler >= 0) close(m_filler);
    close(m_fd);
}

Ser2netServer::Ser2netServer(const std::vector<std::pair<Kind, std::string>>& devices) {
    const std::string program = "/usr/sbin/ser2net";
    if (access(program.c_str(), X_OK) != 0) {
        m_problem = program + " is missing: scripts/setup installs it";
        return;
    }
    std::string config;
    std::vector<int> ports;
    for (const auto& [kind, device] : devices) {
        const int port = FreeTcpPort();
        ports.push_back(port);
        const bool telnet = kind == Kind::Rfc2217;
        config += "connection: &unit" + std::to_string(port) +
                  "\n  accepter: " + (telnet ? "telnet(rfc2217),tcp," : "tcp,") + "127.0.0.1," +
                  std::to_string(port) + "\n  connector: serialdev," + device + ",115200n81,local\n";
        m_urls.push_back((telnet ? "rfc2217://127.0.0.1:" : "socket://127.0.0.1:") + std::to_string(port));
    }
    WriteFile(m_dir.File("ser2net.yaml"), config);
    m_program = std::make_unique<ChildProgram>(std::vector<std::string>{
        program, "-n", "-u", "-c", m_dir.File("ser2net.yaml"), "-P", m_dir.File("ser2net.pid")});
    const auto deadline = Clock::now() + std::chrono::milliseconds(kHangGuardMs);
    for (const int port : ports) {
        while (!Listening(port)) {
            if (Clock::now() >= deadline || !m_program->Running()) {
                m_problem = "ser2net did not listen on port " + std::to_string(port);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

}  // namespace testenv
