// SPDX-License-Identifier: MIT
// qlxduo-cli.exe, the Windows build of the tool, under Wine against simulated units on the Linux
// side, mapped into a private Wine prefix as COM ports. The reference is the Linux tool talking to
// the same units: the same output byte for byte, the same bytes received by the unit, the same exit
// statuses, the same trace lines. Run from the Windows build's tests, which name its programs'
// folder in QLXDUO_WINDOWS_BIN and the prefix's folder in QLXDUO_WINE_PREFIX.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "../tools/clirun.h"
#include "clihostile.h"
#include "clinetwork.h"
#include "link/protocol.h"
#include "ports/portname.h"
#include "qlxduo_version.h"
#include "testenv.h"
#include "tools/cli.h"
#include "wineprefix.h"

namespace {

using Args = std::vector<std::string>;

constexpr int kReadCom = 7;
constexpr int kWriteCom = 8;
constexpr int kNormalCom = 9;
constexpr int kSilentCom = 10;
constexpr int kTargetCom = 11;
constexpr const char* kConnectWire = "I\r\nV\r\nAG A\r\nAG B\r\n";
// The codes that COM7's unit starts with, as `read --json` gives them.
constexpr const char* kReadJsonStart =
    "{\"schema\":1,\"port\":7,\"identity\":\"QLX-11D\",\"firmware\":\"1.03\",\"firmwareNumber\":103,";
// A silent exchange lasts 200 ms. Waiting in the driver costs next to no processor time; a polling
// wait keeps the program and the wineserver busy for all of it.
constexpr double kSilentProcessorLimitMs = 100;

std::string WindowsTool() {
    return winetest::WindowsProgram("qlxduo-cli.exe");
}

Args Words(const std::string& text) {
    std::istringstream words(text);
    Args args;
    for (std::string word; words >> word;) args.push_back(word);
    return args;
}

// The lines of a trace without their time stamps ("COM7 -> I\r\n"); a line not in the trace's
// format is kept whole, and fails the comparison it is in.
std::vector<std::string> Untimed(const std::string& trace) {
    static const std::regex stamped(R"(^\d+\.\d{3} (.*)$)");
    std::vector<std::string> lines;
    std::istringstream in(trace);
    for (std::string line; std::getline(in, line);) {
        std::smatch match;
        lines.push_back(std::regex_match(line, match, stamped) ? match[1].str() : line);
    }
    return lines;
}

// The same lines as the other end of the line logs them: what one sends, the other receives.
std::vector<std::string> SeenFromTheUnit(std::vector<std::string> lines) {
    for (std::string& line : lines) {
        const size_t arrow = line.find(" -> ") != std::string::npos ? line.find(" -> ") : line.find(" <- ");
        if (arrow != std::string::npos)
            line.replace(arrow + 1, 2, line.compare(arrow + 1, 2, "->") == 0 ? "<-" : "->");
    }
    return lines;
}

class WineCliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_read = std::make_unique<testenv::SimProcess>(Words("--com 7"));
        s_write = std::make_unique<testenv::SimProcess>(Words("--com 8"));
        s_normal = std::make_unique<testenv::SimProcess>(Words("--com 9"));
        s_silent = std::make_unique<testenv::SimProcess>(Words("--com 10 --silent"));
        s_target = std::make_unique<testenv::SimProcess>(Words("--com 11 --a 0,0,1,13,1,0 --b 2,1,1,24,0,1"));
        s_prefix = std::make_unique<winetest::WinePrefix>(winetest::PrefixFolder(),
                                                          std::map<int, std::string>{
                                                              {kReadCom, s_read->DevicePath()},
                                                              {kWriteCom, s_write->DevicePath()},
                                                              {kNormalCom, s_normal->DevicePath()},
                                                              {kSilentCom, s_silent->DevicePath()},
                                                              {kTargetCom, s_target->DevicePath()},
                                                          });
    }
    static void TearDownTestSuite() {
        s_prefix.reset();
        s_read.reset();
        s_write.reset();
        s_normal.reset();
        s_silent.reset();
        s_target.reset();
    }
    void SetUp() override {
        ASSERT_FALSE(WindowsTool().empty()) << winetest::kNoWindowsPrograms;
        ASSERT_TRUE(s_prefix->Ready()) << "the Wine prefix could not be made";
    }

    // The JSON lines without their time and adapter, which differ from run to run and system to system.
    static testenv::FinishedRun Windows(const Args& args) {
        return Undated(s_prefix->Run(WindowsTool(), args));
    }
    static testenv::FinishedRun Windows(const std::string& args) { return Windows(Words(args)); }
    static testenv::FinishedRun Linux(const Args& args) {
        Args argv = args;
        argv.insert(argv.begin(), QLXDUO_CLI_PATH);
        return Undated(testenv::RunToEnd(argv));
    }
    static testenv::FinishedRun Linux(const std::string& args) { return Linux(Words(args)); }

    static testenv::FinishedRun Undated(testenv::FinishedRun run) {
        run.out = clitest::Undated(run.out);
        return run;
    }

    static std::unique_ptr<testenv::SimProcess> s_read, s_write, s_normal, s_silent, s_target;
    static std::unique_ptr<winetest::WinePrefix> s_prefix;
};

