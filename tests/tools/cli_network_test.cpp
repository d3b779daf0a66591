// SPDX-License-Identifier: MIT
// The tool against units behind ser2net (clinetwork.h), in-process; as a program of its own against
// servers that flood, turn it away or set another rate (clihostile.h); and watch ending on its first
// signal while such a server floods a port of the port map.
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>

#include "clihostile.h"
#include "clinetwork.h"
#include "ports/comportmap.h"

namespace {

TEST(CliNetworkTest, UnitsBehindSer2net) {
    testenv::SimProcess local({});
    clitest::CheckUnitsBehindSer2net([](const std::vector<std::string>& args) { return clitest::Cli(args); },
                                     local.DevicePath(), local);
}

TEST(CliNetworkTest, HostilePeers) {
    testenv::SimProcess unit({});
    clitest::CheckHostilePeers(
        [](const std::vector<std::string>& args) {
            std::vector<std::string> command = {QLXDUO_CLI_PATH};
            command.insert(command.end(), args.begin(), args.end());
            return testenv::RunToEnd(command);
        },
        unit.DevicePath());
}

// The first Ctrl+C (or SIGTERM) lets watch finish the units under way and end by itself: a unit
// whose server floods must not keep it waiting.
TEST(CliNetworkTest, WatchEndsOnItsFirstSignalWhileAServerFloods) {
    constexpr int kMappedCom = 13;
    testenv::TempDir dir;
    clitest::CHostilePeer peer({.flood = "\xff\xfb\x63"});
    testenv::ChildProgram watch({"/bin/sh", "-c",
                                 "exec " + std::string(QLXDUO_CLI_PATH) + " watch --a 1,2,0,21,0,2 >" +
                                     dir.File("out") + " 2>" + dir.File("err")});
    const auto waited = [&] {
        return testenv::ReadFile(dir.File("err")).find("waiting for units") != std::string::npos;
    };
    for (int i = 0; i < 3000 && !waited(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(waited()) << "watch did not start";
    // Plugged in while watch looks: the port map gains the server's port.
    const platform::ComPortMap map = platform::ComPortMap::ForCurrentUser();
    ASSERT_TRUE(map.Register(kMappedCom, peer.Url()));
    ASSERT_TRUE(peer.WaitFlooding(30000)) << "watch did not take COM13";
    const auto signalled = std::chrono::steady_clock::now();
    watch.Signal(SIGTERM);
    const bool ended = watch.WaitExit(60000);
    const double endedMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - signalled).count();
    map.Unregister(kMappedCom);
    ASSERT_TRUE(ended) << "watch did not end on its first signal";
    std::printf("watch ended %.0f ms after its signal\n", endedMs);
    EXPECT_TRUE(WIFEXITED(watch.ExitStatus())) << "ended by itself, not by the signal";
    EXPECT_EQ(WEXITSTATUS(watch.ExitStatus()), cli::kExitUnitFailed);
    EXPECT_TRUE(testenv::ReadFile(dir.File("out")).ends_with("0 passed, 1 failed\n"))
        << testenv::ReadFile(dir.File("out"));
}

}  // namespace
