// SPDX-License-Identifier: MIT
#include "wineprefix.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace winetest {

using testenv::FinishedRun;
using testenv::RunToEnd;

// Wine on a busy machine is slow: a program's run and a prefix's making wait up to the hang guard.
constexpr int kRunDeadlineMs = testenv::kHangGuardMs;

std::string WindowsProgram(const std::string& name) {
    const char* folder = std::getenv("QLXDUO_WINDOWS_BIN");
    return folder != nullptr ? std::string(folder) + "/" + name : std::string();
}

std::string PrefixFolder() {
    const char* folder = std::getenv("QLXDUO_WINE_PREFIX");
    return folder != nullptr ? folder : testenv::Root() + "/wine-prefix";
}

WinePrefix::WinePrefix(std::string folder, const std::map<int, std::string>& comDevices, Ports ports)
    : m_folder(std::move(folder)) {
    std::vector<std::string> argv = {QLXDUO_WINE_SCRIPT, "create", m_folder};
    if (ports == Ports::Fenced) argv.push_back("--fence");
    for (const auto& [port, device] : comDevices) argv.push_back("COM" + std::to_string(port) + "=" + device);
    m_ready = RunToEnd(argv, kRunDeadlineMs).status == 0;
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

std::string WinePrefix::AppDataFolder() const {
    std::error_code error;
    for (const auto& user : std::filesystem::directory_iterator(m_folder + "/drive_c/users", error)) {
        const std::filesystem::path roaming = user.path() / "AppData" / "Roaming";
        if (user.path().filename() != "Public" && std::filesystem::is_directory(roaming))
            return roaming.string();
    }
    return {};
}

std::map<std::string, std::string> WinePrefix::ComDevices() const {
    std::map<std::string, std::string> devices;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder + "/dosdevices", error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("com") && entry.is_symlink())
            devices[name] = std::filesystem::read_symlink(entry.path()).string();
    }
    return devices;
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