std::unique_ptr<testenv::SimProcess> WineCliTest::s_read, WineCliTest::s_write, WineCliTest::s_normal,
    WineCliTest::s_silent, WineCliTest::s_target;
std::unique_ptr<winetest::WinePrefix> WineCliTest::s_prefix;

TEST_F(WineCliTest, HelpAndVersionAsOnLinux) {
    for (const char* args : {"--help", "-h", "write --help", "diff -h", "--version", "-V"}) {
        SCOPED_TRACE(args);
        const testenv::FinishedRun windows = Windows(args);
        EXPECT_EQ(windows.status, cli::kExitSuccess) << windows.err;
        EXPECT_EQ(windows.err, "");
        EXPECT_EQ(windows.out, Linux(args).out);
    }
    EXPECT_EQ(Windows("--version").out, "qlxduo-cli " QLXDUO_VERSION "\n");
}

// As Windows programs take it, "/?" asks for the help; another word that begins with one "/"
// before "--" is an option mistyped, refused before any port is opened (//./COM7 is a port, as
// OnePortInTwoSpellingsIsGivenTwice shows).
TEST_F(WineCliTest, SlashWordsAsWindowsProgramsTakeThem) {
    for (const auto& [windows, linux] : {std::pair{"/?", "--help"}, std::pair{"write /?", "write --help"}}) {
        SCOPED_TRACE(windows);
        const testenv::FinishedRun run = Windows(windows);
        EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
        EXPECT_EQ(run.out, Linux(linux).out);
    }
    const std::string readBefore = s_read->ReceivedBytes();
    const testenv::FinishedRun json = Windows("read 7 /json");
    EXPECT_EQ(json.status, cli::kExitUsage);
    EXPECT_EQ(json.out, "");
    EXPECT_EQ(json.err,
              "qlxduo-cli: \"/json\": options begin with -- (--json)\n(qlxduo-cli --help shows the usage)\n");
    EXPECT_EQ(s_read->ReceivedBytes(), readBefore);
}

TEST_F(WineCliTest, PortsListsTheSystemsComPortsInOrder) {
    const testenv::FinishedRun run = Windows("ports");
    EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
    EXPECT_EQ(run.err, "");
    std::vector<int> numbers;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        ASSERT_TRUE(line.starts_with("COM")) << line;
        // Each port is shown with the system's device name for it.
        EXPECT_NE(line.find(" \\Device\\"), std::string::npos) << line;
        numbers.push_back(platform::PortOfListedName(line));
    }
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end())) << run.out;
    for (int mapped : {kReadCom, kWriteCom, kNormalCom, kSilentCom, kTargetCom}) {
        EXPECT_NE(std::find(numbers.begin(), numbers.end(), mapped), numbers.end()) << mapped << "\n"
                                                                                    << run.out;
    }

    // The same ports as JSON, every one present: the registry lists no absent ones.
    const testenv::FinishedRun json = Windows("ports --all --json");
    EXPECT_EQ(json.status, cli::kExitSuccess) << json.err;
    EXPECT_EQ(Windows("ports --all").out, run.out);
    std::vector<int> listed;
    std::istringstream objects(json.out);
    for (std::string line; std::getline(objects, line);) {
        const nlohmann::json port = nlohmann::json::parse(line, nullptr, false);
        ASSERT_TRUE(port.is_object()) << line;
        listed.push_back(port["port"]);
        EXPECT_EQ(port["name"], "COM" + std::to_string(listed.back()));
        EXPECT_TRUE(port["device"].get<std::string>().starts_with("\\Device\\")) << line;
        EXPECT_EQ(port["present"], true);
        // Wine's device information has no USB adapters; the portable reading of device ids is
        // tested with stand-ins (portname_test).
        EXPECT_EQ(port["adapter"], nlohmann::json::object()) << line;
    }
    EXPECT_EQ(listed, numbers);

    // find reports the unit among the ports it probes, with the system's device for it.
    const testenv::FinishedRun found = Windows("find 10 11");
    EXPECT_EQ(found.status, cli::kExitSuccess) << found.err;
    EXPECT_TRUE(found.out.starts_with("COM11 \\Device\\")) << found.out;
    EXPECT_TRUE(found.out.ends_with(": QLX-11D, firmware 1.03\n")) << found.out;
    EXPECT_EQ(std::count(found.out.begin(), found.out.end(), '\n'), 1) << found.out;
    const testenv::FinishedRun none = Windows("find 10");
    EXPECT_EQ(none.status, cli::kExitUnitFailed);
    EXPECT_EQ(none.err, Linux("find /dev/null/none").err) << "the same words as on Linux";
}

