// SPDX-License-Identifier: MIT
// Many units at once, the progress line, the trace of the line, and units plugged in one after
// another while watch runs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <regex>
#include <thread>

#include "clirun.h"
#include "link/serialport.h"
#include "platform/portlist.h"
#include "testenv.h"

namespace {

using clitest::Cli;
using clitest::CliRun;

constexpr const char* kReadCommands = "I\r\nV\r\nAG A\r\nAG B\r\n";
constexpr const char* kWriteCommands =
    "I\r\nV\r\nAG A\r\nAG B\r\nAS A 0,1,0,13,1,1\r\nAS B 0,0,0,33,0,0\r\nW 4172093615\r\nAG A\r\nAG B\r\n";
constexpr const char* kConfig =
    R"({"schema":1,"A":{"format":0,"flow":1,"dataLength":0,"baudCode":13,"stopBits":1,"parity":1}})";

// Simulated units on COM61 and up; the one at silentIndex never answers.
std::vector<std::unique_ptr<testenv::SimProcess>> Units(int count, int silentIndex = -1) {
    std::vector<std::unique_ptr<testenv::SimProcess>> units;
    for (int i = 0; i < count; ++i) {
        std::vector<std::string> options = {"--com", std::to_string(61 + i)};
        if (i == silentIndex) options.push_back("--silent");
        units.push_back(std::make_unique<testenv::SimProcess>(options));
    }
    return units;
}

// Waits until done() holds (a hang guard aside); whether it does.
bool Eventually(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(testenv::kHangGuardMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(CliBatchTest, SilentUnitOfABatchIsReportedAndTheBatchExitsOne) {
    testenv::TempDir dir;
    const std::string file = clitest::FileWith(dir, "config.json", kConfig);
    const auto units = Units(4, 2);
    const CliRun text = Cli({"write", "61", "62", "COM63", "64", "--from", file});
    EXPECT_EQ(text.status, cli::kExitUnitFailed);
    const std::string written = " QLX-11D: parameters written (パラメータ書き込み成功)\n";
    EXPECT_EQ(text.out, "COM61" + written + "COM62" + written + "COM64" + written);
    EXPECT_TRUE(text.err.starts_with("COM63: no accepted reply to \"I\": communication error")) << text.err;
    for (int i : {0, 1, 3}) EXPECT_EQ(units[i]->ReceivedBytes(), kWriteCommands) << i;
    EXPECT_EQ(units[2]->ReceivedBytes(), "I\r\n");

    // Every unit well: 0.
    const CliRun good = Cli({"normal", "61", "62", "64"});
    EXPECT_EQ(good.status, cli::kExitSuccess) << good.err;
    EXPECT_EQ(good.out,
              "COM61: switched to normal mode (通常モードに切り替えました)\n"
              "COM62: switched to normal mode (通常モードに切り替えました)\n"
              "COM64: switched to normal mode (通常モードに切り替えました)\n");
}

TEST(CliBatchTest, AllIsEveryPortPresent) {
    const auto units = Units(4, 2);
    // "all" would also talk to serial devices of this machine; it is tried only where there are none.
    const size_t present = platform::EnumerateSerialPorts().size();
    if (present != units.size())
        GTEST_SKIP() << "\"read all\" not tried: this machine has serial devices of its own";
    const CliRun json = Cli({"read", "all", "--json"});
    EXPECT_EQ(json.status, cli::kExitUnitFailed);
    EXPECT_EQ(json.err, "");
    const auto lines = clitest::JsonLines(json.out);
    ASSERT_EQ(lines.size(), 4u) << json.out;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(lines[i]["port"], 61 + i);
        EXPECT_EQ(lines[i].contains("error"), i == 2) << lines[i];
    }
    EXPECT_EQ(lines[2]["error"], "no-reply");
    EXPECT_EQ(lines[3]["A"]["baudCode"], 21);
}

// find sends "I" only, and "V" where a unit answered: it reports the units among silent ports and
// leaves a port that another program holds alone, saying so.
TEST(CliBatchTest, FindReportsTheUnitsAmongSilentAndHeldPorts) {
    const auto units = Units(4, 1);
    CSerialPort holder;
    ASSERT_EQ(holder.Open(64, 115200, 8, 0, 0), 1);
    const std::string held = "COM64 " + units[3]->DevicePath() + ": skipped, held by another program: ";
    const std::string found = ": QLX-11D, firmware 1.03\n";
    const std::string none = "qlxduo-cli: no unit in setting mode answered on the 2 ports probed\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string errStart;
    };
    for (const Case& c : {
             Case{{"find", "61", "62", "63", "64"},
                  cli::kExitSuccess,
                  "COM61 " + units[0]->DevicePath() + found + "COM63 " + units[2]->DevicePath() + found,
                  held},
             Case{{"find", "62", "64"}, cli::kExitUnitFailed, "", held},
             Case{{"find", "62", "63", "--json"},
                  cli::kExitSuccess,
                  "{\"port\":63,\"device\":\"" + units[2]->DevicePath() +
                      "\",\"adapter\":{},\"identity\":\"QLX-11D\",\"firmware\":\"1.03\",\"firmwareNumber\":"
                      "103}\n",
                  ""},
         }) {
        SCOPED_TRACE(c.args.size());
        const CliRun run = Cli(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.out, c.out);
        EXPECT_TRUE(run.err.starts_with(c.errStart)) << run.err;
        EXPECT_EQ(run.err.ends_with(none), c.status != cli::kExitSuccess) << run.err;
    }
    EXPECT_EQ(units[0]->ReceivedBytes(), "I\r\nV\r\n");
    EXPECT_EQ(units[1]->ReceivedBytes(), "I\r\nI\r\nI\r\n");
    EXPECT_EQ(units[2]->ReceivedBytes(), "I\r\nV\r\nI\r\nV\r\n");
    EXPECT_EQ(units[3]->ReceivedBytes(), "");
}

// With the units' lines stopped, the tool's first writes to all eight stall at the same time, each
// on a thread of its own: worked on one after the other, one would stall at a time.
TEST(CliBatchTest, UnitsAreWorkedOnAtOnce) {
    std::vector<std::unique_ptr<testenv::SimProcess>> units;
    std::vector<int> lines;  // the test's own descriptors of the units' device sides
    std::vector<std::string> command = {QLXDUO_CLI_PATH, "read"};
    for (int i = 0; i < 8; ++i) {
        units.push_back(std::make_unique<testenv::SimProcess>(
            std::vector<std::string>{"--com", std::to_string(71 + i), "--silent"}));
        lines.push_back(open(units.back()->DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        ASSERT_EQ(tcflow(lines.back(), TCOOFF), 0);
        command.push_back(std::to_string(71 + i));
    }
    std::atomic<pid_t> tool = 0;
    auto run = std::async(std::launch::async, [&] {
        return testenv::RunToEnd(command, testenv::kHangGuardMs, [&](pid_t pid) { tool = pid; });
    });
    EXPECT_TRUE(Eventually([&] { return tool != 0 && testenv::ThreadsSleepingInPoll(tool) >= 8; }));
    for (const int line : lines) {
        tcflow(line, TCOON);
        close(line);
    }
    EXPECT_EQ(run.get().status, cli::kExitUnitFailed);
    for (const auto& unit : units) EXPECT_EQ(unit->ReceivedBytes(), "I\r\n");
}

TEST(CliBatchTest, ProgressLineOnlyWhereSomeoneWatches) {
    const auto units = Units(3);
    const CliRun shown = Cli({"read", "61", "62", "63"}, cli::Progress::Shown);
    EXPECT_EQ(shown.status, cli::kExitSuccess);
    EXPECT_NE(shown.err.find("\r3/3 done"), std::string::npos) << shown.err;
    EXPECT_TRUE(shown.err.ends_with("\r        \r")) << "the line is blanked at the end";
    EXPECT_EQ(Cli({"read", "61", "62", "63"}).err, "");
    EXPECT_EQ(Cli({"read", "61"}, cli::Progress::Shown).err, "") << "one unit needs no progress";
    EXPECT_EQ(Cli({"read", "61", "62", "--trace", "-"}, cli::Progress::Shown).err.find("done"),
              std::string::npos)
        << "not into the trace";

    // The program itself: with standard error on a pipe, nothing of it; on a terminal, the line.
    EXPECT_EQ(clitest::RunProgram("read 61 62 63").err, "");
    testenv::PtyPair terminal;
    const int device = open(terminal.DevicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(device, 0);
    testenv::ChildProcess program([&] {
        dup2(device, STDERR_FILENO);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        execl(QLXDUO_CLI_PATH, QLXDUO_CLI_PATH, "read", "61", "62", "63", static_cast<char*>(nullptr));
        return 127;
    });
    close(device);
    EXPECT_EQ(program.Wait(), cli::kExitSuccess);
    EXPECT_NE(terminal.Receive(2000, "3/3 done").find("3/3 done"), std::string::npos);
}

struct TraceLine {
    double ms;
    std::string port;
    std::string direction;
    std::string bytes;
};

std::vector<TraceLine> TraceLines(const std::string& text) {
    const std::regex format(R"(^(\d+\.\d{3}) (\S+) (->|<-|--) (.*)$)");
    std::vector<TraceLine> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::smatch parts;
        EXPECT_TRUE(std::regex_match(line, parts, format)) << line;
        if (parts.empty()) continue;
        lines.push_back({std::stod(parts[1]), parts[2], parts[3], parts[4]});
    }
    return lines;
}

// The tool's trace and the unit's log laid side by side: the same bytes, mirrored, and in time order
// across the two, since both stamp with the same monotonic clock.
TEST(CliBatchTest, TraceOfOneReadIsTheFourCommandsAndReplies) {
    testenv::TempDir dir;
    testenv::SimProcess unit({"--com", "65"});
    const CliRun run = Cli({"read", "COM65", "--trace", dir.File("trace")});
    EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
    const std::vector<TraceLine> trace = TraceLines(testenv::ReadFile(dir.File("trace")));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"->", "I\\r\\n"},    {"<-", "OK,QLX-11D\\r\\n"},
        {"->", "V\\r\\n"},    {"<-", "OK,1.03\\r\\n"},
        {"->", "AG A\\r\\n"}, {"<-", "OK,1,2,0,21,0,2\\r\\n"},
        {"->", "AG B\\r\\n"}, {"<-", "OK,0,0,0,33,0,0\\r\\n"},
    };
    ASSERT_EQ(trace.size(), expected.size());
    std::vector<TraceLine> log;
    for (const TraceLine& line : TraceLines(testenv::ReadFile(unit.LogPath()))) {
        if (line.direction != "--") log.push_back(line);
    }
    ASSERT_EQ(log.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(trace[i].port, "COM65");
        EXPECT_EQ(log[i].port, "COM65");
        EXPECT_EQ(trace[i].direction, expected[i].first);
        EXPECT_EQ(trace[i].bytes, expected[i].second);
        EXPECT_EQ(log[i].direction, expected[i].first == "->" ? "<-" : "->");
        EXPECT_EQ(log[i].bytes, trace[i].bytes);
        // Sent before received, whichever side sent it.
        const bool toolSent = expected[i].first == "->";
        EXPECT_LE(toolSent ? trace[i].ms : log[i].ms, toolSent ? log[i].ms : trace[i].ms);
        if (i > 0) {
            EXPECT_GE(trace[i].ms, trace[i - 1].ms);
        }
    }
    // On the wall clock: the date and time with the zone.
    EXPECT_EQ(Cli({"read", "65", "--trace", dir.File("wall"), "--trace-time", "wall"}).status,
              cli::kExitSuccess);
    const std::string wall = testenv::ReadFile(dir.File("wall"));
    EXPECT_TRUE(std::regex_search(
        wall, std::regex(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d COM65 -> I\\r\\n\n)")))
        << wall;
    // A further command appends to the trace.
    EXPECT_EQ(Cli({"normal", "65", "--trace", dir.File("trace")}).status, cli::kExitSuccess);
    const std::vector<TraceLine> appended = TraceLines(testenv::ReadFile(dir.File("trace")));
    ASSERT_EQ(appended.size(), expected.size() + 2);
    EXPECT_EQ(appended[8].bytes, "E\\r\\n");
    EXPECT_EQ(appended[9].bytes, "OK\\r\\n");
}

// To standard error, for several ports at once: each line whole, each port's exchange in order, and
// a unit that stays silent remarked on.
TEST(CliBatchTest, TraceOfABatchKeepsEachPortsLinesWhole) {
    const auto units = Units(3, 1);
    const CliRun run = Cli({"read", "61", "62", "63", "--trace", "-", "--json"});
    EXPECT_EQ(run.status, cli::kExitUnitFailed);
    std::map<std::string, std::vector<std::string>> byPort;
    for (const TraceLine& line : TraceLines(run.err))
        byPort[line.port].push_back(line.direction + " " + line.bytes);
    ASSERT_EQ(byPort.size(), 3u) << run.err;
    EXPECT_EQ(byPort["COM61"].size(), 8u);
    EXPECT_EQ(byPort["COM63"].size(), 8u);
    EXPECT_EQ(byPort["COM62"], (std::vector<std::string>{"-> I\\r\\n", "-- no line feed within 200 ms"}));
    EXPECT_EQ(clitest::JsonLines(run.out).size(), 3u);
}

}  // namespace

// watch, the program itself in the background, its output in files.
class WatchRun {
public:
    WatchRun(const testenv::TempDir& dir, const std::string& options)
        : m_out(dir.File("watch.out")),
          m_program({"/bin/sh", "-c",
                     "exec " + std::string(QLXDUO_CLI_PATH) + " watch " + options + " >" + m_out + " 2>" +
                         dir.File("watch.err")}),
          m_err(dir.File("watch.err")) {}
    // Waits for text in standard output (or error); what it holds then.
    std::string Out(const std::string& text) const { return WaitFor(m_out, text); }
    std::string Err(const std::string& text) const { return WaitFor(m_err, text); }
    testenv::ChildProgram& Program() { return m_program; }

private:
    static std::string WaitFor(const std::string& path, const std::string& text) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(testenv::kHangGuardMs);
        std::string held;
        while ((held = testenv::ReadFile(path)).find(text) == std::string::npos &&
               std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return held;
    }

    std::string m_out;
    testenv::ChildProgram m_program;
    std::string m_err;
};

bool UnitReceived(const testenv::SimProcess& unit, const std::string& text) {
    return Eventually([&] { return unit.ReceivedBytes().find(text) != std::string::npos; });
}

// Units plugged in one after another while watch runs: each configured once, its line shown and
// its record kept in both files; a unit present before is left alone, one that stays plugged in is
// not taken twice, one unplugged mid-write fails as gone, and plugged in again is a new unit.
TEST(CliBatchTest, WatchConfiguresEachUnitPluggedInAndRecordsIt) {
    testenv::TempDir dir;
    const std::string file = clitest::FileWith(dir, "config.json", kConfig);
    testenv::SimProcess before({"--com", "60"});
    WatchRun watch(dir, "--from " + file + " --log " + dir.File("log") + " --csv " + dir.File("log.csv"));
    ASSERT_NE(watch.Err("waiting for units").find("(left alone, present already: COM60)"), std::string::npos);

    struct Unit {
        std::vector<std::string> options;
        bool unplugMidWrite;
        std::string line;  // the line's start, and after the time, its end
        std::string lineEnd;
        std::string reason;
    };
    const Unit units[] = {
        {{"--com", "61"}, false, "PASS COM61 QLX-11D /dev/pts/", " s\n", ""},
        {{"--com", "62", "--reject", "W"},
         false,
         "FAIL COM62 QLX-11D /dev/pts/",
         " s: store rejected at \"W\"\n",
         "store rejected at \"W\""},
        // Its reply to "AS A" never comes: it is unplugged while watch waits for it.
        {{"--com", "63", "--hold", "AS A"},
         true,
         "FAIL COM63 QLX-11D /dev/pts/",
         " s: device gone\n",
         "device gone"},
    };
    std::vector<std::unique_ptr<testenv::SimProcess>> plugged;
    for (size_t i = 0; i < std::size(units); ++i) {
        SCOPED_TRACE(i);
        plugged.push_back(std::make_unique<testenv::SimProcess>(units[i].options));
        if (units[i].unplugMidWrite) {
            ASSERT_TRUE(UnitReceived(*plugged.back(), "AS A"));
            plugged.back()->Signal(SIGKILL);
        }
        const std::string out = watch.Out(units[i].lineEnd);
        const std::string last = out.substr(out.rfind('\n', out.size() - 2) + 1);
        EXPECT_TRUE(last.starts_with(units[i].line) && last.ends_with(units[i].lineEnd)) << out;
    }
    EXPECT_EQ(before.ReceivedBytes(), "");
    EXPECT_EQ(plugged[0]->ReceivedBytes(), kWriteCommands) << "the unit still plugged in is not taken again";

    const auto records = clitest::JsonLines(testenv::ReadFile(dir.File("log")));
    ASSERT_EQ(records.size(), 3u);
    const std::regex time(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)");
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const nlohmann::json& r = records[i];
        EXPECT_TRUE(std::regex_match(r["time"].get<std::string>(), time)) << r["time"];
        EXPECT_EQ(r["port"], 61 + static_cast<int>(i));
        EXPECT_EQ(r["device"], plugged[i]->DevicePath());
        EXPECT_EQ(r["identity"], "QLX-11D");
        EXPECT_EQ(r["firmware"], "1.03");
        EXPECT_EQ(r["before"]["A"]["baudCode"], 21);
        EXPECT_EQ(r["written"]["A"]["baudCode"], 13);
        EXPECT_EQ(r["written"]["B"]["baudCode"], 33) << "port B as the unit had it";
        EXPECT_EQ(r["readBack"].is_null(), i != 0);
        EXPECT_EQ(r["result"], i == 0 ? "pass" : "fail");
        EXPECT_EQ(r["reason"], units[i].reason);
        EXPECT_TRUE(r["host"].is_string() && r["seconds"].is_number() && r["adapter"].is_object()) << r;
    }
    EXPECT_EQ(records[0]["readBack"]["A"]["baudCode"], 13);
    const std::string csv = testenv::ReadFile(dir.File("log.csv"));
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4) << csv;
    EXPECT_TRUE(csv.starts_with("time,host,port,device,")) << csv;
    EXPECT_NE(csv.find(",COM62,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",fail,\"store rejected at \"\"W\"\"\","), std::string::npos) << csv;

