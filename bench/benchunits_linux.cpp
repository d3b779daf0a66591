// SPDX-License-Identifier: MIT
// The benchmark's units on Linux: two simulated units on pseudo-terminals, started here and given
// COM numbers in a port map of the benchmark's own, so the user's COM numbers are never touched.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "bench/benchunits.h"
#include "ports/comportmap.h"

namespace {

constexpr int kAnsweringPort = 201;
constexpr int kSilentPort = 202;

// The simulated unit as a child process; its device path is its first output line.
class SimUnit {
public:
    SimUnit(const std::string& executable, std::vector<std::string> options) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        options.insert(options.begin(), executable);
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, STDERR_FILENO);
            std::vector<char*> argv;
            for (std::string& a : options) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        FILE* first = fdopen(out[0], "r");
        char line[512] = {};
        if (first != nullptr && std::fgets(line, sizeof line, first) != nullptr) {
            m_devicePath = std::string(line, strcspn(line, "\n"));
        }
        if (first != nullptr) std::fclose(first);
    }
    ~SimUnit() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    const std::string& DevicePath() const { return m_devicePath; }

private:
    pid_t m_pid = -1;
    std::string m_devicePath;
};

}  // namespace

struct CBenchUnits::Processes {
    std::string mapFolder;
    SimUnit answering;
    SimUnit silent;
    Processes(const std::string& folder, const std::string& sim)
        : mapFolder(folder), answering(sim, {}), silent(sim, {"--silent"}) {}
    ~Processes() {
        std::error_code ignored;
        std::filesystem::remove_all(mapFolder, ignored);
    }
};

CBenchUnits::CBenchUnits(int argc, char** argv) {
    const std::string sim = argc > 1 ? argv[1] : QLXDUO_SIM_PATH;
    char folder[] = "/tmp/qlxduo-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        m_error = "no temporary folder for the port map";
        return;
    }
    setenv("XDG_CONFIG_HOME", folder, 1);
    m_processes = std::make_unique<Processes>(folder, sim);
    const platform::ComPortMap map = platform::ComPortMap::ForCurrentUser();
    if (m_processes->answering.DevicePath().empty() || m_processes->silent.DevicePath().empty() ||
        !map.RegisterOwned(kAnsweringPort, m_processes->answering.DevicePath()) ||
        !map.RegisterOwned(kSilentPort, m_processes->silent.DevicePath())) {
        m_error = "the simulated units did not start (" + sim + ") or could not be given COM numbers";
        return;
    }
    m_answeringPort = kAnsweringPort;
    m_silentPort = kSilentPort;
}

CBenchUnits::~CBenchUnits() = default;

const char* CBenchUnits::Usage() {
    return "usage: qlxduo-bench-exchange [path-to-qlxduo-sim]\n";
}

double ProcessorTimeMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}
