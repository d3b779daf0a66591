#pragma once
// The Linux side of the Windows build's tests: a private Wine prefix for one test program (made
// with scripts/wine-prefix, with simulated units mapped in as COM ports), and programs run there or
// beside it with what they printed, their exit status and the time they took.

#include <map>
#include <string>
#include <vector>

namespace winetest {

struct ProgramRun {
    int status = -1;  // the exit status; -1 when the program was killed or did not start
    std::string out;
    std::string err;
    double elapsedMs = 0;
    double processorMs = 0;  // the program's own processor time
};

// Runs a program to its end, capturing standard output and error; killed after timeoutMs.
ProgramRun RunProgram(const std::vector<std::string>& argv, int timeoutMs = 60000);

class WinePrefix {
public:
    // Makes folder a fresh prefix in which COM<n> is the device given for n, with its wineserver
    // running until the object ends.
    WinePrefix(std::string folder, const std::map<int, std::string>& comDevices);
    ~WinePrefix();
    WinePrefix(const WinePrefix&) = delete;
    WinePrefix& operator=(const WinePrefix&) = delete;

    bool Ready() const { return m_ready; }
    // Runs a Windows program in the prefix.
    ProgramRun Run(const std::string& program, const std::vector<std::string>& args) const;
    // Processor time the prefix's wineserver has used so far; -1 when it cannot be read.
    double ServerProcessorMs() const;

private:
    std::string m_folder;
    bool m_ready = false;
};

}  // namespace winetest