TEST_F(WineCliTest, ReadPrintsWhatTheLinuxToolPrints) {
    const testenv::FinishedRun windowsJson = Windows("read 7 --json");
    EXPECT_EQ(windowsJson.status, cli::kExitSuccess) << windowsJson.err;
    EXPECT_EQ(s_read->ReceivedBytes(), kConnectWire);
    const testenv::FinishedRun linuxJson = Linux("read 7 --json");
    EXPECT_EQ(linuxJson.status, cli::kExitSuccess) << linuxJson.err;
    EXPECT_EQ(windowsJson.out, linuxJson.out);
    EXPECT_TRUE(windowsJson.out.starts_with(kReadJsonStart)) << windowsJson.out;
    EXPECT_EQ(windowsJson.err, "");

    // The text form differs only in the device it names.
    const testenv::FinishedRun windowsText = Windows("read 7");
    const testenv::FinishedRun linuxText = Linux("read 7");
    EXPECT_EQ(windowsText.status, cli::kExitSuccess) << windowsText.err;
    EXPECT_TRUE(windowsText.out.starts_with("COM7: \\\\.\\COM7\n")) << windowsText.out;
    EXPECT_EQ(windowsText.out.substr(windowsText.out.find('\n')),
              linuxText.out.substr(linuxText.out.find('\n')));
    EXPECT_NE(windowsText.out.find("format format 1 (1), flow XON/XOFF (2)"), std::string::npos)
        << windowsText.out;
    EXPECT_EQ(s_read->ReceivedBytes(),
              std::string(kConnectWire) + kConnectWire + kConnectWire + kConnectWire);
}

// COM7 by its COM name in either case, and by the system's device path, which is then the port
// that the output names.
TEST_F(WineCliTest, PortByComNameOrDevicePath) {
    const std::string byNumber = Windows("read 7 --json").out;
    for (const char* name : {"COM7", "com7"})
        EXPECT_EQ(Windows({"read", name, "--json"}).out, byNumber) << name;
    const testenv::FinishedRun byPath = Windows({"read", "\\\\.\\COM7", "--json"});
    EXPECT_EQ(byPath.status, cli::kExitSuccess) << byPath.err;
    std::string expected = byNumber;
    expected.replace(expected.find("\"port\":7"), 8, "\"port\":\"\\\\\\\\.\\\\COM7\"");
    EXPECT_EQ(byPath.out, expected);
    // The Linux tool reaches the same unit by its device path alike.
    std::string linux = Linux({"read", s_read->DevicePath(), "--json"}).out;
    const std::string linuxPort = nlohmann::json(s_read->DevicePath()).dump();
    EXPECT_EQ(linux.replace(linux.find(linuxPort), linuxPort.size(), "\"\\\\\\\\.\\\\COM7\""), byPath.out);
}

