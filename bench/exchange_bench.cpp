// Times the unit link over a pseudo-terminal with the simulated unit: one exchange and a whole
// connect-and-read with a unit answering at once, and the processor time one exchange costs when
// the unit is silent. Prints each figure beside the time the same bytes need on a 115200 baud line.
//
// Usage: qlxduo-bench-exchange [path-to-qlxduo-sim]
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "link/protocol.h"
#include "link/serialport.h"
#include "platform/comportmap.h"

namespace {

constexpr int kExchangeRounds = 2000;
constexpr int kConnectRounds = 300;
constexpr int kSilentRounds = 20;
constexpr int kAnsweringPort = 201;
constexpr int kSilentPort = 202;
constexpr double kBitsPerByte = 10.0;
constexpr double kLineBaud = 115200.0;

double NowMs(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double WireMs(size_t bytes) {
    return static_cast<double>(bytes) * kBitsPerByte * 1e3 / kLineBaud;
}

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

struct Sample {
    std::vector<double> ms;
    double Percentile(double p) {
        std::sort(ms.begin(), ms.end());
        return ms[std::min(ms.size() - 1, static_cast<size_t>(p * static_cast<double>(ms.size())))];
    }
};

size_t ReplyBytes(const char* data) {
    return std::strlen("OK,") + std::strlen(data) + std::strlen("\r\n");
}

bool Connect(CSerialPort& port, int number) {
    return OpenUnitLink(port, number) == 1;
}

// I, V, AG A, AG B; returns the bytes both ways, 0 when an exchange failed.
size_t ReadUnit(CSerialPort& port) {
    size_t bytes = 0;
    for (const char* command :
         {unit::kIdentifyCommand, unit::kVersionCommand, unit::kGetACommand, unit::kGetBCommand}) {
        char data[unit::kReplyDataSize] = {};
        if (CommandExchange(port, command, data) != 1) return 0;
        bytes += std::strlen(command) + ReplyBytes(data);
    }
    return bytes;
}

void Report(const char* what, Sample& sample, size_t bytes) {
    std::printf("%-28s median %8.3f ms   p99 %8.3f ms   wire limit at 115200 baud %6.3f ms (%zu bytes)\n",
                what, sample.Percentile(0.5), sample.Percentile(0.99), WireMs(bytes), bytes);
}

bool BenchAnswering(const std::string& sim) {
    SimUnit unitProcess(sim, {});
    CSerialPort port;
    if (unitProcess.DevicePath().empty() ||
        !platform::ComPortMap::ForCurrentUser().RegisterOwned(kAnsweringPort, unitProcess.DevicePath()) ||
        !Connect(port, kAnsweringPort)) {
        std::fprintf(stderr, "the simulated unit did not start or its port did not open\n");
        return false;
    }
    Sample exchange;
    char data[unit::kReplyDataSize] = {};
    for (int i = 0; i < kExchangeRounds; ++i) {
        double start = NowMs(CLOCK_MONOTONIC);
        if (CommandExchange(port, unit::kVersionCommand, data) != 1) return false;
        exchange.ms.push_back(NowMs(CLOCK_MONOTONIC) - start);
    }
    Report("one exchange (V)", exchange, std::strlen(unit::kVersionCommand) + ReplyBytes(data));
    port.Close();

    Sample connect;
    size_t bytes = 0;
    for (int i = 0; i < kConnectRounds; ++i) {
        double start = NowMs(CLOCK_MONOTONIC);
        bytes = Connect(port, kAnsweringPort) ? ReadUnit(port) : 0;
        connect.ms.push_back(NowMs(CLOCK_MONOTONIC) - start);
        port.Close();
        if (bytes == 0) return false;
    }
    Report("connect and read (I,V,AG A/B)", connect, bytes);
    return true;
}

bool BenchSilent(const std::string& sim) {
    SimUnit unitProcess(sim, {"--silent"});
    CSerialPort port;
    if (unitProcess.DevicePath().empty() ||
        !platform::ComPortMap::ForCurrentUser().RegisterOwned(kSilentPort, unitProcess.DevicePath()) ||
        !Connect(port, kSilentPort)) {
        std::fprintf(stderr, "the silent simulated unit did not start or its port did not open\n");
        return false;
    }
    Sample cpu;
    Sample wall;
    for (int i = 0; i < kSilentRounds; ++i) {
        char data[unit::kReplyDataSize] = {};
        double cpuStart = NowMs(CLOCK_PROCESS_CPUTIME_ID);
        double wallStart = NowMs(CLOCK_MONOTONIC);
        if (CommandExchange(port, unit::kIdentifyCommand, data) != 0) return false;
        wall.ms.push_back(NowMs(CLOCK_MONOTONIC) - wallStart);
        cpu.ms.push_back(NowMs(CLOCK_PROCESS_CPUTIME_ID) - cpuStart);
    }
    std::printf("%-28s median %8.3f ms   p99 %8.3f ms   processor time per exchange\n", "silent unit (I)",
                cpu.Percentile(0.5), cpu.Percentile(0.99));
    std::printf("%-28s median %8.3f ms   p99 %8.3f ms   elapsed per exchange\n", "", wall.Percentile(0.5),
                wall.Percentile(0.99));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string sim = argc > 1 ? argv[1] : QLXDUO_SIM_PATH;
    // A port map of its own, so the user's COM numbers are never touched.
    char folder[] = "/tmp/qlxduo-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) return 2;
    setenv("XDG_CONFIG_HOME", folder, 1);
    bool ok = BenchAnswering(sim) && BenchSilent(sim);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return ok ? 0 : 1;
}
