// SPDX-License-Identifier: MIT
// The command-line tool end to end against the simulated unit.
#include <gtest/gtest.h>

#include <cctype>

#include "clirun.h"
#include "link/statustexts.h"
#include "ports/comportmap.h"
#include "testenv.h"

namespace {

using clitest::Cli;
using clitest::CliRun;
using clitest::RunProgram;

constexpr const char* kDefaultJson =
    "{\"schema\":1,\"port\":41,\"identity\":\"QLX-11D\",\"firmware\":\"1.03\",\"firmwareNumber\":103,"
    "\"A\":{\"format\":1,\"flow\":2,\"dataLength\":0,\"baudCode\":21,\"baud\":\"9600bps\",\"baudRate\":9600,"
    "\"stopBits\":0,\"parity\":2},"
    "\"B\":{\"format\":0,\"flow\":0,\"dataLength\":0,\"baudCode\":33,\"baud\":\"115200bps\",\"baudRate\":"
    "115200,"
    "\"stopBits\":0,\"parity\":0}}\n";

// The English text with the window's status text beside it.
std::string Outcome(const std::string& english, const std::string& japanese) {
    return english + " (" + japanese + ")";
}

// The shared scripted peer, registered as a COM number; an empty reply (kHangUp) hangs up the line.
constexpr const char* kHangUp = "";

std::vector<testenv::PeerStep> ReplyLines(const std::vector<std::string>& replies) {
    std::vector<std::string> lines;
    for (const std::string& reply : replies) lines.push_back(reply == kHangUp ? reply : reply + "\r\n");
    return testenv::ReplySteps(lines);
}

class ScriptedUnit {
public:
    ScriptedUnit(int port, const std::vector<std::string>& replies)
        : m_port(port), m_peer(m_pty, ReplyLines(replies), 5000) {
        EXPECT_TRUE(platform::ComPortMap::ForCurrentUser().RegisterOwned(port, m_pty.DevicePath()));
    }
    ~ScriptedUnit() {
        m_peer.Finish();
        platform::ComPortMap::ForCurrentUser().Unregister(m_port);
    }
    // Once the script has ended (its steps done, or the line closed): every line it received.
    std::string Received() { return m_peer.Finish(); }

private:
    int m_port;
    testenv::PtyPair m_pty;
    testenv::ScriptedPeer m_peer;
};

TEST(CliTest, ReadPrintsTheUnitAsJsonAndText) {
    testenv::SimProcess unit({"--com", "41"});
    const CliRun json = Cli({"read", "41", "--json"});
    EXPECT_EQ(json.status, cli::kExitSuccess) << json.err;
    EXPECT_EQ(clitest::Undated(json.out), kDefaultJson);
    EXPECT_NE(json.out, kDefaultJson) << "the line ends with the time and the adapter";
    EXPECT_EQ(json.err, "");

    const CliRun text = Cli({"read", "41"});
    EXPECT_EQ(text.status, cli::kExitSuccess) << text.err;
    for (const char* expected :
         {"COM41: /dev/", "identity: QLX-11D\n", "firmware: 1.03\n",
          "port A: format format 1 (1), flow XON/XOFF (2), data length 8 bit (0), baud "
          "9600bps (21), stop bits 1 bit (0), parity even (2)\n",
          "port B: format none (0), flow none (0)"}) {
        EXPECT_NE(text.out.find(expected), std::string::npos) << expected << "\n" << text.out;
    }
    EXPECT_EQ(unit.ReceivedBytes(), std::string("I\r\nV\r\nAG A\r\nAG B\r\n") + "I\r\nV\r\nAG A\r\nAG B\r\n");
}

TEST(CliTest, WriteSendsBothPortsThenStoresAndVerifies) {
    testenv::TempDir dir;
    testenv::SimProcess unit({"--com", "42", "--state", dir.File("state")});
    const CliRun write = Cli({"write", "42", "--a", "0,1,1,44,1,1"});
    EXPECT_EQ(write.status, cli::kExitSuccess) << write.err;
    EXPECT_EQ(write.out, "COM42 QLX-11D: " + Outcome("parameters written", status::kWriteSucceeded) + "\n");
    EXPECT_EQ(unit.ReceivedBytes(),
              "I\r\nV\r\nAG A\r\nAG B\r\n"
              "AS A 0,1,1,44,1,1\r\nAS B 0,0,0,33,0,0\r\nW 4172093615\r\n"
              "AG A\r\nAG B\r\n");
    EXPECT_EQ(testenv::ReadFile(dir.File("state")), "A=0,1,1,44,1,1\nB=0,0,0,33,0,0\n");

    const CliRun both = Cli({"write", "42", "--b", "2,2,1,8,1,2", "--a", "1,0,0,13,0,1"});
    EXPECT_EQ(both.status, cli::kExitSuccess) << both.err;
    EXPECT_EQ(testenv::ReadFile(dir.File("state")), "A=1,0,0,13,0,1\nB=2,2,1,8,1,2\n");
}

TEST(CliTest, UnitFailuresNameTheStepInEnglishWithTheStatusText) {
    const std::string notInSettingMode =
        Outcome("communication error: check that the unit is in setting mode", status::kNotInSettingMode);
    const std::string writeFailed = Outcome("parameter write failed", status::kWriteFailed);
    struct Case {
        std::string title;
        std::vector<std::string> simOptions;
        std::vector<std::string> args;  // port 43 is inserted after the command
        int status;
        std::string message;      // how the line on standard error begins
        std::string lastCommand;  // the last line the unit received
    };
    const std::vector<Case> cases = {
        {"silent unit",
         {"--silent"},
         {"read"},
         cli::kExitUnitFailed,
         "COM43: no accepted reply to \"I\": " + notInSettingMode,
         "I\r\n"},
        {"foreign identity",
         {"--identity", "QLX-21A"},
         {"read"},
         cli::kExitUnitFailed,
         "COM43 QLX-21A: the device's identity \"QLX-21A\" is not a QLX-DUO's: " +
             Outcome("communication error", status::kCommunicationError),
         "I\r\n"},
        {"version refused",
         {"--reject", "V"},
         {"read"},
         cli::kExitUnitFailed,
         "COM43 QLX-11D: no accepted reply to \"V\": " + notInSettingMode,
         "V\r\n"},
        {"AG B refused",
         {"--reject", "AG B"},
         {"read"},
         cli::kExitUnitFailed,
         "COM43 QLX-11D: no accepted reply to \"AG B\": " +
             Outcome("parameter read failed", status::kReadFailed),
         "AG B\r\n"},
        {"AS B refused: no store",
         {"--reject", "AS B"},
         {"write", "--a", "0,0,0,21,0,0"},
         cli::kExitUnitFailed,
         "COM43 QLX-11D: no accepted reply to \"AS B 0,0,0,33,0,0\": " + writeFailed,
         "AS B 0,0,0,33,0,0\r\n"},
        // Checked against the firmware read from the unit, before anything is written.
        {"rate the firmware lacks",
         {"--firmware", "1.01"},
         {"write", "--b", "0,0,0,44,0,0"},
         cli::kExitUsage,
         "COM43 QLX-11D: --b baudCode is 44 (10400bps), which firmware 1.01 does not offer; allowed: 8 "
         "(110bps), "
         "9 (134.5bps), 10 (150bps), 11 (300bps)",
         "AG B\r\n"},
        {"a kept rate the firmware lacks",
         {"--firmware", "1.01", "--b", "0,0,0,44,0,0"},
         {"write", "--a", "0,0,0,21,0,0"},
         cli::kExitUsage,
         "COM43 QLX-11D: the unit's B.baudCode is 44 (10400bps), which firmware 1.01 does not offer; "
         "allowed: "
         "8 (110bps)",
         "AG B\r\n"},
        {"store refused",
         {"--reject", "W"},
         {"write", "--a", "0,0,0,21,0,0"},
         cli::kExitUnitFailed,
         "COM43 QLX-11D: no accepted reply to \"W 4172093615\": " + writeFailed,
         "W 4172093615\r\n"},
        {"normal mode refused",
         {"--reject", "E"},
         {"normal"},
         cli::kExitUnitFailed,
         "COM43: no accepted reply to \"E\": " +
             Outcome("switching to normal mode failed", status::kNormalModeFailed),
         "E\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        std::vector<std::string> options = c.simOptions;
        options.insert(options.end(), {"--com", "43"});
        testenv::SimProcess unit(options);
        std::vector<std::string> args = c.args;
        args.insert(args.begin() + 1, "43");
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.err.starts_with(c.message)) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
        EXPECT_TRUE(unit.ReceivedBytes().ends_with(c.lastCommand)) << unit.ReceivedBytes();
    }
}

// Units played by script: one that takes a write but reads back other codes, and devices that go
// away part-way.
TEST(CliTest, ReadBackAndLostDevicesAreReported) {
    const std::vector<std::string> connect = {"OK,QLX-11D\r\n", "OK,1.03\r\n", "OK,1,2,0,21,0,2\r\n",
                                              "OK,0,0,0,33,0,0\r\n"};
    auto then = [&](std::vector<std::string> more) {
        std::vector<std::string> replies = connect;
        replies.insert(replies.end(), more.begin(), more.end());
        return replies;
    };
    struct Case {
        std::string title;
        std::vector<std::string> replies;
        std::vector<std::string> args;  // port 45 is inserted after the command
        std::string error;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"read back differs",
         then({"OK\r\n", "OK\r\n", "OK\r\n", "OK,1,2,0,21,0,2\r\n", "OK,0,0,0,33,0,0\r\n"}),
         {"write", "--a", "0,0,0,13,0,0"},
         "verify-failed",
         "the unit reads back A 1,2,0,21,0,2, B 0,0,0,33,0,0, not the A 0,0,0,13,0,0, B 0,0,0,33,0,0 "
         "written: " +
             Outcome("parameter write failed", status::kWriteFailed)},
        {"unplugged at I",
         {kHangUp},
         {"read"},
         "device-lost",
         "the device went away (unplugged, or its line hung up) at \"I\": " +
             Outcome("communication error: check that the unit is in setting mode",
                     status::kNotInSettingMode)},
        {"unplugged at AS A",
         then({kHangUp}),
         {"write", "--a", "0,0,0,13,0,0"},
         "device-lost",
         "the device went away (unplugged, or its line hung up) at \"AS A 0,0,0,13,0,0\": " +
             Outcome("parameter write failed", status::kWriteFailed)},
        {"unplugged at E",
         {kHangUp},
         {"normal"},
         "device-lost",
         "the device went away (unplugged, or its line hung up) at \"E\": " +
             Outcome("switching to normal mode failed", status::kNormalModeFailed)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        std::vector<std::string> args = c.args;
        args.insert(args.begin() + 1, "45");
        args.push_back("--json");
        CliRun run;
        {
            ScriptedUnit unit(45, c.replies);
            run = Cli(args);
        }
        EXPECT_EQ(run.status, cli::kExitUnitFailed);
        const auto lines = clitest::JsonLines(run.out);
        ASSERT_EQ(lines.size(), 1u) << run.out;
        EXPECT_EQ(lines[0]["port"], 45);
        EXPECT_EQ(lines[0]["error"], c.error);
        EXPECT_EQ(lines[0]["message"], c.message);
        EXPECT_TRUE(clitest::IsAscii(run.out)) << run.out;
    }
}

// Codes outside the unit's field table, in a reply read strictly (count, number form, range; the
// rate against the firmware): the read fails naming the port and the field, and write, diff and
// watch send nothing taken from it.
TEST(CliTest, CodesTheToolCannotUnderstandAreNeverWrittenBack) {
    testenv::TempDir dir;
    const std::string file = clitest::FileWith(dir, "unit.json", kDefaultJson);
    struct Case {
        std::string title;
        std::string dataB;  // the reply data of "AG B"
        std::string firmware;
        std::string problem;
    };
    const std::string notSix = "is not six comma-separated whole numbers";
    const std::vector<Case> cases = {
        {"outside every list", "9,9,9,99,9,9", "1.03", "holds a code the unit cannot have: B.format is 9;"},
        {"parity 3", "0,0,0,21,0,3", "1.03", "B.parity is 3;"},
        {"beyond int (2^32 + 21)", "1,2,0,4294967317,0,2", "1.03", notSix},
        {"five codes", "1,2,0,21,0", "1.03", notSix},
        {"seven codes", "1,2,0,21,0,2,0", "1.03", notSix},
        {"a blank", "1, 2,0,21,0,2", "1.03", notSix},
        {"a plus sign", "+1,2,0,21,0,2", "1.03", notSix},
    };
    auto replies = [](const Case& c) {
        // The last "OK" takes one more line, should the tool send one.
        return std::vector<std::string>{"OK,QLX-11D", "OK," + c.firmware, "OK,1,2,0,21,0,2", "OK," + c.dataB,
                                        "OK"};
    };
    const std::string read = "I\r\nV\r\nAG A\r\nAG B\r\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const std::string message = "the reply to \"AG B\", \"" + c.dataB + "\", ";
        for (const std::vector<std::string>& args : {std::vector<std::string>{"read", "46", "--json"},
                                                     {"write", "46", "--a", "0,0,0,13,0,0", "--json"},
                                                     {"diff", "46", file, "--json"}}) {
            SCOPED_TRACE(args.front());
            ScriptedUnit unit(46, replies(c));
            const CliRun run = Cli(args);
            EXPECT_EQ(run.status, cli::kExitUnitFailed);
            const auto lines = clitest::JsonLines(run.out);
            ASSERT_EQ(lines.size(), 1u) << run.out;
            EXPECT_EQ(lines[0]["port"], 46);
            EXPECT_EQ(lines[0]["error"], "read-failed");
            const std::string text = lines[0]["message"];
            EXPECT_TRUE(text.starts_with(message)) << text;
            EXPECT_NE(text.find(c.problem), std::string::npos) << text;
            EXPECT_TRUE(text.ends_with(": " + Outcome("parameter read failed", status::kReadFailed))) << text;
            EXPECT_EQ(unit.Received(), read);
        }
    }
    // In text, the port and the unit first; and watch takes nothing from such a reply either.
    {
        ScriptedUnit unit(46, replies(cases.front()));
        const CliRun text = Cli({"read", "46"});
        EXPECT_TRUE(text.err.starts_with("COM46 QLX-11D: the reply to \"AG B\", \"9,9,9,99,9,9\""))
            << text.err;
    }
    clitest::WatchRun watch(dir, "--a 0,0,0,13,0,0 --count 1");
    watch.Err("waiting for units");
    ScriptedUnit unit(46, replies(cases.front()));
    ASSERT_TRUE(watch.Program().WaitExit(testenv::kHangGuardMs));
    EXPECT_NE(watch.Out("").find("FAIL COM46 QLX-11D /dev/pts/"), std::string::npos) << watch.Out("");
    EXPECT_EQ(unit.Received(), read);
}