TEST_F(WineCliTest, WriteSendsWhatTheLinuxToolSends) {
    const std::string command = "write 8 --a 0,1,1,44,1,1 --b 2,2,1,8,1,2";
    const std::string wire = std::string(kConnectWire) +
                             "AS A 0,1,1,44,1,1\r\nAS B 2,2,1,8,1,2\r\nW 4172093615\r\nAG A\r\nAG B\r\n";
    const testenv::FinishedRun windows = Windows(command);
    EXPECT_EQ(windows.status, cli::kExitSuccess) << windows.err;
    EXPECT_EQ(windows.out, "COM8 QLX-11D: parameters written (パラメータ書き込み成功)\n");
    EXPECT_EQ(s_write->ReceivedBytes(), wire);
    const testenv::FinishedRun linux = Linux(command);
    EXPECT_EQ(linux.status, cli::kExitSuccess) << linux.err;
    EXPECT_EQ(windows.out, linux.out);
    EXPECT_EQ(s_write->ReceivedBytes(), wire + wire);
}

// read -> file -> write --from to another unit -> diff shows nothing; a file that differs is
// reported as the Linux tool reports it.
TEST_F(WineCliTest, ConfigurationFileRoundTrip) {
    testenv::TempDir dir;
    const std::string file = dir.File("unit 7 設定.json");
    testenv::WriteFile(file, Windows("read 7 --json").out);
    // The files are Linux paths, which begin with "/": after "--" they are no options on Windows.
    ASSERT_NE(Linux({"diff", "11", "--", file}).status, cli::kExitSuccess) << "COM11 must start unlike COM7";

    const testenv::FinishedRun write = Windows({"write", "11", "--from", file});
    EXPECT_EQ(write.status, cli::kExitSuccess) << write.err;
    EXPECT_EQ(write.out, "COM11 QLX-11D: parameters written (パラメータ書き込み成功)\n");
    const testenv::FinishedRun same = Windows({"diff", "11", "--", file});
    EXPECT_EQ(same.status, cli::kExitSuccess) << same.err;
    EXPECT_EQ(same.out, "COM11 QLX-11D: the same as the file\n");

    const std::string other = dir.File("other.json");
    testenv::WriteFile(
        other, R"({"A":{"format":1,"flow":2,"dataLength":0,"baudRate":19200,"stopBits":0,"parity":2}})");
    for (const char* json : {"", "--json"}) {
        SCOPED_TRACE(json);
        Args args = {"diff", "7", "11"};
        if (*json != '\0') args.push_back(json);
        args.insert(args.end(), {"--", other});
        const testenv::FinishedRun windows = Windows(args);
        const testenv::FinishedRun linux = Linux(args);
        EXPECT_EQ(windows.status, cli::kExitUnitFailed) << windows.err;
        EXPECT_EQ(windows.out, linux.out);
        EXPECT_EQ(windows.err, linux.err);
        EXPECT_NE(windows.out.find("baudCode"), std::string::npos) << windows.out;
    }
}

// Two units in one command, one line each; one silent unit makes the batch fail and is named.
TEST_F(WineCliTest, BatchOfTwoUnits) {
    for (const char* args : {"read 7 11", "read 7 11 --json"}) {
        SCOPED_TRACE(args);
        const testenv::FinishedRun windows = Windows(args);
        EXPECT_EQ(windows.status, cli::kExitSuccess) << windows.err;
        EXPECT_EQ(windows.out, Linux(args).out);
        EXPECT_EQ(std::count(windows.out.begin(), windows.out.end(), '\n'), 2) << windows.out;
        EXPECT_EQ(windows.err, "") << "no progress line on a pipe";
    }
    const testenv::FinishedRun failed = Windows("read 7 10");
    EXPECT_EQ(failed.status, cli::kExitUnitFailed);
    EXPECT_TRUE(failed.out.starts_with("COM7 QLX-11D: firmware 1.03, ")) << failed.out;
    EXPECT_TRUE(failed.err.starts_with("COM10: no accepted reply to \"I\": ")) << failed.err;
    EXPECT_EQ(failed.err, Linux("read 7 10").err);
}

