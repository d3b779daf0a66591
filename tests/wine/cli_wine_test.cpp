// qlxduo-cli.exe, the Windows build of the tool, under Wine against simulated units on the Linux
// side, mapped into a private Wine prefix as COM ports. The reference is the Linux tool talking to
// the same units: the same output byte for byte, the same bytes received by the unit, the same exit
// statuses. Run from the Windows build's tests, which name its programs' folder in
// QLXDUO_WINDOWS_BIN and the prefix's folder in QLXDUO_WINE_PREFIX.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "link/protocol.h"
#include "testenv.h"
#include "tools/cli.h"
#include "wineprefix.h"

namespace {

using Args = std::vector<std::string>;

constexpr int kReadCom = 7;
constexpr int kWriteCom = 8;
constexpr int kNormalCom = 9;
constexpr int kSilentCom = 10;
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

class WineCliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_read = std::make_unique<testenv::SimProcess>(Words("--com 7"));
        s_write = std::make_unique<testenv::SimProcess>(Words("--com 8"));
        s_normal = std::make_unique<testenv::SimProcess>(Words("--com 9"));
        s_silent = std::make_unique<testenv::SimProcess>(Words("--com 10 --silent"));
        s_prefix = std::make_unique<winetest::WinePrefix>(winetest::PrefixFolder(),
                                                          std::map<int, std::string>{
                                                              {kReadCom, s_read->DevicePath()},
                                                              {kWriteCom, s_write->DevicePath()},
                                                              {kNormalCom, s_normal->DevicePath()},
                                                              {kSilentCom, s_silent->DevicePath()},
                                                          });
    }
    static void TearDownTestSuite() {
        s_prefix.reset();
        s_read.reset();
        s_write.reset();
        s_normal.reset();
        s_silent.reset();
    }
    void SetUp() override {
        ASSERT_FALSE(WindowsTool().empty()) << winetest::kNoWindowsPrograms;
        ASSERT_TRUE(s_prefix->Ready()) << "the Wine prefix could not be made";
    }

    static testenv::FinishedRun Windows(const Args& args) { return s_prefix->Run(WindowsTool(), args); }
    static testenv::FinishedRun Windows(const std::string& args) { return Windows(Words(args)); }
    static testenv::FinishedRun Linux(const Args& args) {
        Args argv = args;
        argv.insert(argv.begin(), QLXDUO_CLI_PATH);
        return testenv::RunToEnd(argv);
    }
    static testenv::FinishedRun Linux(const std::string& args) { return Linux(Words(args)); }

    static std::unique_ptr<testenv::SimProcess> s_read, s_write, s_normal, s_silent;
    static std::unique_ptr<winetest::WinePrefix> s_prefix;
};

std::unique_ptr<testenv::SimProcess> WineCliTest::s_read, WineCliTest::s_write, WineCliTest::s_normal,
    WineCliTest::s_silent;
std::unique_ptr<winetest::WinePrefix> WineCliTest::s_prefix;

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
        numbers.push_back(std::atoi(line.c_str() + 3));
    }
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end())) << run.out;
    for (int mapped : {kReadCom, kWriteCom, kNormalCom, kSilentCom}) {
        EXPECT_NE(std::find(numbers.begin(), numbers.end(), mapped), numbers.end()) << mapped << "\n"
                                                                                    << run.out;
    }
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

    // The text form, Japanese included, differs only in the device it names.
    const testenv::FinishedRun windowsText = Windows("read 7");
    const testenv::FinishedRun linuxText = Linux("read 7");
    EXPECT_EQ(windowsText.status, cli::kExitSuccess) << windowsText.err;
    EXPECT_TRUE(windowsText.out.starts_with("COM7: \\\\.\\COM7\n")) << windowsText.out;
    EXPECT_EQ(windowsText.out.substr(windowsText.out.find('\n')),
              linuxText.out.substr(linuxText.out.find('\n')));
    EXPECT_NE(windowsText.out.find("format フォーマット1 (1)"), std::string::npos) << windowsText.out;
    EXPECT_EQ(s_read->ReceivedBytes(),
              std::string(kConnectWire) + kConnectWire + kConnectWire + kConnectWire);
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
        EXPECT_TRUE(run.err.ends_with(" — this computer has no such port\n")) << run.err;
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
    EXPECT_EQ(s_write->ReceivedBytes().find("99"), std::string::npos) << "a bad value sends nothing";
}

}  // namespace