TEST(CliTest, NormalModeSilencesTheUnit) {
    testenv::SimProcess unit({"--com", "44"});
    const CliRun normal = Cli({"normal", "44"});
    EXPECT_EQ(normal.status, cli::kExitSuccess) << normal.err;
    EXPECT_EQ(normal.out, "COM44: " + Outcome("switched to normal mode", status::kNormalModeOn) + "\n");
    EXPECT_EQ(unit.ReceivedBytes(), "E\r\n");
    EXPECT_EQ(Cli({"read", "44"}).status, cli::kExitUnitFailed);
}

TEST(CliTest, PortsListsMappedDevices) {
    testenv::SimProcess unit({"--com", "45"});
    const CliRun ports = Cli({"ports"});
    EXPECT_EQ(ports.status, cli::kExitSuccess);
    EXPECT_NE(ports.out.find("COM45 " + unit.DevicePath() + "\n"), std::string::npos) << ports.out;
}

// A list with nothing in it is said on standard error, with its reason: here a port map folder that
// cannot be made.
TEST(CliTest, PortsSaysWhyItListsNothing) {
    testenv::TempDir dir;
    const std::string notAFolder = clitest::FileWith(dir, "file", "");
    const std::string message = "no COM port: the port map folder " + notAFolder +
                                "/Kestrelan/QLX-DUO/ports cannot be made: Not a directory";
    for (const std::string options : {"", " --all", " --json"}) {
        SCOPED_TRACE(options);
        const CliRun run = testenv::RunToEnd(
            {"/bin/sh", "-c", "XDG_CONFIG_HOME=" + notAFolder + " " + QLXDUO_CLI_PATH + " ports" + options});
        EXPECT_EQ(run.status, cli::kExitUnitFailed);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, options == " --json" ? "{\"error\":\"no-port\",\"message\":\"" + message + "\"}\n"
                                                : "qlxduo-cli: " + message + "\n");
    }
}