// The trace holds the lines the Linux tool traces for the same read, in its format, and the
// simulated unit's log shows them from the other end.
TEST_F(WineCliTest, TraceLinesAsOnLinux) {
    testenv::TempDir dir;
    const std::string windowsFile = dir.File("トレース 7.log");
    const std::string linuxFile = dir.File("linux.log");
    const std::string logBefore = testenv::ReadFile(s_read->LogPath());
    ASSERT_EQ(Windows({"read", "7", "--trace", windowsFile}).status, cli::kExitSuccess);
    const std::string unitLog = testenv::ReadFile(s_read->LogPath()).substr(logBefore.size());
    ASSERT_EQ(Linux({"read", "7", "--trace", linuxFile}).status, cli::kExitSuccess);

    const std::string windowsTrace = testenv::ReadFile(windowsFile);
    EXPECT_TRUE(std::regex_search(windowsTrace, std::regex(R"(^\d+\.\d{3} COM7 -> I\\r\\n\n)")))
        << windowsTrace;
    const std::vector<std::string> lines = Untimed(windowsTrace);
    EXPECT_EQ(lines, (std::vector<std::string>{"COM7 -> I\\r\\n", "COM7 <- OK,QLX-11D\\r\\n",
                                               "COM7 -> V\\r\\n", "COM7 <- OK,1.03\\r\\n",
                                               "COM7 -> AG A\\r\\n", "COM7 <- OK,1,2,0,21,0,2\\r\\n",
                                               "COM7 -> AG B\\r\\n", "COM7 <- OK,0,0,0,33,0,0\\r\\n"}));
    EXPECT_EQ(lines, Untimed(testenv::ReadFile(linuxFile)));
    EXPECT_EQ(SeenFromTheUnit(lines), Untimed(unitLog));

    // "-": on standard error, the output unchanged.
    const testenv::FinishedRun toError = Windows("read 7 --json --trace -");
    EXPECT_EQ(Untimed(toError.err), lines);
    EXPECT_TRUE(toError.out.starts_with(kReadJsonStart)) << toError.out;
}

// What a console shows of a run: the program's texts without the terminal's control sequences
// and line breaks (Wine's console also breaks lines at 80 columns).
std::string ConsoleText(const std::string& screen) {
    return std::regex_replace(screen, std::regex("\x1b\\[[0-9;?]*[A-Za-z]|\r|\n"), "");
}

