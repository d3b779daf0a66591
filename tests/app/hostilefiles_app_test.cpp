// SPDX-License-Identifier: MIT
// The real qlxduo program with something other than a plain file at its settings path: it must
// start, connect, close through its own close sequence and end, leaving that thing as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "platform/comportmap.h"
#include "platform/userfolders.h"
#include "testenv.h"

namespace {

namespace fs = std::filesystem;

constexpr int kDeadlineMs = 10000;  // generous: only a hang or a missing exit runs into it
const std::string kFullRun =
    "I\r\nV\r\nAG A\r\nAG B\r\nE\r\n";  // connect and read, then normal mode at close

bool WaitForWire(const testenv::SimProcess& sim, const std::string& wire) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDeadlineMs);
    while (sim.ReceivedBytes() != wire && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return sim.ReceivedBytes() == wire;
}

struct Hostile {
    const char* name;
    std::function<bool(const std::string& folder, const std::string& path)> make;
    mode_t kind;  // of what the settings path names, links followed
};

TEST(HostileSettingsFile, TheProgramRunsAndClosesNormallyAndLeavesItAlone) {
    const Hostile hostiles[] = {
        {"FIFO", [](const std::string&, const std::string& p) { return mkfifo(p.c_str(), 0644) == 0; },
         S_IFIFO},
        {"link to a zero device",
         [](const std::string& folder, const std::string& p) {
             const std::string node = folder + "/zero";
             if (mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 5)) != 0) return false;
             fs::create_symlink(node, p);
             return true;
         },
         S_IFCHR},
    };
    const std::string folder = platform::AppDataFolder() + "/Kestrelan/QLX-DUO";
    const std::string path = folder + "/qlxduo.ini";
    std::string notMade;
    for (const Hostile& hostile : hostiles) {
        SCOPED_TRACE(hostile.name);
        fs::remove_all(platform::AppDataFolder() + "/Kestrelan");
        fs::create_directories(folder);
        if (!hostile.make(folder, path)) {
            notMade += std::string(" ") + hostile.name + ";";
            continue;
        }
        testenv::SimProcess sim({});
        ASSERT_TRUE(platform::ComPortMap::ForCurrentUser().RegisterOwned(1, sim.DevicePath()));
        testenv::TempDir dir;
        const std::string trigger = dir.File("close-now");

        testenv::ChildProgram program(
            {QLXDUO_APP_PATH},
            {"QT_QPA_PLATFORM=offscreen", std::string("QT_PLUGIN_PATH=") + QLXDUO_TESTPLUGIN_PATH,
             "QT_QPA_GENERIC_PLUGINS=qlxduotestuser:" + trigger});
        ASSERT_TRUE(WaitForWire(sim, "I\r\nV\r\nAG A\r\nAG B\r\n")) << "no connect: " << sim.ReceivedBytes();
        testenv::WriteFile(trigger, "");
        ASSERT_TRUE(program.WaitExit(kDeadlineMs)) << "the program did not end after its window was closed";
        EXPECT_TRUE(WIFEXITED(program.ExitStatus()) && WEXITSTATUS(program.ExitStatus()) == 0)
            << "wait status " << program.ExitStatus();
        EXPECT_TRUE(WaitForWire(sim, kFullRun)) << sim.ReceivedBytes();

        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & S_IFMT, hostile.kind);
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_FALSE(entry.path().filename().string().starts_with(".qlxduo-")) << entry.path();
    }
    if (!notMade.empty()) GTEST_SKIP() << "could not be made here (devices need root):" << notMade;
}

}  // namespace