// The message names the port and why, and lists the ports present instead, which a unit may be on.
TEST(CliTest, MissingPortExitsThreeNamingThePort) {
    const platform::ComPortMap map = platform::ComPortMap::ForCurrentUser();
    const std::string unplugged = "/dev/serial/by-id/usb-none-if00-port0";
    const std::string loop = platform::ComPortMap::DefaultFolder() + "/com49";
    const std::string missing = "/dev/qlxduo-test-missing";
    ASSERT_TRUE(map.Register(48, unplugged));
    ASSERT_TRUE(map.Register(49, loop));
    testenv::SimProcess present({"--com", "47"});
    // This computer's own serial devices are listed too, in their order.
    const std::string presentPorts = "the ports present are ";
    const std::string presentUnit = "COM47 " + present.DevicePath();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"46", "COM46 has no device in the port map folder"},
        {"48", "the device of COM48 (" + unplugged + ") is not present (unplugged?); " + presentPorts},
        {"49", "the device of COM49 (" + loop + ") is not present (unplugged?); " + presentPorts},
        {missing, missing + ": No such file or directory; " + presentPorts},
    };
    for (const auto& [port, message] : cases) {
        const CliRun run = Cli({"read", port});
        EXPECT_EQ(run.status, cli::kExitOpenFailed);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(presentUnit), std::string::npos) << run.err;
    }
    map.Unregister(48);
    map.Unregister(49);
}