// On a console every text shows whole, Japanese included: a character whose bytes reached the
// console in separate writes would show as replacement characters. The progress line shows too.
TEST_F(WineCliTest, TextsShowWholeOnAConsole) {
    const std::vector<std::pair<Args, std::vector<std::string>>> cases = {
        // COM11 holds these codes since the round trip above: written again, they change nothing.
        {{"write", "11", "--a", "1,2,0,21,0,2"}, {"COM11QLX-11D:parameterswritten(パラメータ書き込み成功)"}},
        {{"read", "7", "10"},
         {"2/2", "(通信エラー：QLX-DUO本体が設定モードになっていることを確認してください)"}},
    };
    for (const auto& [args, parts] : cases) {
        SCOPED_TRACE(args.back());
        testenv::PtyPair terminal;
        auto run = std::async(std::launch::async, [&] {
            return s_prefix->RunOnTerminal(terminal.DevicePath(), WindowsTool(), args);
        });
        std::string screen;
        while (run.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            screen += terminal.Receive(100);
        const testenv::FinishedRun finished = run.get();
        screen += terminal.Receive(100);
        EXPECT_NE(finished.status, -1);
        std::string text = ConsoleText(screen);
        text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
        EXPECT_EQ(text.find("\xef\xbf\xbd"), std::string::npos) << "replacement characters: " << text;
        for (const std::string& part : parts)
            EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    }
}

TEST_F(WineCliTest, NormalModeSilencesTheUnit) {
    const testenv::FinishedRun normal = Windows("normal 9");
    EXPECT_EQ(normal.status, cli::kExitSuccess) << normal.err;
    EXPECT_EQ(normal.out, "COM9: switched to normal mode (通常モードに切り替えました)\n");
    EXPECT_EQ(s_normal->ReceivedBytes(), "E\r\n");
    const testenv::FinishedRun after = Windows("read 9");
    EXPECT_EQ(after.status, cli::kExitUnitFailed);
    EXPECT_EQ(after.err, Linux("read 9").err);
    EXPECT_TRUE(after.err.starts_with("COM9: no accepted reply to \"I\": ")) << after.err;
}

// A silent unit fails with the status text and exit status 1 once its 200 ms have passed, and the
// wait costs next to no processor time: compared with a run that opens no port at all, in the
// program and in the wineserver together.
TEST_F(WineCliTest, SilentUnitFailsWithinTheDeadlineWithoutSpinning) {
    const std::string wireBefore = s_silent->ReceivedBytes();
    const double serverBefore = s_prefix->ServerProcessorMs();
    const testenv::FinishedRun baseline = Windows("read 200");
    const double serverBaseline = s_prefix->ServerProcessorMs();
    const testenv::FinishedRun silent = Windows("read 10");
    const double serverSilent = s_prefix->ServerProcessorMs();

    EXPECT_EQ(baseline.status, cli::kExitOpenFailed);
    EXPECT_EQ(silent.status, cli::kExitUnitFailed);
    EXPECT_EQ(silent.out, "");
    EXPECT_EQ(
        silent.err,
        "COM10: no accepted reply to \"I\": communication error: check that the unit is in setting mode "
        "(通信エラー：QLX-DUO本体が設定モードになっていることを確認してください)\n");
    EXPECT_EQ(s_silent->ReceivedBytes(), wireBefore + "I\r\n");
    EXPECT_GE(silent.elapsedMs, unit::kReplyDeadlineMs) << "the wait is not cut short";
    EXPECT_LT(silent.elapsedMs, 10 * unit::kReplyDeadlineMs + baseline.elapsedMs) << "the wait ends";

    ASSERT_GE(serverBefore, 0) << "the wineserver's processor time cannot be read";
    const double extra = (silent.processorMs + (serverSilent - serverBaseline)) -
                         (baseline.processorMs + (serverBaseline - serverBefore));
    std::printf(
        "silent read: %.0f ms elapsed, %.1f ms processor (program) + %.1f ms (wineserver); "
        "without an exchange: %.0f ms, %.1f + %.1f ms\n",
        silent.elapsedMs, silent.processorMs, serverSilent - serverBaseline, baseline.elapsedMs,
        baseline.processorMs, serverBaseline - serverBefore);
    EXPECT_LT(extra, kSilentProcessorLimitMs);
}

TEST_F(WineCliTest, FailuresExitAsOnLinux) {
    for (const char* absent : {"read 200", "read \\\\.\\COM200"}) {
        SCOPED_TRACE(absent);
        const testenv::FinishedRun run = Windows(absent);
        EXPECT_EQ(run.status, cli::kExitOpenFailed);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("\\\\.\\COM200"), std::string::npos) << run.err;
        // The ports that are there instead.
        EXPECT_NE(run.err.find(" — this computer has no such port; the ports present are "),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find("COM7 \\Device\\"), std::string::npos) << run.err;
    }
    EXPECT_TRUE(
        Windows("read 200").err.starts_with("COM200: cannot open the port (COM200がオープンできません): "));

    for (const char* usage : {"", "read", "read 256", "write 7", "bogus", "read 7 --bogus", "diff 7",
                              "write 8 --a 0,1,1,99,1,1", "write 8 --from /nonexistent/unit.json"}) {
        SCOPED_TRACE(usage);
        const testenv::FinishedRun run = Windows(usage);
        EXPECT_EQ(run.status, cli::kExitUsage);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.err.starts_with("qlxduo-cli: ")) << run.err;
        EXPECT_EQ(run.err, Linux(usage).err);
    }
    EXPECT_TRUE(
        Windows("read 7 --bogus").err.starts_with("qlxduo-cli: the following argument was not expected"));
    EXPECT_EQ(s_write->ReceivedBytes().find("99"), std::string::npos) << "a bad value sends nothing";
}

// One port in two spellings is given twice: Wine does not hold a COM port exclusively, and two
// threads on one unit would split its replies between them.
TEST_F(WineCliTest, OnePortInTwoSpellingsIsGivenTwice) {
    const std::string readBefore = s_read->ReceivedBytes();
    for (const Args& ports : {Args{"7", "\\\\.\\COM7"}, Args{"\\\\.\\COM7", "\\\\.\\com7"},
                              Args{"com7", "//./COM7"}, Args{"\\\\?\\COM7", "COM7"}}) {
        SCOPED_TRACE(ports.back());
        const testenv::FinishedRun run = Windows({"read", ports.front(), ports.back()});
        EXPECT_EQ(run.status, cli::kExitUsage);
        EXPECT_TRUE(run.err.starts_with("qlxduo-cli: COM7 is given twice (as ")) << run.err;
    }
    EXPECT_EQ(s_read->ReceivedBytes(), readBefore);
}

}  // namespace

