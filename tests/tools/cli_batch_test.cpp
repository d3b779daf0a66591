// SPDX-License-Identifier: MIT
// Many units at once, the progress line, the trace of the line, and units plugged in one after
// another while watch runs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "clirun.h"
#include "link/serialport.h"
#include "ports/portlist.h"
#include "testenv.h"
#include "tools/batch.h"

namespace {

using clitest::Cli;
using clitest::CliRun;
using clitest::UnitReceived;
using clitest::WatchRun;

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

// Every port given gets its line, in the order given, on standard output and error alike as one
// pipe carries them (each port's lines go out before the next port's), whatever happens to the
// units: one silent, or the run stopped by Ctrl+C while units are under way. No unit is left with
// "AS" without "W": one whose write had begun is written, stored and read back; one that had not
// sent "AS A" is not written.
TEST(CliBatchTest, EveryPortGivenGetsItsLineInOrder) {
    struct Case {
        const char* title;
        std::string command;                          // before the ports
        std::vector<std::vector<std::string>> units;  // from COM61 on, each unit's options
        int interruptAtAsAOf;                         // Ctrl+C once this unit received "AS A"; -1: none
    };
    const std::vector<std::string> silent = {"--silent"}, slow = {"--reply-delay", "150"};
    const std::vector<Case> cases = {
        {"read, one unit silent", "read", {{}, {}, silent, {}}, -1},
        {"write, one unit silent", "write --a 0,0,0,13,0,0", {{}, {}, silent, {}}, -1},
        {"write, Ctrl+C under way",
         "write --a 0,0,0,13,0,0",
         {{}, {"--reply-delay", "40"}, slow, slow, silent},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        std::vector<std::unique_ptr<testenv::SimProcess>> units;
        std::string ports;
        for (size_t i = 0; i < c.units.size(); ++i) {
            std::vector<std::string> options = c.units[i];
            options.insert(options.begin(), {"--com", std::to_string(61 + i)});
            units.push_back(std::make_unique<testenv::SimProcess>(options));
            ports += " " + std::to_string(61 + i);
        }
        std::promise<pid_t> started;
        std::thread interrupter([&] {
            const pid_t pid = started.get_future().get();
            if (c.interruptAtAsAOf >= 0 && UnitReceived(*units[c.interruptAtAsAOf], "AS A"))
                kill(pid, SIGINT);
        });
        const CliRun run = testenv::RunToEnd(
            {"/bin/sh", "-c", "exec " + std::string(QLXDUO_CLI_PATH) + " " + c.command + ports + " 2>&1"},
            120000, [&](pid_t pid) { started.set_value(pid); });
        interrupter.join();
        EXPECT_EQ(run.status, cli::kExitUnitFailed) << run.out;
        std::vector<std::string> lines;
        std::istringstream in(run.out);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        const bool interrupted = c.interruptAtAsAOf >= 0;
        ASSERT_EQ(lines.size(), units.size() + (interrupted ? 1 : 0)) << run.out;
        for (size_t i = 0; i < units.size(); ++i) {
            const bool answers = c.units[i] != silent;
            EXPECT_TRUE(
                lines[i].starts_with("COM" + std::to_string(61 + i) + (answers ? " QLX-11D: " : ": ")))
                << run.out;
            if (!interrupted || !answers) continue;
            const std::string received = units[i]->ReceivedBytes();
            const bool begun = received.find("AS") != std::string::npos;
            EXPECT_EQ(begun, received.ends_with("AS B 0,0,0,33,0,0\r\nW 4172093615\r\nAG A\r\nAG B\r\n"))
                << received;
            EXPECT_EQ(begun, lines[i].ends_with("parameters written (パラメータ書き込み成功)")) << lines[i];
            EXPECT_EQ(!begun, lines[i].find(": not written: the run was stopped before \"AS A\"") !=
                                  std::string::npos)
                << lines[i];
        }
        if (interrupted) {
            EXPECT_TRUE(lines.back().starts_with("qlxduo-cli: stopped by a signal: ")) << run.out;
        }
    }
    // Where the stop comes is the units' pace; in-process it comes where it must: before "AS A" the
    // unit is read and left alone, and a port not opened yet is not started.
    const auto units = Units(2);
    cli::CStopRequest stop;
    stop.Ask();
    const cli::PortOutcome unwritten =
        cli::WriteUnit({61, ""}, {{unit::PortParameters{0, 0, 0, 13, 0, 0}, "--a "}, {}}, nullptr, stop);
    EXPECT_EQ(unwritten.error, "interrupted");
    EXPECT_EQ(unwritten.message,
              "not written: the run was stopped before \"AS A\"; the unit keeps the codes it had");
    EXPECT_EQ(units[0]->ReceivedBytes(), kReadCommands);
    std::vector<cli::PortOutcome> reported;
    cli::RunOnEveryPort(
        {{62, ""}},
        [](const cli::PortSpec& port, CLineObserver* observer, const cli::CStopRequest&) {
            return cli::ReadUnit(port, observer);
        },
        nullptr, nullptr, stop, [&](const cli::PortOutcome& outcome) { reported.push_back(outcome); });
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].error, "interrupted");
    EXPECT_EQ(units[1]->ReceivedBytes(), "");
}

