#include "testenv.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testenv {
namespace {

constexpr int kSimEndWaitMs = 10000;

std::string MakeTempFolder(const std::string& parent) {
    std::string pattern = parent + "/qlxduo-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed in " + parent);
    return pattern;
}

// Reads from fd until `until` is seen, or the time runs out; returns what was read.
std::string ReadUntil(int fd, int timeoutMs, const std::string& until) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string got;
    while (until.empty() || got.find(until) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
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

}  // namespace

std::string& RootForMain() {
    static std::string root;
    return root;
}

const std::string& Root() {
    return RootForMain();
}

namespace {
void SetOrUnset(const char* name, const std::optional<std::string>& value) {
    if (value) {
        setenv(name, value->c_str(), 1);
    } else {
        unsetenv(name);
    }
}
}  // namespace

ScopedEnv::ScopedEnv(const char* name, std::optional<std::string> value) : m_name(name) {
    if (const char* old = getenv(name)) m_old = old;
    SetOrUnset(name, value);
}

ScopedEnv::~ScopedEnv() {
    SetOrUnset(m_name, m_old);
}

bool RootSkips::Skip(bool needsNonRoot, const char* name) {
    if (!needsNonRoot || geteuid() != 0) return false;
    m_names += std::string(" ") + name + ";";
    return true;
}

std::string RootSkips::Note() const {
    if (m_names.empty()) return {};
    return "root ignores permission bits, so these cases did not run:" + m_names +
           " the other cases ran; atomicfile_test refuses writes to root with a file size limit";
}

TempDir::TempDir() : TempDir(Root().empty() ? "/tmp" : Root()) {}

TempDir::TempDir(const std::string& parent) : m_path(MakeTempFolder(parent)) {}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

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

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out) throw std::runtime_error("cannot write " + path);
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
            if (poll(&p, 1, 1000) <= 0) throw std::runtime_error("pseudo-terminal does not take bytes");
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

std::string SimExecutable() {
    return QLXDUO_SIM_PATH;
}

SimProcess::SimProcess(const std::vector<std::string>& options)
    : m_logPath(m_dir.File("sim.log")), m_wirePath(m_dir.File("wire.bin")) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> args = {SimExecutable(), "--log", m_logPath, "--wire", m_wirePath};
    args.insert(args.end(), options.begin(), options.end());
    m_pid = fork();
    if (m_pid == 0) {
        // A test that dies must not leave the unit behind holding the test runner's output.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(out[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string first = ReadUntil(out[0], 5000, "\n");
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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        if (m_pid > 0 && waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;  // reaped: the number may name another process from now on
            return status;
        }
        if (m_pid <= 0 || std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string SimProcess::ReceivedBytes() const {
    return ReadFile(m_wirePath);
}

void SimProcess::Signal(int signal) const {
    if (m_pid > 0) kill(m_pid, signal);
}

namespace {

// Generous: only a program that hangs or never exits runs into it.
constexpr int kChildEndMs = 10000;

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

}  // namespace

ChildProgram::ChildProgram(const std::vector<std::string>& command,
                           const std::vector<std::string>& environment) {
    // Everything the child needs is made before fork: the test may run other threads.
    std::vector<std::string> args = command;
    std::vector<std::string> env = ChildEnvironment(environment);
    std::vector<char*> argv = Pointers(args);
    std::vector<char*> envp = Pointers(env);
    m_pid = fork();
    if (m_pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);  // nothing outlives a test that dies
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (m_pid < 0) throw std::runtime_error("cannot start " + command.front());
}

ChildProgram::~ChildProgram() {
    End();
}

void ChildProgram::Signal(int signal) const {
    if (m_pid > 0) kill(m_pid, signal);
}

bool ChildProgram::WaitExit(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_pid > 0) {
        if (waitpid(m_pid, &m_status, WNOHANG) == m_pid) {
            m_pid = -1;
        } else if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return true;
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

ProgramRun::ProgramRun(const std::string& path, const std::vector<std::string>& environment)
    : ChildProgram({path}, WithDefaultPlatform(environment)) {}

}  // namespace testenv
