// SPDX-License-Identifier: MIT
#pragma once
// The stand-in user (testuserplugin.cpp) as a test of the real program drives it: the environment
// that loads it, the word to close the window, and a wait for the program's event loop to run.

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "testenv.h"

namespace apptest {

class CStandInUser {
public:
    // Added to the program's environment: the stand-in user, on whatever platform the program runs.
    std::vector<std::string> Environment() const {
        return {std::string("QT_PLUGIN_PATH=") + QLXDUO_TESTPLUGIN_PATH,
                "QT_QPA_GENERIC_PLUGINS=qlxduotestuser:" + m_trigger};
    }
    // Tells it to close the window as the close box does, and to answer OK to the question.
    void Close() const { testenv::WriteFile(m_trigger, ""); }
    // Waits until the program's event loop has run since the call: whatever the program was doing
    // at once when it was called (a connect, from its first command to its last reply) is over.
    bool WaitIdle() const {
        std::filesystem::remove(m_idle);
        return testenv::WaitUntil([this] { return std::filesystem::exists(m_idle); });
    }

private:
    testenv::TempDir m_dir;
    std::string m_trigger = m_dir.File("close-now");
    std::string m_idle = m_trigger + ".idle";
};

}  // namespace apptest
