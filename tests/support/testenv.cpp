#include "testenv.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testenv {
namespace {

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

TempDir::TempDir() : m_path(MakeTempFolder(Root().empty() ? "/tmp" : Root())) {}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
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

ProgramRun::ProgramRun(const std::string& path) {
    m_pid = fork();
    if (m_pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);           // nothing outlives a test that dies
        setenv("QT_QPA_PLATFORM", "offscreen", 0);  // a desktop run chose xcb
        execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
}

ProgramRun::~ProgramRun() {
    End();
}

bool ProgramRun::WaitExit(int timeoutMs) {
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

void ProgramRun::End() {
    if (m_pid > 0) kill(m_pid, SIGTERM);
    WaitExit(10000);
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
    int status = 0;
    waitpid(m_pid, &status, 0);
}

std::string SimProcess::ReceivedBytes() const {
    return ReadFile(m_wirePath);
}

void SimProcess::Signal(int signal) const {
    kill(m_pid, signal);
}

}  // namespace testenv
