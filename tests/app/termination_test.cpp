// SPDX-License-Identifier: MIT
// The real window and the real tool, killed while they hold the simulated unit's port: after any
// signal whose default action ends the process — sent ones, a write's, faults — the port is free
// again (no exclusive mark, no lock file, an ordinary user can open it) and the process ended by
// that signal, also while the program is blocked inside an exchange. A connected window told to
// end returns the unit to normal mode first. After SIGKILL nothing that the next open cannot get
// past is left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "serial/seriallock.h"
#include "testenv.h"
#include "testuser/standinuser.h"
#include "tools/cli.h"

namespace {

constexpr int kCom = 1;  // the port the window falls back to when it remembers none
constexpr int kDeadlineMs = testenv::kHangGuardMs;

// Signals whose default action ends the process and dumps its core: the test wants no core files.
void NoCoreFiles() {
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
}

// Faults end the process where they happen: the window has no time to talk to the unit then.
bool IsFault(int signal) {
    constexpr int kFaults[] = {SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGSEGV, SIGSYS};
    return std::find(std::begin(kFaults), std::end(kFaults), signal) != std::end(kFaults);
}

bool EndedBy(int status, int signal) {
    return WIFSIGNALED(status) && WTERMSIG(status) == signal;
}

// The tool takes the first SIGTERM or SIGINT as a request to stop at a clean point, and ignores
// SIGXFSZ as it does SIGPIPE (a write beyond the file size limit is an error of its own): then it
// ends by itself, the unit under way failed (exit status 1), once the exchange under way has ended.
bool ToolEndsByItself(int signal) {
    return signal == SIGTERM || signal == SIGINT || signal == SIGXFSZ;
}

bool EndedByItself(int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

// Once the program has opened a port whose output the test stopped, its threads that sleep in poll
// are in their first write, stalled inside the exchange: nothing between the open and the write
// polls.
bool SleepInPoll(pid_t pid, int threads) {
    return testenv::ThreadsSleepingInPoll(pid) >= threads;
}

bool WaitFor(const std::function<bool()>& condition) {
    return testenv::WaitUntil(condition, kDeadlineMs);
}

// The test's own descriptor of the unit's device side: it shows the terminal's exclusive mark,
// and can stop the line's output so that the program's next write stalls.
class DeviceSide {
public:
    explicit DeviceSide(const std::string& path)
        : m_fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
    ~DeviceSide() {
        tcflow(m_fd, TCOON);
        close(m_fd);
    }
    DeviceSide(const DeviceSide&) = delete;
    DeviceSide& operator=(const DeviceSide&) = delete;
    bool Ok() const { return m_fd >= 0; }
    bool MarkedExclusive() const {
        int exclusive = 0;
        return ioctl(m_fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
    }
    void StopOutput() const { tcflow(m_fd, TCOOFF); }
    void ResumeOutput() const { tcflow(m_fd, TCOON); }

private:
    int m_fd;
};

// Whether an ordinary user (nobody) can open the device now; root ignores the exclusive mark.
bool OrdinaryUserOpens(const std::string& device) {
    if (geteuid() != 0) {
        const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) close(fd);
        return fd >= 0;
    }
    // The pseudo-terminal is root's own (mode 0620); let nobody in so that only the mark can bar it.
    chmod(device.c_str(), 0666);
    testenv::ChildProgram opener({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                  "/bin/sh", "-c", "exec 2>/dev/null 3<>\"$0\"", device});
    return opener.WaitExit(kDeadlineMs) && WIFEXITED(opener.ExitStatus()) &&
           WEXITSTATUS(opener.ExitStatus()) == 0;
}

bool LockFolderWritable() {
    return access(platform::kSerialLockFolder, W_OK) == 0;
}

std::string TenDigits(int pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", pid);
    return text;
}

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

std::vector<std::string> WindowCommand() {
    return {QLXDUO_APP_PATH};
}

std::vector<std::string> ToolCommand(int com = kCom) {
    return {QLXDUO_CLI_PATH, "read", std::to_string(com)};
}

struct Ending {
    const char* what;
    std::vector<std::string> command;
    bool blockedInExchange;  // else: connected and idle (the window only)
    int signal;
};

void PrintTo(const Ending& ending, std::ostream* out) {
    *out << ending.what;
}

class TerminationTest : public ::testing::TestWithParam<Ending> {};

TEST_P(TerminationTest, PortIsFreeAfterTheProgramEnds) {
    const Ending& run = GetParam();
    NoCoreFiles();
    testenv::SimProcess sim({"--com", std::to_string(kCom)});
    DeviceSide device(sim.DevicePath());
    ASSERT_TRUE(device.Ok());
    if (run.blockedInExchange) device.StopOutput();
    const std::string lockFile = platform::SerialLockPath(sim.DevicePath());

    const apptest::CStandInUser user;  // never told to close
    testenv::ProgramRun program(run.command.front(), user.Environment());
    ASSERT_TRUE(WaitFor([&] { return device.MarkedExclusive(); })) << "the program never opened the port";
    if (run.blockedInExchange) {
        ASSERT_TRUE(WaitFor([&] { return SleepInPoll(program.Pid(), 1); })) << "the program never wrote";
    } else {
        // The connect runs at once from "I" to "AG B"'s reply; the event loop runs again after it.
        ASSERT_TRUE(WaitFor([&] { return sim.ReceivedBytes().ends_with("AG B\r\n"); }))
            << sim.ReceivedBytes();
        ASSERT_TRUE(user.WaitIdle()) << "the window's event loop never ran again";
    }
    ASSERT_TRUE(program.Running());
    if (LockFolderWritable()) {
        EXPECT_EQ(testenv::ReadFile(lockFile), TenDigits(program.Pid()));
    }

    program.Signal(run.signal);
    ASSERT_TRUE(program.WaitExit(kDeadlineMs));
    EXPECT_TRUE(EndedBy(program.ExitStatus(), run.signal)) << "status " << program.ExitStatus();
    EXPECT_FALSE(device.MarkedExclusive());
    EXPECT_FALSE(Exists(lockFile)) << lockFile;
    if (!run.blockedInExchange) {
        // As closing with OK does: "E", then the port is closed.
        EXPECT_TRUE(sim.ReceivedBytes().ends_with(IsFault(run.signal) ? "AG B\r\n" : "AG B\r\nE\r\n"))
            << sim.ReceivedBytes();
    }
    device.ResumeOutput();
    EXPECT_TRUE(OrdinaryUserOpens(sim.DevicePath()));
    if (!LockFolderWritable())
        GTEST_SKIP() << platform::kSerialLockFolder << " is not writable: no lock file to check";
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminationTest,
                         ::testing::Values(Ending{"WindowConnectedTerm", WindowCommand(), false, SIGTERM},
                                           Ending{"WindowConnectedInt", WindowCommand(), false, SIGINT},
                                           Ending{"WindowConnectedHup", WindowCommand(), false, SIGHUP},
                                           Ending{"WindowConnectedQuit", WindowCommand(), false, SIGQUIT},
                                           Ending{"WindowConnectedUsr1", WindowCommand(), false, SIGUSR1},
                                           Ending{"WindowConnectedAlrm", WindowCommand(), false, SIGALRM},
                                           Ending{"WindowConnectedPipe", WindowCommand(), false, SIGPIPE},
                                           Ending{"WindowConnectedRtmin", WindowCommand(), false, SIGRTMIN},
                                           Ending{"WindowConnectedSegv", WindowCommand(), false, SIGSEGV},
                                           Ending{"WindowConnectedAbrt", WindowCommand(), false, SIGABRT},
                                           Ending{"WindowInExchangeTerm", WindowCommand(), true, SIGTERM},
                                           Ending{"WindowInExchangeInt", WindowCommand(), true, SIGINT},
                                           Ending{"WindowInExchangeHup", WindowCommand(), true, SIGHUP},
                                           Ending{"WindowInExchangeSegv", WindowCommand(), true, SIGSEGV}),
                         [](const ::testing::TestParamInfo<Ending>& info) {
                             return std::string(info.param.what);
                         });

// Every signal that ends the tool by default, each sent to a tool of its own blocked in an
// exchange: all at once, so that the whole set costs one run. SIGPIPE is the window's row: the tool
// may ignore it and treat a closed output as an error of its own. Those the tool takes as a request
// to stop, or ignores, end it by itself.
TEST(TerminationEverySignal, ToolInExchangeReleasesItsPort) {
    NoCoreFiles();
    struct Run {
        int signal;
        std::unique_ptr<testenv::SimProcess> sim;
        std::unique_ptr<DeviceSide> device;
        std::unique_ptr<testenv::ChildProgram> tool;
    };
    std::vector<Run> runs;
    for (int signal : {SIGTERM, SIGINT,  SIGHUP,    SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM,  SIGSTKFLT,
                       SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGPOLL, SIGPWR,  SIGRTMIN, SIGRTMAX,
                       SIGILL,  SIGTRAP, SIGABRT,   SIGBUS,  SIGFPE,  SIGSEGV, SIGSYS}) {
        const int com = static_cast<int>(runs.size()) + 1;
        auto sim =
            std::make_unique<testenv::SimProcess>(std::vector<std::string>{"--com", std::to_string(com)});
        auto device = std::make_unique<DeviceSide>(sim->DevicePath());
        ASSERT_TRUE(device->Ok());
        device->StopOutput();
        auto tool = std::make_unique<testenv::ChildProgram>(ToolCommand(com));
        runs.push_back({signal, std::move(sim), std::move(device), std::move(tool)});
    }
    ASSERT_TRUE(WaitFor([&] {
        return std::all_of(runs.begin(), runs.end(), [](const Run& run) {
            return run.device->MarkedExclusive() && SleepInPoll(run.tool->Pid(), 1);
        });
    }));
    for (Run& run : runs) {
        ASSERT_TRUE(run.tool->Running());
        run.tool->Signal(run.signal);
    }
    for (Run& run : runs) {
        SCOPED_TRACE(strsignal(run.signal));
        ASSERT_TRUE(run.tool->WaitExit(kDeadlineMs));
        const int status = run.tool->ExitStatus();
        EXPECT_TRUE(ToolEndsByItself(run.signal) ? EndedByItself(status) : EndedBy(status, run.signal))
            << "status " << status;
        EXPECT_FALSE(run.device->MarkedExclusive());
        EXPECT_FALSE(Exists(platform::SerialLockPath(run.sim->DevicePath())));
    }
}

// A batch holds a port on each of its threads; told to end, or faulting, the tool releases all of
// them: stopped at a clean point by a first SIGTERM, ended at once by a second request (SIGINT
// after it: two of one kind may merge into one), or by a fault.
TEST(TerminationBatch, EveryPortOfABatchIsFreeAfterTheToolIsTold) {
    NoCoreFiles();
    for (const std::vector<int>& signals :
         std::vector<std::vector<int>>{{SIGTERM}, {SIGTERM, SIGINT}, {SIGSEGV}}) {
        SCOPED_TRACE(std::string(strsignal(signals.front())) + (signals.size() > 1 ? ", then another" : ""));
        testenv::SimProcess first({"--com", "1"});
        testenv::SimProcess second({"--com", "2"});
        DeviceSide firstDevice(first.DevicePath());
        DeviceSide secondDevice(second.DevicePath());
        ASSERT_TRUE(firstDevice.Ok() && secondDevice.Ok());
        firstDevice.StopOutput();
        secondDevice.StopOutput();
        testenv::ChildProgram program({QLXDUO_CLI_PATH, "write", "1", "2", "--a", "0,0,0,21,0,0"});
        ASSERT_TRUE(WaitFor([&] {
            return firstDevice.MarkedExclusive() && secondDevice.MarkedExclusive() &&
                   SleepInPoll(program.Pid(), 2);
        }));
        ASSERT_TRUE(program.Running());
        for (const int signal : signals) program.Signal(signal);
        ASSERT_TRUE(program.WaitExit(kDeadlineMs));
        const int status = program.ExitStatus();
        if (signals.front() == SIGTERM && signals.size() == 1) {
            EXPECT_TRUE(EndedByItself(status)) << "status " << status;
        } else {
            // Either request may be taken first; the other ends the tool.
            EXPECT_TRUE(EndedBy(status, signals.front()) || EndedBy(status, signals.back()))
                << "status " << status;
        }
        for (const testenv::SimProcess* sim : {&first, &second}) {
            EXPECT_FALSE(Exists(platform::SerialLockPath(sim->DevicePath())));
        }
        EXPECT_FALSE(firstDevice.MarkedExclusive());
        EXPECT_FALSE(secondDevice.MarkedExclusive());
    }
}

// SIGKILL cannot be caught: the dead tool's lock file stays, and so does its exclusive mark while
// the unit keeps its side of the line open. The next open replaces the stale lock file; root opens
// the port despite the mark, anyone else is told what may hold it.
TEST(TerminationKill, NextOpenGetsPastWhatAKilledToolLeft) {
    testenv::SimProcess sim({"--com", std::to_string(kCom)});
    DeviceSide device(sim.DevicePath());
    ASSERT_TRUE(device.Ok());
    device.StopOutput();
    const std::string lockFile = platform::SerialLockPath(sim.DevicePath());
    testenv::ChildProgram tool(ToolCommand());
    ASSERT_TRUE(WaitFor([&] { return device.MarkedExclusive() && SleepInPoll(tool.Pid(), 1); }));
    tool.Signal(SIGKILL);
    ASSERT_TRUE(tool.WaitExit(kDeadlineMs));
    EXPECT_TRUE(device.MarkedExclusive());
    EXPECT_EQ(Exists(lockFile), LockFolderWritable());
    device.ResumeOutput();

    cli::CStringOutput out, err;
    const int status = cli::RunCli({"read", std::to_string(kCom)}, out, err);
    if (geteuid() == 0) {
        EXPECT_EQ(status, cli::kExitSuccess) << err.Text();
    } else {
        EXPECT_EQ(status, cli::kExitOpenFailed);
        EXPECT_NE(err.Text().find("marked for exclusive use"), std::string::npos) << err.Text();
    }
    EXPECT_FALSE(Exists(lockFile));
}

}  // namespace
