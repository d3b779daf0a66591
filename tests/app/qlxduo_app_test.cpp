// SPDX-License-Identifier: MIT
// The real qlxduo program against simulated units, on the offscreen platform and once more on a
// private desktop: one copy per application name, a second start ends at once, and the name frees
// up when the first copy ends.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/userfolders.h"
#include "ports/comportmap.h"
#include "testenv.h"
#include "testuser/standinuser.h"

namespace {

constexpr int kDeadlineMs = testenv::kHangGuardMs;

using Program = testenv::ProgramRun;

// Waits until the unit has received `count` complete reads (four exchanges each).
bool WaitForReads(const testenv::SimProcess& sim, size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDeadlineMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string wire = sim.ReceivedBytes();
        size_t reads = 0;
        for (size_t at = wire.find("AG B\r\n"); at != std::string::npos; at = wire.find("AG B\r\n", at + 1))
            ++reads;
        if (reads >= count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::string SettingsFolder() {
    return platform::AppDataFolder() + "/Kestrelan/QLX-DUO";
}

TEST(QlxduoApp, SecondStartEndsAtOnceAndTheNameFreesUpAfterwards) {
    testenv::SimProcess sim({});
    ASSERT_TRUE(platform::ComPortMap::ForCurrentUser().RegisterOwned(1, sim.DevicePath()));

    const apptest::CStandInUser user;  // never told to close
    Program first(QLXDUO_APP_PATH, user.Environment());
    ASSERT_TRUE(WaitForReads(sim, 1)) << sim.ReceivedBytes();
    // Connected once its event loop runs again: an ending during the connect would cut it short.
    ASSERT_TRUE(user.WaitIdle());

    Program second(QLXDUO_APP_PATH);
    ASSERT_TRUE(second.WaitExit(kDeadlineMs));
    EXPECT_TRUE(WIFEXITED(second.ExitStatus()));
    EXPECT_EQ(sim.ReceivedBytes(), "I\r\nV\r\nAG A\r\nAG B\r\n");  // made no window, sent nothing
    EXPECT_TRUE(first.Running());

    // Told to end while connected, the window returns the unit to normal mode.
    first.End();
    EXPECT_TRUE(sim.ReceivedBytes().ends_with("AG B\r\nE\r\n")) << sim.ReceivedBytes();
    ASSERT_TRUE(sim.ReturnToSettingMode(kDeadlineMs));
    Program third(QLXDUO_APP_PATH);
    EXPECT_TRUE(WaitForReads(sim, 2)) << sim.ReceivedBytes();
    EXPECT_TRUE(third.Running());
}

TEST(QlxduoApp, CopiesUnderOtherNamesRunSideBySide) {
    testenv::SimProcess unit1({});
    testenv::SimProcess unit2({});
    const auto map = platform::ComPortMap::ForCurrentUser();
    ASSERT_TRUE(map.RegisterOwned(1, unit1.DevicePath()));
    ASSERT_TRUE(map.RegisterOwned(2, unit2.DevicePath()));
    // The copy has its own settings file, which remembers COM2.
    testenv::WriteFile(SettingsFolder() + "/qlxduo2.ini", "[com]\r\ncom=2\r\n");
    testenv::TempDir dir;
    const std::string copy = dir.File("qlxduo2");
    std::filesystem::copy_file(QLXDUO_APP_PATH, copy);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);

    Program original(QLXDUO_APP_PATH);
    ASSERT_TRUE(WaitForReads(unit1, 1));
    Program renamed(copy);
    EXPECT_TRUE(WaitForReads(unit2, 1)) << unit2.ReceivedBytes();
    EXPECT_TRUE(original.Running());
    EXPECT_TRUE(renamed.Running());
}

}  // namespace