// A port that takes long holds back only the lines after its own: a port's outcome is reported
// while a port given after it is still under way (here, that port's job waits for it).
TEST(CliBatchTest, EachPortIsReportedOnceItAndThoseBeforeItAreDone) {
    const auto units = Units(3);
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> reported;
    const cli::PortJob job = [&](const cli::PortSpec& port, CLineObserver* observer,
                                 const cli::CStopRequest&) {
        if (port.number == 62) {
            std::unique_lock hold(mutex);
            // A hang guard: a runner that reports only at the end never lets it go on.
            if (!changed.wait_for(hold, std::chrono::minutes(1), [&] { return !reported.empty(); })) {
                cli::PortOutcome held;
                held.port = port;
                held.error = "held back";
                return held;
            }
        }
        return cli::ReadUnit(port, observer);
    };
    cli::CStopRequest stop;
    cli::RunOnEveryPort({{61, ""}, {62, ""}, {63, ""}}, job, nullptr, nullptr, stop,
                        [&](const cli::PortOutcome& o) {
                            std::lock_guard hold(mutex);
                            reported.push_back(o.port.Name() + (o.error.empty() ? "" : " " + o.error));
                            changed.notify_all();
                        });
    EXPECT_EQ(reported, (std::vector<std::string>{"COM61", "COM62", "COM63"}));
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
    EXPECT_TRUE(testenv::WaitUntil([&] { return tool != 0 && testenv::ThreadsSleepingInPoll(tool) >= 8; }));
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
    EXPECT_NE(terminal.Receive(testenv::kHangGuardMs, "3/3 done").find("3/3 done"), std::string::npos);
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
        return testenv::WaitUntil([&] {
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

// A record that a file cannot keep whole, the file size limit of the running watch falling within
// the first unit's record or the second's: no file is left with part of a record, or with a record
// that the other file lacks; every PASS shown has its records; the unit whose record was lost
// fails, saying so; and watch ends with 4. The files hold records of an earlier run, the last one
// without its line end, which a new record must not be glued to.
TEST(CliBatchTest, RecordsAreKeptWholeOrNotAtAll) {
    struct Case {
        const char* title;
        bool log;
        bool csv;
        bool second;  // the limit falls within the second unit's record, not the first's
    };
    const std::string oldJson = R"({"time":"2026-12-09T13:05:42.317+01:00","result":"pass"})";
    const std::string oldCsv = "2026-12-09T13:05:42.317+01:00,line3,COM9" + std::string(17, ',');
    for (const Case& c :
         {Case{"log, first record", true, false, false}, Case{"log, second record", true, false, true},
          Case{"csv, first record", false, true, false}, Case{"csv, second record", false, true, true},
          Case{"both, first record", true, true, false}, Case{"both, second record", true, true, true}}) {
        SCOPED_TRACE(c.title);
        testenv::TempDir dir;
        const std::string log = dir.File("line.jsonl"), csv = dir.File("line.csv");
        std::string options = "--a 0,0,0,13,0,0";
        // With both, the CSV file is the larger: the limit falls in its record, after the log kept its own.
        if (c.log) {
            std::string text;
            for (int i = 0; i < 20; ++i) text += oldJson + (i < 19 ? "\n" : "");
            testenv::WriteFile(log, text);
            options += " --log " + log;
        }
        if (c.csv) {
            std::string text;
            for (int i = 0; i < 100; ++i) text += oldCsv + (i < 99 ? "\r\n" : "");
            testenv::WriteFile(csv, text);
            options += " --csv " + csv;
        }
        const std::string failing = c.csv ? csv : log;
        WatchRun watch(dir, options);
        watch.Err("waiting for units");
        auto limitWithinNextRecord = [&] {
            const auto size = static_cast<rlim_t>(std::filesystem::file_size(failing));
            const rlimit limit{size + 100, size + 100};
            ASSERT_EQ(prlimit(watch.Program().Pid(), RLIMIT_FSIZE, &limit, nullptr), 0);
        };
        std::vector<std::unique_ptr<testenv::SimProcess>> units;
        for (const int port : c.second ? std::vector{61, 62} : std::vector{61}) {
            if (port == (c.second ? 62 : 61)) limitWithinNextRecord();
            units.push_back(std::make_unique<testenv::SimProcess>(
                std::vector<std::string>{"--com", std::to_string(port)}));
            watch.Out(" COM" + std::to_string(port) + " ");
        }
        ASSERT_TRUE(watch.Program().WaitExit(testenv::kHangGuardMs))
            << "ends by itself once a record is lost";
        EXPECT_EQ(WEXITSTATUS(watch.Program().ExitStatus()), cli::kExitOutputFailed);

        const std::string out = watch.Out("");
        const std::string lost = c.second ? "COM62" : "COM61";
        EXPECT_NE(out.find("FAIL " + lost + " QLX-11D "), std::string::npos) << out;
        EXPECT_NE(out.find(" s: record not kept: " + std::string(c.csv ? "--csv " : "--log ") + failing +
                           ": File too large\n"),
                  std::string::npos)
            << out;
        EXPECT_EQ(out.find("PASS COM61 ") != std::string::npos, c.second) << out;
        const size_t kept = c.second ? 1 : 0;
        if (c.log) {
            const auto records = clitest::JsonLines(testenv::ReadFile(log));
            ASSERT_EQ(records.size(), 20 + kept);
            if (c.second) {
                EXPECT_EQ(records.back()["port"], 61);
            }
        }
        if (c.csv) {
            std::istringstream lines(testenv::ReadFile(csv));
            std::vector<std::vector<std::string>> records;
            for (std::string line; std::getline(lines, line);) records.push_back(clitest::CsvFields(line));
            ASSERT_EQ(records.size(), 100 + kept);
            for (const auto& fields : records) EXPECT_EQ(fields.size(), 20u);
            if (c.second) {
                EXPECT_EQ(records.back()[2], "COM61");
            }
        }
    }
}

// Ctrl+C typed on the terminal that the tool writes to: the terminal shows ^C where the next line
// would begin, so what follows goes on from a line of its own: watch's count, a unit's line that
// watch had under way, or a batch's lines and its count.
TEST(CliBatchTest, WhatFollowsCtrlCBeginsALineOfItsOwn) {
    testenv::SimProcess first({"--com", "61", "--reply-delay", "150"});
    testenv::SimProcess second({"--com", "62", "--reply-delay", "150"});
    // The test's own descriptors of the units' device sides, their output stopped while a row's tool
    // starts (see ThreadsSleepingInPoll): the units are under way, and none can end before the tool
    // has answered the ^C and the output runs again.
    std::vector<int> stalled;
    pid_t toolPid = -1;
    auto waitingLine = [](const testenv::PtyPair& terminal, std::string& screen) {
        // It ends with the ports left alone, if any.
        screen = terminal.Receive(testenv::kHangGuardMs, "Ctrl+C ends");
        if (screen.find("\n", screen.find("Ctrl+C ends")) == std::string::npos)
            screen += terminal.Receive(testenv::kHangGuardMs, "\n");
        ASSERT_TRUE(screen.ends_with("\r\n")) << screen;
    };
    struct Case {
        const char* title;
        std::vector<std::string> args;
        bool stallUnits;
        std::function<void(const testenv::PtyPair&, std::string&)> ready;     // waits until ^C may be typed
        std::optional<int> status;                                            // none: either way
        std::string end;                                                      // how the screen ends
        std::function<void(const testenv::PtyPair&, std::string&)> answered;  // after the ^C; may be none
    };
    const std::vector<Case> cases = {
        {"watch",
         {"watch", "--a", "1,2,0,21,0,2"},
         false,
         waitingLine,
         cli::kExitSuccess,
         "\r\n^C\r\n0 passed, 0 failed\r\n",
         nullptr},
        {"a batch",
         {"write", "61", "62", "--a", "0,0,0,13,0,0"},
         false,
         [&](const testenv::PtyPair&, std::string&) { ASSERT_TRUE(UnitReceived(first, "I\r\n")); },
         cli::kExitUnitFailed,
         " left unchanged\r\n",
         nullptr},
        {"watch with units under way",
         {"watch", "--present", "--a", "1,2,0,21,0,2"},
         true,
         [&](const testenv::PtyPair& terminal, std::string& screen) {
             waitingLine(terminal, screen);
             // Both units' first writes stalled, and the watch's own wait.
             ASSERT_TRUE(testenv::WaitUntil([&] { return testenv::ThreadsSleepingInPoll(toolPid) >= 3; }));
         },
         std::nullopt,
         " failed\r\n",
         [&](const testenv::PtyPair& terminal, std::string& screen) {
             screen += terminal.Receive(testenv::kHangGuardMs, "\r\n");
             for (const int line : std::exchange(stalled, {})) {
                 tcflow(line, TCOON);
                 close(line);
             }
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        for (const testenv::SimProcess* unit : {&first, &second}) {
            if (!c.stallUnits) break;
            stalled.push_back(open(unit->DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
            ASSERT_EQ(tcflow(stalled.back(), TCOOFF), 0);
        }
        testenv::PtyPair terminal;
        testenv::ChildProcess tool([&] {
            // A session of its own with the terminal as its controlling one, in the foreground,
            // which echoes ^C and turns it into SIGINT as a shell's terminal does.
            setsid();
            const int device = open(terminal.DevicePath().c_str(), O_RDWR);
            termios mode{};
            tcgetattr(device, &mode);
            mode.c_lflag |= ISIG | ICANON | ECHO | ECHOCTL;
            mode.c_oflag |= OPOST | ONLCR;
            tcsetattr(device, TCSANOW, &mode);
            for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) dup2(device, stream);
            std::vector<char*> argv = {const_cast<char*>(QLXDUO_CLI_PATH)};
            for (const std::string& arg : c.args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(QLXDUO_CLI_PATH, argv.data());
            return 127;
        });
        toolPid = tool.Pid();
        std::string screen;
        c.ready(terminal, screen);
        terminal.Send("\x03");
        if (c.answered) c.answered(terminal, screen);
        screen += terminal.Receive(testenv::kHangGuardMs, c.end);
        const int status = tool.Wait();
        if (c.status) {
            EXPECT_EQ(status, *c.status);
        }
        EXPECT_TRUE(screen.ends_with(c.end)) << screen;
        // After the ^C only blanks and carriage returns before the line end: at most a progress line
        // drawn over it (a port that finished as the ^C came) and wiped.
        const size_t shown = screen.find("^C");
        ASSERT_NE(shown, std::string::npos) << screen;
        const std::string after =
            std::regex_replace(screen.substr(shown + 2), std::regex("^\r[0-9]+/[0-9]+ done"), "");
        const size_t next = after.find_first_not_of("\r ");
        EXPECT_EQ(next != std::string::npos ? after[next] : ' ', '\n') << screen;
    }
}
