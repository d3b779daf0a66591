#include "wineprefix.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>

namespace winetest {
namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) * 1e3 + static_cast<double>(time.tv_usec) / 1e3;
}

pid_t Start(const std::vector<std::string>& argv, int out, int err) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    const int nothing = open("/dev/null", O_RDONLY);
    dup2(nothing, STDIN_FILENO);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

// Collects both outputs until both are closed or the deadline passes; false on the deadline.
bool Collect(int out, int err, Clock::time_point deadline, ProgramRun& run) {
    pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
    std::string* into[2] = {&run.out, &run.err};
    int open = 2;
    while (open > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        if (poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR) return false;
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

}  // namespace

ProgramRun RunProgram(const std::vector<std::string>& argv, int timeoutMs) {
    ProgramRun run;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return run;
    const auto start = Clock::now();
    const pid_t pid = Start(argv, out[1], err[1]);
    close(out[1]);
    close(err[1]);
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
    run.status = finished && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

WinePrefix::WinePrefix(std::string folder, const std::map<int, std::string>& comDevices)
    : m_folder(std::move(folder)) {
    std::vector<std::string> argv = {QLXDUO_WINE_SCRIPT, "create", m_folder};
    for (const auto& [port, device] : comDevices) argv.push_back("COM" + std::to_string(port) + "=" + device);
    m_ready = RunProgram(argv, 120000).status == 0;
}

WinePrefix::~WinePrefix() {
    RunProgram({QLXDUO_WINE_SCRIPT, "stop", m_folder});
}

ProgramRun WinePrefix::Run(const std::string& program, const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {QLXDUO_WINE_SCRIPT, "run", m_folder, program};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv);
}

double WinePrefix::ServerProcessorMs() const {
    const ProgramRun found = RunProgram({QLXDUO_WINE_SCRIPT, "server-pid", m_folder});
    if (found.status != 0) return -1;
    std::ifstream stat("/proc/" + found.out.substr(0, found.out.find('\n')) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields 14 and 15, user and system time in clock ticks, follow the name in parentheses.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int field = 3; field < 14; ++field) fields >> skip;
    double user = 0, system = 0;
    if (!(fields >> user >> system)) return -1;
    return (user + system) * 1e3 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace winetest
