#pragma once
// The Linux side of the Windows build's tests: a private Wine prefix for one test program (made
// with scripts/wine-prefix, with simulated units mapped in as COM ports), and Windows programs run
// there with what they printed, their exit status and the time they took.

#include <map>
#include <string>
#include <vector>

#include "testenv.h"

namespace winetest {

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
    testenv::FinishedRun Run(const std::string& program, const std::vector<std::string>& args) const;
    // Processor time the prefix's wineserver has used so far; -1 when it cannot be read.
    double ServerProcessorMs() const;

private:
    std::string m_folder;
    bool m_ready = false;
};

}  // namespace winetest
