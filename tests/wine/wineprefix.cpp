#include "wineprefix.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace winetest {

using testenv::FinishedRun;
using testenv::RunToEnd;

constexpr int kRunDeadlineMs = 60000;

std::string WindowsProgram(const std::string& name) {
    const char* folder = std::getenv("QLXDUO_WINDOWS_BIN");
    return folder != nullptr ? std::string(folder) + "/" + name : std::string();
}

std::string PrefixFolder() {
    const char* folder = std::getenv("QLXDUO_WINE_PREFIX");
    return folder != nullptr ? folder : testenv::Root() + "/wine-prefix";
}

WinePrefix::WinePrefix(std::string folder, const std::map<int, std::string>& comDevices)
    : m_folder(std::move(folder)) {
    std::vector<std::string> argv = {QLXDUO_WINE_SCRIPT, "create", m_folder};
    for (const auto& [port, device] : comDevices) argv.push_back("COM" + std::to_string(port) + "=" + device);
    m_ready = RunToEnd(argv, 120000).status == 0;
}

WinePrefix::~WinePrefix() {
    RunToEnd({QLXDUO_WINE_SCRIPT, "stop", m_folder});
}

std::vector<std::string> WinePrefix::Command(const std::string& program,
                                             const std::vector<std::string>& args) const {
    // The script ends in exec: the process started is the Windows program's own.
    std::vector<std::string> argv = {QLXDUO_WINE_SCRIPT, "run", m_folder, program};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

FinishedRun WinePrefix::Run(const std::string& program, const std::vector<std::string>& args,
                            const std::function<void(pid_t)>& started) const {
    return RunToEnd(Command(program, args), kRunDeadlineMs, started);
}

FinishedRun WinePrefix::RunOnTerminal(const std::string& terminalPath, const std::string& program,
                                      const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$@\" >\"$0\" 2>&1", terminalPath};
    const std::vector<std::string> command = Command(program, args);
    argv.insert(argv.end(), command.begin(), command.end());
    return RunToEnd(argv, kRunDeadlineMs);
}

double WinePrefix::ServerProcessorMs() const {
    const FinishedRun found = RunToEnd({QLXDUO_WINE_SCRIPT, "server-pid", m_folder});
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
