// SPDX-License-Identifier: MIT
// The real qlxduo program with something other than a plain file at its settings path: it must
// start, connect, close through its own close sequence and end, leaving that thing as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "hostilefiles.h"
#include "platform/userfolders.h"
#include "ports/comportmap.h"
#include "testenv.h"
#include "testuser/standinuser.h"

namespace {

namespace fs = std::filesystem;

constexpr int kDeadlineMs = testenv::kHangGuardMs;
const std::string kFullRun =
    "I\r\nV\r\nAG A\r\nAG B\r\nE\r\n";  // connect and read, then normal mode at close

bool WaitForWire(const testenv::SimProcess& sim, const std::string& wire) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDeadlineMs);
    while (sim.ReceivedBytes() != wire && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return sim.ReceivedBytes() == wire;
}

// What the settings path names, links followed.
mode_t KindAt(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

// Two of the catalogue's entries: a whole run of the program takes seconds, and the readers refuse
// every entry alike (settingsfile_test).
TEST(HostileSettingsFile, TheProgramRunsAndClosesNormallyAndLeavesItAlone) {
    const std::set<std::string> run = {"FIFO", "link to a character device (zero)"};
    const std::string folder = platform::AppDataFolder() + "/Kestrelan/QLX-DUO";
    const std::string path = folder + "/qlxduo.ini";
    std::string notMade;
    for (const testenv::HostileFile& hostile : testenv::HostileFiles("", "")) {
        if (!run.contains(hostile.name)) continue;
        SCOPED_TRACE(hostile.name);
        fs::remove_all(platform::AppDataFolder() + "/Kestrelan");
        fs::create_directories(folder);
        if (!hostile.make(folder, path)) {
            notMade += std::string(" ") + hostile.name + ";";
            continue;
        }
        const mode_t kind = KindAt(path);
        testenv::SimProcess sim({});
        ASSERT_TRUE(platform::ComPortMap::ForCurrentUser().RegisterOwned(1, sim.DevicePath()));
        const apptest::CStandInUser user;
        testenv::ProgramRun program(QLXDUO_APP_PATH, user.Environment());
        ASSERT_TRUE(WaitForWire(sim, "I\r\nV\r\nAG A\r\nAG B\r\n")) << "no connect: " << sim.ReceivedBytes();
        user.Close();
        ASSERT_TRUE(program.WaitExit(kDeadlineMs)) << "the program did not end after its window was closed";
        EXPECT_TRUE(WIFEXITED(program.ExitStatus()) && WEXITSTATUS(program.ExitStatus()) == 0)
            << "wait status " << program.ExitStatus();
        EXPECT_TRUE(WaitForWire(sim, kFullRun)) << sim.ReceivedBytes();

        EXPECT_EQ(KindAt(path), kind);
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_FALSE(entry.path().filename().string().starts_with(".qlxduo-")) << entry.path();
    }
    if (!notMade.empty()) GTEST_SKIP() << "could not be made here (devices need root):" << notMade;
}

}  // namespace