TEST(CliTest, UsageErrorsExitTwoNamingWhatWasWrong) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "a command is needed: ports, find, read, write, diff, normal or watch"},
        {{"bogus"},
         "unknown command \"bogus\"; the commands are ports, find, read, write, diff, normal or watch"},
        {{"ports", "1"}, "the following argument was not expected: 1"},
        {{"--bogus"}, "a command is needed before --bogus: ports, find"},
        {{"read"}, "PORT is required"},
        {{"read", "0"}, "port \"0\": COM numbers run from 1 to 255"},
        {{"read", "256"}, "port \"256\": COM numbers run from 1 to 255"},
        {{"read", "99999999999"}, "port \"99999999999\": COM numbers run from 1 to 255"},
        {{"read", "7x"}, "port \"7x\": give a COM number (7, COM7) or a device path"},
        {{"read", "COM"}, "port \"COM\": give a COM number"},
        {{"read", "rfc2217://192.0.2.7"},
         "port \"rfc2217://192.0.2.7\": give rfc2217://HOST:PORT or socket://HOST:PORT (an IPv6 address in "
         "brackets, PORT 1 to 65535)"},
        {{"find", "socket://[::1]:65536"}, "port \"socket://[::1]:65536\": give rfc2217://HOST:PORT"},
        {{"read", "7", "--xml"}, "the following argument was not expected: --xml"},
        {{"read", "7", "--Xml"}, "the following argument was not expected: --Xml"},
        {{"ports", "--all", "--all"}, "--all is given twice"},
        {{"read", "7", "7"}, "COM7 is given twice"},
        {{"read", "7", "com7"}, "COM7 is given twice"},
        {{"read", "all", "7"}, "\"all\" stands alone"},
        {{"normal", "7", "now"}, "port \"now\": give a COM number"},
        {{"write", "7"}, "write needs --from FILE, --a CODES or --b CODES"},
        {{"write", "7", "--a"}, "--a"},
        {{"write", "7", "--a", "1,2,3"}, "--a \"1,2,3\": six comma-separated whole numbers are needed"},
        {{"write", "7", "--a", "1,2,0,21,0,2", "--a", "1,2,0,21,0,2"}, "--a"},
        {{"write", "7", "--c", "1,2,0,21,0,2"}, "--c"},
        {{"diff", "7"}, "diff needs one or more ports, then a configuration FILE"},
        {{"read", "7", "--trace"}, "--trace"},
        {{"read", "7", "--trace", "t", "--trace-time", "utc"}, "--trace-time: utc not in {mono,wall}"},
        {{"watch"}, "watch needs --from FILE, --a CODES or --b CODES"},
        {{"watch", "7", "--a", "1,2,0,21,0,2"}, "the following argument was not expected: 7"},
        {{"watch", "--a", "1,2,0,21,0,2", "--count", "0"}, "--count"},
        {{"watch", "--a", "1,2,0,21,0,2", "--log", "r", "--csv", "r"}, "--log and --csv name the same file"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(args.empty() ? "(none)" : args.front() + (args.size() > 1 ? " " + args[1] : ""));
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, cli::kExitUsage);
        EXPECT_TRUE(run.err.starts_with("qlxduo-cli: ")) << run.err;
        // In the tool's style the message starts in lower case, whoever wrote it.
        EXPECT_FALSE(run.err.size() > 13 && std::isupper(static_cast<unsigned char>(run.err[12])) &&
                     std::islower(static_cast<unsigned char>(run.err[13])))
            << run.err;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_TRUE(run.err.ends_with("\n(qlxduo-cli --help shows the usage)\n")) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST(CliTest, ProgramReportsThroughItsExitStatus) {
    testenv::SimProcess unit({"--com", "41"});
    const std::vector<std::tuple<std::string, int, std::string>> cases = {
        {"read 41 --json", cli::kExitSuccess, kDefaultJson},
        {"read 47", cli::kExitOpenFailed, ""},
        {"read", cli::kExitUsage, ""},
    };
    for (const auto& [arguments, status, out] : cases) {
        const CliRun run = RunProgram(arguments);
        EXPECT_EQ(run.status, status) << arguments;
        EXPECT_EQ(clitest::Undated(run.out), out) << arguments;
    }
}

}  // namespace
