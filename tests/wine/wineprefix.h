// SPDX-License-Identifier: MIT
#pragma once
// The Linux side of the Windows build's tests: a private Wine prefix for one test program (made
// with scripts/wine-prefix, with simulated units mapped in as COM ports), and Windows programs run
// there with what they printed, their exit status and the time they took.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "testenv.h"

namespace winetest {

// A program of the Windows build in the folder that the Windows build's tests name in
// QLXDUO_WINDOWS_BIN; empty when they name none.
std::string WindowsProgram(const std::string& name);
inline constexpr const char* kNoWindowsPrograms =
    "QLXDUO_WINDOWS_BIN names no folder: run this from the Windows build's tests (scripts/build-windows, "
    "then ctest)";

// Where the Windows build's tests want this program's prefix (QLXDUO_WINE_PREFIX), so that they
// can end its server whatever happens to this program; else inside its temporary root.
std::string PrefixFolder();

class WinePrefix {
public:
    // Makes folder a fresh prefix in which COM<n> is the device given for n, with its wineserver
    // running until the object ends. Fenced, no other COM number leads to any device (Wine would
    // give this machine's own serial devices the free numbers from COM1 up).
    enum class Ports { AsWineMakesThem, Fenced };
    WinePrefix(std::string folder, const std::map<int, std::string>& comDevices,
               Ports ports = Ports::AsWineMakesThem);
    ~WinePrefix();
    WinePrefix(const WinePrefix&) = delete;
    WinePrefix& operator=(const WinePrefix&) = delete;

    bool Ready() const { return m_ready; }
    // Runs a Windows program in the prefix; started as in testenv::RunToEnd.
    testenv::FinishedRun Run(const std::string& program, const std::vector<std::string>& args,
                             const std::function<void(pid_t)>& started = {}) const;
    // The same with standard output and error on the terminal at terminalPath, where Wine gives the
    // program a console; what the program writes there is read from the terminal's other side.
    testenv::FinishedRun RunOnTerminal(const std::string& terminalPath, const std::string& program,
                                       const std::vector<std::string>& args) const;
    // Processor time the prefix's wineserver has used so far; -1 when it cannot be read.
    double ServerProcessorMs() const;

    // The command that runs a Windows program in the prefix, to start it as a child program.
    std::vector<std::string> Command(const std::string& program, const std::vector<std::string>& args) const;
    const std::string& Folder() const { return m_folder; }
    // %APPDATA% of the prefix's user, as a Linux path; empty before the prefix has made it.
    std::string AppDataFolder() const;
    // The prefix's COM devices, "com7" -> what it leads to.
    std::map<std::string, std::string> ComDevices() const;

private:
    std::string m_folder;
    bool m_ready = false;
};

}  // namespace winetest
