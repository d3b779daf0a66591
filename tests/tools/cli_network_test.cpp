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
    clitest::WatchRun watch(dir, "--a 1,2,0,21,0,2");
    ASSERT_NE(watch.Err("waiting for units").find("waiting for units"), std::string::npos)
        << "watch did not start";
    // Plugged in while watch looks: the port map gains the server's port.
    const platform::ComPortMap map = platform::ComPortMap::ForCurrentUser();
    ASSERT_TRUE(map.Register(kMappedCom, peer.Url()));
    ASSERT_TRUE(peer.WaitFlooding(testenv::kHangGuardMs)) << "watch did not take COM13";
    const auto signalled = std::chrono::steady_clock::now();
    watch.Program().Signal(SIGTERM);
    const bool ended = watch.Program().WaitExit(testenv::kHangGuardMs);
    const double endedMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - signalled).count();
    map.Unregister(kMappedCom);
    ASSERT_TRUE(ended) << "watch did not end on its first signal";
    std::printf("watch ended %.0f ms after its signal\n", endedMs);
    EXPECT_TRUE(WIFEXITED(watch.Program().ExitStatus())) << "ended by itself, not by the signal";
    EXPECT_EQ(WEXITSTATUS(watch.Program().ExitStatus()), cli::kExitUnitFailed);
    EXPECT_TRUE(watch.Out("").ends_with("0 passed, 1 failed\n")) << watch.Out("");
}

}  // namespace