// Units behind ser2net, reached over the network by the Windows tool: the Linux tool's cases, with
// COM11 as the local unit of the batch.
TEST_F(WineCliTest, UnitsBehindSer2net) {
    clitest::CheckUnitsBehindSer2net([](const Args& args) { return Windows(args); }, "COM11", *s_target);
}

// Servers that flood, turn the tool away or set another rate, reached by the Windows tool: the Linux
// tool's cases, with COM11 as the unit that a flooding server must not hide.
TEST_F(WineCliTest, HostilePeers) {
    clitest::CheckHostilePeers([](const Args& args) { return Windows(args); }, "COM11");
}

// watch takes the ports of the system's list that are present at its start with --present: the
// units answering are configured, the silent one fails, a record each, and the count ends it. The
// records are whole or absent as on Linux: after files that end without a line end, and with the
// file size limit within the first record, where Windows' write stops short (Wine passes the
// system's short write on), which the tool takes back. Defined last: it writes COM7 (the codes it
// holds already) and talks to every unit.
TEST_F(WineCliTest, WatchTakesThePortsPresent) {
    struct Case {
        const char* title;
        std::string before;  // what each record file holds before, its last line without a line end
        bool limited;        // the file size limit falls within the first record
    };
    std::string earlier;
    for (int i = 0; i < 1000; ++i) earlier += (i == 0 ? "" : "\n") + std::string(R"({"earlier":true})");
    for (const Case& c : {Case{"new files", "", false}, Case{"files cut short", earlier, false},
                          Case{"file size limit", earlier, true}}) {
        SCOPED_TRACE(c.title);
        testenv::TempDir dir;
        const std::string log = dir.File("line.jsonl"), csv = dir.File("line.csv");
        if (!c.before.empty()) {
            testenv::WriteFile(log, c.before);
            testenv::WriteFile(csv, c.before);
        }
        // A write beyond the limit fails with EFBIG where SIGXFSZ is ignored, as the Linux tool
        // ignores it; Wine has no such signal of its own. The limit is set before the tool starts.
        std::vector<std::string> command;
        if (c.limited)
            command = {"/usr/bin/prlimit", "--fsize=" + std::to_string(c.before.size() + 100), "--"};
        for (const char* word : {"/bin/sh", "-c", "trap '' XFSZ; exec \"$@\"", "sh"}) command.push_back(word);
        for (const std::string& word : s_prefix->Command(
                 WindowsTool(),
                 {"watch", "--present", "--count", "5", "--a", "1,2,0,21,0,2", "--log", log, "--csv", csv}))
            command.push_back(word);
        const testenv::FinishedRun run = testenv::RunToEnd(command);
        EXPECT_EQ(run.status, c.limited ? cli::kExitOutputFailed : cli::kExitUnitFailed) << run.err;
        EXPECT_TRUE(std::regex_search(run.out, std::regex("\n[0-5] passed, [0-5] failed\n$"))) << run.out;
        if (c.limited) {
            EXPECT_TRUE(std::regex_search(
                run.out, std::regex("(^|\n)FAIL COM7 QLX-11D .* s: record not kept: --log ")))
                << run.out;
            EXPECT_EQ(run.out.find("PASS "), std::string::npos) << run.out;
            EXPECT_EQ(testenv::ReadFile(log), c.before);
            EXPECT_EQ(testenv::ReadFile(csv), c.before);
            continue;
        }
        EXPECT_TRUE(std::regex_search(run.out, std::regex("(^|\n)PASS COM7 QLX-11D .* s\n"))) << run.out;
        EXPECT_TRUE(std::regex_search(run.out, std::regex("(^|\n)FAIL COM10 .* s: no reply to \"I\"\n")))
            << run.out;
        const auto records = clitest::JsonLines(testenv::ReadFile(log));
        const size_t before = c.before.empty() ? 0 : 1000;
        ASSERT_EQ(records.size(), before + 5);
        for (size_t i = before; i < records.size(); ++i) {
            const nlohmann::json& record = records[i];
            EXPECT_TRUE(
                std::regex_match(record["time"].get<std::string>(),
                                 std::regex(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)")))
                << record;
            if (record["port"] == kReadCom) {
                EXPECT_EQ(record["result"], "pass") << record;
            }
            if (record["port"] == kSilentCom) {
                EXPECT_EQ(record["reason"], "no reply to \"I\"") << record;
            }
        }
        const std::string text = testenv::ReadFile(csv);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), c.before.empty() ? 6 : 1005) << text;
    }
}