    // The first unit unplugged and, once the watch has read the list without it, plugged in again:
    // a new unit. The watch has read that list for certain once it took a unit plugged in after
    // the first was gone.
    const auto recorded = [&](long count) {
        return Eventually([&] {
            const std::string log = testenv::ReadFile(dir.File("log"));
            return std::count(log.begin(), log.end(), '\n') == count;
        });
    };
    plugged[0].reset();
    testenv::SimProcess between({"--com", "65"});
    EXPECT_TRUE(recorded(4));
    plugged[0] = std::make_unique<testenv::SimProcess>(units[0].options);
    EXPECT_TRUE(recorded(5));
    EXPECT_EQ(clitest::JsonLines(testenv::ReadFile(dir.File("log")))[3]["port"], 65);
    EXPECT_EQ(clitest::JsonLines(testenv::ReadFile(dir.File("log")))[4]["port"], 61);
    EXPECT_TRUE(UnitReceived(*plugged[0], kWriteCommands));

    watch.Program().Signal(SIGINT);
    ASSERT_TRUE(watch.Program().WaitExit(testenv::kHangGuardMs));
    EXPECT_TRUE(WIFEXITED(watch.Program().ExitStatus()));
    EXPECT_EQ(WEXITSTATUS(watch.Program().ExitStatus()), cli::kExitUnitFailed);
    EXPECT_TRUE(watch.Out("").ends_with("3 passed, 2 failed\n")) << watch.Out("");
}

