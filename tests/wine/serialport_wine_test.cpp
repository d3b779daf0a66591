// SPDX-License-Identifier: MIT
// The Windows serial layer under Wine, on pseudo-terminals that this test holds the other end of:
// a line that hung up is told from a unit that is silent, and Ctrl+C ends a program that holds a
// port at once, also while it waits for the unit. The Windows side is serialprobe.exe; run from the
// Windows build's tests, which name its programs' folder in QLXDUO_WINDOWS_BIN and the prefix's
// folder in QLXDUO_WINE_PREFIX.
#include <gtest/gtest.h>
#include <signal.h>

#include <future>
#include <memory>

#include "testenv.h"
#include "wineprefix.h"

namespace {

constexpr int kHangUpCom = 11;
constexpr int kQuietCom = 12;
constexpr int kInterruptCom = 13;
constexpr int kReadyMs = testenv::kHangGuardMs;  // a Wine program's start
constexpr int kShortWaitMs = 300;
constexpr int kLongWaitMs = 60000;
// Wine's own handling of Ctrl+C ends a program with status 0 (Windows: STATUS_CONTROL_C_EXIT).
constexpr int kControlCExitStatus = 0;

std::string Probe() {
    return winetest::WindowsProgram("serialprobe.exe");
}

class WineSerialTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        for (auto& pty : s_ptys) pty = std::make_unique<testenv::PtyPair>();
        s_prefix = std::make_unique<winetest::WinePrefix>(
            winetest::PrefixFolder(), std::map<int, std::string>{{kHangUpCom, s_ptys[0]->DevicePath()},
                                                                 {kQuietCom, s_ptys[1]->DevicePath()},
                                                                 {kInterruptCom, s_ptys[2]->DevicePath()}});
    }
    static void TearDownTestSuite() {
        s_prefix.reset();
        for (auto& pty : s_ptys) pty.reset();
    }
    void SetUp() override {
        ASSERT_FALSE(Probe().empty()) << winetest::kNoWindowsPrograms;
        ASSERT_TRUE(s_prefix->Ready()) << "the Wine prefix could not be made";
    }

    static std::unique_ptr<testenv::PtyPair> s_ptys[3];
    static std::unique_ptr<winetest::WinePrefix> s_prefix;
};

std::unique_ptr<testenv::PtyPair> WineSerialTest::s_ptys[3];
std::unique_ptr<winetest::WinePrefix> WineSerialTest::s_prefix;

// The probe waits for a byte that never comes; what the line's other end does meanwhile decides
// how the program ends. (Wine's read on a line that hung up waits out its time like a silent one;
// the failure shows in the next call: the probe waits again until it shows, so that the hang-up
// may come whenever the test gets to it.)
TEST_F(WineSerialTest, HangUpIsToldFromSilenceAndCtrlCEndsTheProgram) {
    enum Peer { HangUp, Quiet, Interrupt };
    struct Case {
        const char* what;
        int com;
        Peer peer;
        std::vector<std::string> args;
        std::string report;
        int status;
    };
    const std::vector<Case> cases = {
        {"line hung up",
         kHangUpCom,
         HangUp,
         {std::to_string(kShortWaitMs), "--until-lost"},
         "readable=0 lost=1\n",
         0},
        {"silent unit", kQuietCom, Quiet, {std::to_string(kShortWaitMs)}, "readable=0 lost=0\n", 0},
        {"Ctrl+C while waiting",
         kInterruptCom,
         Interrupt,
         {std::to_string(kLongWaitMs), "--hold"},
         "",
         kControlCExitStatus},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.what);
        testenv::PtyPair& pty = *s_ptys[i];
        std::promise<pid_t> started;
        std::vector<std::string> args = {std::to_string(c.com)};
        args.insert(args.end(), c.args.begin(), c.args.end());
        auto run = std::async(std::launch::async, [&] {
            return s_prefix->Run(Probe(), args, [&](pid_t pid) { started.set_value(pid); });
        });
        const pid_t pid = started.get_future().get();
        EXPECT_EQ(pty.Receive(kReadyMs, "R\r\n"), "R\r\n");
        if (c.peer == HangUp) pty.HangUp();
        if (c.peer == Interrupt) kill(pid, SIGINT);
        const testenv::FinishedRun result = run.get();
        EXPECT_EQ(result.out, c.report) << result.err;
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_LT(result.elapsedMs, kLongWaitMs / 2) << "the program did not end";
    }
}

}  // namespace
