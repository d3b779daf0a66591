// SPDX-License-Identifier: MIT
// The simulated unit as a process on its pseudo-terminal, driven the way clients drive it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

#include "link/protocol.h"
#include "link/serialport.h"
#include "ports/comportmap.h"
#include "testenv.h"

namespace {

// Waits for what must come are hang guards; a wait that shows that nothing comes is short, and on
// a busy machine can only let a fault through, never fail a good unit.
constexpr int kAnswerWaitMs = testenv::kHangGuardMs;
constexpr int kSilenceWaitMs = 300;
constexpr int kExitWaitMs = testenv::kHangGuardMs;

// A plain raw client on the unit's device side: sends bytes, reads reply lines.
class RawClient {
public:
    explicit RawClient(const std::string& path) : m_fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        termios line{};
        tcgetattr(m_fd, &line);
        cfmakeraw(&line);
        tcsetattr(m_fd, TCSANOW, &line);
    }
    ~RawClient() { close(m_fd); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    void Send(const std::string& bytes) const {
        ASSERT_EQ(write(m_fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // Everything received until `lines` line feeds have arrived, or until the time runs out.
    std::string ReceiveLines(size_t lines, int timeoutMs) const {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::count(got.begin(), got.end(), '\n') < static_cast<long>(lines) &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            char buffer[4096];
            const ssize_t n = read(m_fd, buffer, sizeof buffer);
            if (n > 0) got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }
    // Everything received until a line feed, or until the time runs out.
    std::string Receive(int timeoutMs) const { return ReceiveLines(1, timeoutMs); }
    // Sends as much of the bytes as the unit takes within the time, never reading.
    void Offer(const std::string& bytes, int timeoutMs) const {
        size_t done = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (done < bytes.size() && std::chrono::steady_clock::now() < deadline) {
            const ssize_t n = write(m_fd, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            pollfd p{m_fd, POLLOUT, 0};
            poll(&p, 1, 20);
        }
    }
    std::string Ask(const std::string& line) const {
        Send(line);
        return Receive(kAnswerWaitMs);
    }

private:
    int m_fd;
};

size_t Count(const std::string& text, const std::string& needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
    return count;
}

TEST(SimProcessTest, AnswersOverThePseudoTerminalAndRecordsTheWire) {
    testenv::SimProcess unit({"--identity", "QLX-11Z9"});
    RawClient client(unit.DevicePath());
    const std::vector<std::pair<std::string, std::string>> steps = {
        {"I\r\n", "OK,QLX-11Z9\r\n"},
        {"V\r\n", "OK,1.03\r\n"},
        {"AG A\r\n", "OK,1,2,0,21,0,2\r\n"},
        {"AG B\r\n", "OK,0,0,0,33,0,0\r\n"},
        {"AS A 0,1,1,44,1,1\r\n", "OK\r\n"},
        {"AS B 0,1,1,99,1,1\r\n", "NG\r\n"},
        {"A\rG A\n", "OK,0,1,1,44,1,1\r\n"},
        {"W 4172093615\r\n", "OK\r\n"},
        {"W 1\r\n", "NG\r\n"},
        {"HELLO\r\n", "NG\r\n"},
    };
    std::string sent;
    for (const auto& [line, reply] : steps) {
        EXPECT_EQ(client.Ask(line), reply) << line;
        sent += line;
    }
    EXPECT_EQ(unit.ReceivedBytes(), sent);
    // The log is the trace of the line in qlxduo-cli's format, the unit's terminal as its port.
    std::istringstream log(testenv::ReadFile(unit.LogPath()));
    std::vector<std::string> exchanges;
    const std::regex format(R"(^\d+\.\d{3} (\S+) (->|<-|--) (.*)$)");
    double last = 0;
    for (std::string line; std::getline(log, line);) {
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(line, parts, format)) << line;
        EXPECT_EQ(parts[1], unit.DevicePath()) << line;
        EXPECT_GE(std::stod(line), last) << line;
        last = std::stod(line);
        if (parts[2] != "--") exchanges.push_back(parts[2].str() + " " + parts[3].str());
    }
    ASSERT_EQ(exchanges.size(), 2 * steps.size());
    EXPECT_EQ(exchanges[0], "<- I\\r\\n");
    EXPECT_EQ(exchanges[1], "-> OK,QLX-11Z9\\r\\n");
    EXPECT_EQ(exchanges[12], "<- A\\rG A\\n");
}

TEST(SimProcessTest, LogNamesTheComNumberItIsRegisteredAs) {
    testenv::SimProcess unit({"--com", "35"});
    RawClient client(unit.DevicePath());
    EXPECT_EQ(client.Ask("V\r\n"), "OK,1.03\r\n");
    const std::string log = testenv::ReadFile(unit.LogPath());
    EXPECT_NE(log.find(" COM35 <- V\\r\\n\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" COM35 -> OK,1.03\\r\\n\n"), std::string::npos) << log;
}

TEST(SimProcessTest, LinesSplitAcrossReadsAreAssembled) {
    testenv::SimProcess unit({});
    RawClient client(unit.DevicePath());
    // Each piece sent once the unit has read the one before (its wire file grows by each read).
    std::string sent;
    for (const char* piece : {"A", "G", " B", "\r"}) {
        client.Send(piece);
        sent += piece;
        testenv::WaitUntil([&] { return unit.ReceivedBytes() == sent; }, kAnswerWaitMs);
        ASSERT_EQ(unit.ReceivedBytes(), sent);
    }
    client.Send("\n");
    EXPECT_EQ(client.Receive(kAnswerWaitMs), "OK,0,0,0,33,0,0\r\n");
}

TEST(SimProcessTest, QuietUnitsAnswerNothing) {
    struct Case {
        std::vector<std::string> options;
        std::string line;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {{"--silent"}, "I\r\n", ""},
        {{"--reject", "AG"}, "AG A\r\n", "NG\r\n"},
        {{"--reject", "AG"}, "V\r\n", "OK,1.03\r\n"},
    };
    for (const Case& c : cases) {
        testenv::SimProcess unit(c.options);
        RawClient client(unit.DevicePath());
        client.Send(c.line);
        EXPECT_EQ(client.Receive(c.reply.empty() ? kSilenceWaitMs : kAnswerWaitMs), c.reply) << c.line;
    }
}

TEST(SimProcessTest, NormalModeUntilTheModeSwitch) {
    testenv::SimProcess unit({});
    RawClient client(unit.DevicePath());
    EXPECT_EQ(client.Ask("E\r\n"), "OK\r\n");
    client.Send("I\r\n");
    EXPECT_EQ(client.Receive(kSilenceWaitMs), "");
    // The switch is taken asynchronously: once the log says so, the unit answers again.
    ASSERT_TRUE(unit.ReturnToSettingMode(kAnswerWaitMs));
    EXPECT_EQ(client.Ask("V\r\n"), "OK,1.03\r\n");
}

// --hold keeps a reply back, and those after it, until the test releases them with SIGUSR2: a
// step that must come while the client waits for a reply is made certain, not timed.
TEST(SimProcessTest, HeldRepliesWaitForTheRelease) {
    testenv::SimProcess unit({"--hold", "AS"});
    RawClient client(unit.DevicePath());
    EXPECT_EQ(client.Ask("V\r\n"), "OK,1.03\r\n");
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        client.Send("AS A 0,1,1,44,1,1\r\n");
        client.Send("AG A\r\n");
        EXPECT_EQ(client.Receive(kSilenceWaitMs), "");
        unit.Signal(SIGUSR2);
        EXPECT_EQ(client.ReceiveLines(2, kAnswerWaitMs), "OK\r\nOK,0,1,1,44,1,1\r\n");
        EXPECT_EQ(client.Ask("I\r\n"), "OK,QLX-11D\r\n");
    }
    const std::string log = testenv::ReadFile(unit.LogPath());
    EXPECT_EQ(Count(log, " -- holding the replies from here until SIGUSR2\n"), 2u) << log;
    EXPECT_EQ(Count(log, " -- held replies released\n"), 2u) << log;
}

TEST(SimProcessTest, UnitSurvivesTheClientReopeningThePort) {
    testenv::SimProcess unit({"--com", "31"});
    for (int round = 0; round < 3; ++round) {
        CSerialPort port;
        ASSERT_EQ(port.Open(31, 115200, 8, 0, 0), 1) << round;
        char data[unit::kReplyDataSize] = {};
        EXPECT_EQ(CommandExchange(port, unit::kVersionCommand, data), 1) << round;
        EXPECT_STREQ(data, "1.03");
    }
}

TEST(SimProcessTest, ReplyDelayDecidesWhetherTheExchangeMeetsItsDeadline) {
    const std::vector<std::pair<std::string, int>> cases = {{"50", 1}, {"450", 0}};
    for (const auto& [delay, expected] : cases) {
        testenv::SimProcess unit({"--com", "32", "--reply-delay", delay});
        CSerialPort port;
        ASSERT_EQ(port.Open(32, 115200, 8, 0, 0), 1);
        char data[unit::kReplyDataSize] = {};
        EXPECT_EQ(CommandExchange(port, unit::kIdentifyCommand, data), expected) << delay;
    }
}

TEST(SimProcessTest, StoredCodesKeptAcrossRuns) {
    testenv::TempDir dir;
    const std::string state = dir.File("unit.state");
    {
        testenv::SimProcess unit({"--state", state});
        RawClient client(unit.DevicePath());
        EXPECT_EQ(client.Ask("AS B 2,0,1,13,1,1\r\n"), "OK\r\n");
        EXPECT_EQ(client.Ask("W 4172093615\r\n"), "OK\r\n");
    }
    testenv::SimProcess unit({"--state", state});
    RawClient client(unit.DevicePath());
    EXPECT_EQ(client.Ask("AG B\r\n"), "OK,2,0,1,13,1,1\r\n");
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

TEST(SimProcessTest, ComLinkLivesAsLongAsTheUnit) {
    const platform::ComPortMap map = platform::ComPortMap::ForCurrentUser();
    const std::string link = map.Roots().mapFolder + "/com33";
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE, SIGPROF, SIGALRM}) {
        SCOPED_TRACE(strsignal(signal));
        testenv::SimProcess unit({"--com", "33"});
        EXPECT_EQ(map.DevicePath(33), unit.DevicePath());
        EXPECT_TRUE(Exists(link + ".owner"));
        unit.Signal(signal);
        const auto status = unit.WaitExit(kExitWaitMs);
        ASSERT_TRUE(status);
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
        EXPECT_EQ(map.DevicePath(33), "");
        EXPECT_FALSE(Exists(link));
        EXPECT_FALSE(Exists(link + ".owner"));
    }
}

// The log and the wire file are opened without waiting: a FIFO, which would hold the unit in the
// open until a reader came (its stop signals already taken, so that only SIGKILL ended it), is
// refused at once and makes no link; the null device, the standard error and a terminal are taken.
TEST(SimProcessTest, OutputFilesAreOpenedWithoutWaiting) {
    const platform::ComPortMap map = platform::ComPortMap::ForCurrentUser();
    testenv::TempDir dir;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const testenv::PtyPair terminal;
    struct Case {
        std::string option;
        std::string path;
        bool taken;
    };
    const std::vector<Case> cases = {
        {"--log", fifo, false},
        {"--wire", fifo, false},
        {"--log", "/dev/null", true},
        {"--log", "/dev/stderr", true},
        {"--wire", terminal.DevicePath(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option + " " + c.path);
        if (c.taken) {
            testenv::SimProcess unit({c.option, c.path});
            EXPECT_EQ(RawClient(unit.DevicePath()).Ask("V\r\n"), "OK,1.03\r\n");
            continue;
        }
        const auto run =
            testenv::RunToEnd({testenv::SimExecutable(), "--com", "36", c.option, c.path}, kExitWaitMs);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.option + " " + c.path + ": a FIFO; "), std::string::npos) << run.err;
        EXPECT_FALSE(Exists(map.Roots().mapFolder + "/com36"));
    }
}

// --com N takes the number only where no link stands but that of a unit that has ended, and at its
// end removes the link only while it is still its own: a mapping made by hand or by another
// program is neither replaced nor lost.
TEST(SimProcessTest, ComNumberTakenOnlyWhereNoOtherLinkStands) {
    constexpr int kCom = 37;
    const platform::ComPortMap map = platform::ComPortMap::ForCurrentUser();
    const std::string link = map.Roots().mapFolder + "/com37";
    testenv::TempDir dir;
    const std::string device = dir.File("device");
    testenv::WriteFile(device, "");
    const testenv::PtyPair other;
    const auto ownedByEndedProgram = [&] {
        testenv::ChildProcess program([&] { return map.RegisterOwned(kCom, other.DevicePath()) ? 0 : 1; });
        return program.Wait() == 0;
    };
    struct Case {
        std::string title;
        std::function<bool()> before;  // what stands at com37 when the unit starts
        bool started;
        std::function<bool(const std::string& unit)> during;  // done to com37 while the unit runs
    };
    const std::vector<Case> cases = {
        {"a link made by hand", [&] { return map.Register(kCom, device); }, false, {}},
        {"a link made by hand, its device unplugged",
         [&] { return symlink("/dev/qlxduo-unplugged", link.c_str()) == 0; },
         false,
         {}},
        {"the link of a running program",
         [&] { return map.RegisterOwned(kCom, other.DevicePath()); },
         false,
         {}},
        {"the link of a program that has ended", ownedByEndedProgram, true, {}},
        {"relinked by hand while it runs",
         {},
         true,
         [&](const std::string&) { return map.Register(kCom, device); }},
        {"taken over by another program while it runs",
         {},
         true,
         [&](const std::string& unit) { return map.RegisterOwned(kCom, unit); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        ASSERT_TRUE(!c.before || c.before());
        const std::string before = map.LinkTarget(kCom);
        const bool marked = Exists(link + ".owner");
        if (!c.started) {
            const auto run = testenv::RunToEnd({testenv::SimExecutable(), "--com", "37"}, kExitWaitMs);
            EXPECT_EQ(run.status, 1);
            EXPECT_NE(run.err.find("COM37 is taken: " + link), std::string::npos) << run.err;
            EXPECT_EQ(map.LinkTarget(kCom), before);
            EXPECT_EQ(Exists(link + ".owner"), marked);
        } else {
            testenv::SimProcess unit({"--com", "37"});
            EXPECT_EQ(map.DevicePath(kCom), unit.DevicePath());
            ASSERT_TRUE(!c.during || c.during(unit.DevicePath()));
            const std::string left = c.during ? map.LinkTarget(kCom) : "";
            unit.Signal(SIGTERM);
            ASSERT_TRUE(unit.WaitExit(kExitWaitMs));
            EXPECT_EQ(map.LinkTarget(kCom), left);
        }
        map.Unregister(kCom);
    }
}

// SIGKILL leaves the link behind. The kernel hands the freed pseudo-terminal to the next program
// that asks for one (a terminal window); the link must not lead there.
TEST(SimProcessTest, LinkOfAKilledUnitNeverLeadsIntoTheNextTerminal) {
    platform::ComPortMap map = platform::ComPortMap::ForCurrentUser();
    testenv::SimProcess unit({"--com", "34"});
    const std::string terminal = unit.DevicePath();
    unit.Signal(SIGKILL);
    ASSERT_TRUE(unit.WaitExit(kExitWaitMs));
    std::vector<std::unique_ptr<testenv::PtyPair>> later;
    while (!Exists(terminal) && later.size() < 256) later.push_back(std::make_unique<testenv::PtyPair>());
    ASSERT_TRUE(Exists(terminal)) << "no later pseudo-terminal became " << terminal;
    EXPECT_EQ(map.DevicePath(34), "");
    const std::vector<std::string> ports = map.Enumerate();
    EXPECT_EQ(std::count(ports.begin(), ports.end(), "COM34"), 0);
    EXPECT_FALSE(Exists(map.Roots().mapFolder + "/com34"));
    EXPECT_FALSE(Exists(map.Roots().mapFolder + "/com34.owner"));
}

// The numbers the flood lines of a log give for what (" replies dropped", ...), added up.
size_t FloodCount(const std::string& log, const std::string& what) {
    size_t total = 0;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find(what);
        if (line.find(" -- flood: ") == std::string::npos || at == std::string::npos) continue;
        const size_t digits = line.find_last_not_of("0123456789", at - 1) + 1;
        total += std::stoul(line.substr(digits, at - digits));
    }
    return total;
}

// A client that floods the unit and never reads the replies fills the terminal: the unit drops what
// does not fit, and still ends at once. Its log grows by a bounded amount a second, whatever the
// size of the flood: a flood is counted, not logged line by line, and a line is cut to 4096 bytes.
TEST(SimProcessTest, FloodsAreLoggedBoundedAndStopAtOnce) {
    constexpr size_t kFloodBytes = 1 << 20;
    constexpr size_t kLogBytesPerSecond = 256 * 1024;  // as the README gives it
    constexpr int kFloodWaitMs = testenv::kHangGuardMs;
    const auto repeated = [](const std::string& line) {
        std::string flood;
        while (flood.size() < kFloodBytes) flood += line;
        return flood;
    };
    struct Case {
        std::string title;
        std::vector<std::string> options;
        std::string flood;
        std::string counted;  // what the flood lines count above zero
        std::string logged;
    };
    const std::vector<Case> cases = {
        {"commands, the replies unread", {}, repeated("I\r\n"), " replies dropped", "-- flood: more than"},
        {"commands to a silent unit",
         {"--silent"},
         repeated("I\r\n"),
         " lines unanswered",
         "-- flood: more than"},
        {"one line", {}, std::string(kFloodBytes, 'A') + "\n", "", " <- " + std::string(4096, 'A') + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        testenv::SimProcess unit(c.options);
        RawClient client(unit.DevicePath());
        const auto start = std::chrono::steady_clock::now();
        const auto deadline = start + std::chrono::milliseconds(kFloodWaitMs);
        client.Offer(c.flood, kFloodWaitMs);
        struct stat wire {};
        while ((stat(unit.WirePath().c_str(), &wire) != 0 || size_t(wire.st_size) < c.flood.size()) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_EQ(size_t(wire.st_size), c.flood.size()) << "the unit did not take the flood in time";
        const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        unit.Signal(SIGTERM);
        const auto status = unit.WaitExit(kExitWaitMs);
        ASSERT_TRUE(status) << "still running " << kExitWaitMs << " ms after SIGTERM";
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
        const std::string log = testenv::ReadFile(unit.LogPath());
        EXPECT_LT(double(log.size()), double(kLogBytesPerSecond) * (seconds + 2)) << seconds << " s";
        if (!c.counted.empty()) {
            EXPECT_GT(FloodCount(log, c.counted), 0u);
        }
        EXPECT_NE(log.find(c.logged), std::string::npos);
        EXPECT_NE(log.find("stop: Terminated\n"), std::string::npos);
    }
}

// A burst of commands to a slow unit: the replies waiting for their delay are bounded; the excess
// is dropped and logged, and the rest arrives.
TEST(SimProcessTest, DelayedRepliesBeyondTheBoundAreDroppedAndLogged) {
    testenv::SimProcess unit({"--reply-delay", "2000"});
    RawClient client(unit.DevicePath());
    constexpr size_t kLines = 1000;
    std::string burst;
    for (size_t i = 0; i < kLines; ++i) burst += "V\r\n";
    client.Send(burst);
    std::string log;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kExitWaitMs);
    while (Count(log, "<- V\\r\\n\n") < kLines && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        log = testenv::ReadFile(unit.LogPath());
    }
    const size_t dropped = Count(log, "reply dropped (too many replies waiting for their delay): OK,1.03\n");
    EXPECT_GT(dropped, 0u);
    const std::string replies = client.ReceiveLines(kLines - dropped, kExitWaitMs);
    EXPECT_EQ(Count(replies, "OK,1.03\r\n"), kLines - dropped);
    EXPECT_EQ(client.Receive(kSilenceWaitMs), "");
}

}  // namespace