// Ctrl+C while a unit is under way: it is finished, the count printed, its port and lock file
// released, and the exit status is the units'.
TEST(CliBatchTest, WatchEndsAtCtrlCOnceTheUnitUnderWayIsDone) {
    testenv::TempDir dir;
    const std::string file = clitest::FileWith(dir, "config.json", kConfig);
    WatchRun watch(dir, "--from " + file + " --normal");
    watch.Err("waiting for units");
    testenv::SimProcess unit({"--com", "64", "--reply-delay", "100"});
    ASSERT_TRUE(UnitReceived(unit, "I\r\n"));
    watch.Program().Signal(SIGINT);
    ASSERT_TRUE(watch.Program().WaitExit(testenv::kHangGuardMs));
    EXPECT_TRUE(WIFEXITED(watch.Program().ExitStatus())) << "ended by itself, not by the signal";
    EXPECT_EQ(WEXITSTATUS(watch.Program().ExitStatus()), cli::kExitSuccess);
    const std::string out = watch.Out("");
    EXPECT_TRUE(out.starts_with("PASS COM64 QLX-11D ")) << out;
    EXPECT_TRUE(out.ends_with(" s\n1 passed, 0 failed\n")) << out;
    EXPECT_EQ(unit.ReceivedBytes(), std::string(kWriteCommands) + "E\r\n");
    const std::string pts = "/dev/pts/";
    EXPECT_FALSE(std::filesystem::exists("/run/lock/LCK..pts_" + unit.DevicePath().substr(pts.size())));
}
