// The command-line tool end to end against the simulated unit.
#include "tools/cli.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <sstream>

#include "platform/comportmap.h"
#include "testenv.h"
#include "ui/statustexts.h"

namespace {

constexpr const char* kDefaultJson =
    "{\"port\":41,\"identity\":\"QLX-11D\",\"firmware\":\"1.03\","
    "\"A\":{\"format\":1,\"flow\":2,\"dataLength\":0,\"baudCode\":21,\"baud\":\"9600bps\",\"stopBits\":0,"
    "\"parity\":2},"
    "\"B\":{\"format\":0,\"flow\":0,\"dataLength\":0,\"baudCode\":33,\"baud\":\"115200bps\",\"stopBits\":0,"
    "\"parity\":0}}\n";

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun Cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = cli::RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

TEST(CliTest, ReadPrintsTheUnitAsJsonAndText) {
    testenv::SimProcess unit({"--com", "41"});
    const CliRun json = Cli({"read", "41", "--json"});
    EXPECT_EQ(json.status, cli::kExitSuccess) << json.err;
    EXPECT_EQ(json.out, kDefaultJson);
    EXPECT_EQ(json.err, "");

    const CliRun text = Cli({"read", "41"});
    EXPECT_EQ(text.status, cli::kExitSuccess) << text.err;
    for (const char* expected :
         {"COM41: /dev/", "identity: QLX-11D\n", "firmware: 1.03\n",
          "port A: format フォーマット1 (1), flow XON/XOFF (2), data length 8bit (0), baud "
          "9600bps (21), stop bits 1bit (0), parity even (2)\n",
          "port B: format 0:変換なし (0), flow non (0)"}) {
        EXPECT_NE(text.out.find(expected), std::string::npos) << expected << "\n" << text.out;
    }
    EXPECT_EQ(unit.ReceivedBytes(), std::string("I\r\nV\r\nAG A\r\nAG B\r\n") + "I\r\nV\r\nAG A\r\nAG B\r\n");
}

TEST(CliTest, WriteSendsBothPortsThenStoresAndVerifies) {
    testenv::TempDir dir;
    testenv::SimProcess unit({"--com", "42", "--state", dir.File("state")});
    const CliRun write = Cli({"write", "42", "--a", "0,1,1,44,1,1"});
    EXPECT_EQ(write.status, cli::kExitSuccess) << write.err;
    EXPECT_EQ(write.out, std::string(status::kWriteSucceeded) + "\n");
    EXPECT_EQ(unit.ReceivedBytes(),
              "I\r\nV\r\nAG A\r\nAG B\r\n"
              "AS A 0,1,1,44,1,1\r\nAS B 0,0,0,33,0,0\r\nW 4172093615\r\n"
              "AG A\r\nAG B\r\n");
    EXPECT_EQ(testenv::ReadFile(dir.File("state")), "A=0,1,1,44,1,1\nB=0,0,0,33,0,0\n");

    const CliRun both = Cli({"write", "42", "--b", "2,2,1,8,1,2", "--a", "1,0,0,13,0,1"});
    EXPECT_EQ(both.status, cli::kExitSuccess) << both.err;
    EXPECT_EQ(testenv::ReadFile(dir.File("state")), "A=1,0,0,13,0,1\nB=2,2,1,8,1,2\n");
}

TEST(CliTest, UnitFailuresExitOneWithTheStatusText) {
    struct Case {
        std::string title;
        std::vector<std::string> simOptions;
        std::vector<std::string> args;  // port 43 is appended after the command
        const char* message;
        std::string lastCommand;  // the last line the unit received
    };
    const std::vector<Case> cases = {
        {"silent unit", {"--silent"}, {"read"}, status::kNotInSettingMode, "I\r\n"},
        {"foreign identity", {"--identity", "QLX-21A"}, {"read"}, status::kCommunicationError, "I\r\n"},
        {"version refused", {"--reject", "V"}, {"read"}, status::kNotInSettingMode, "V\r\n"},
        {"AG B refused", {"--reject", "AG B"}, {"read"}, status::kReadFailed, "AG B\r\n"},
        {"AS B refused: no store",
         {"--reject", "AS B"},
         {"write", "--a", "0,0,0,21,0,0"},
         status::kWriteFailed,
         "AS B 0,0,0,33,0,0\r\n"},
        {"rate the firmware lacks",
         {"--firmware", "1.01"},
         {"write", "--b", "0,0,0,44,0,0"},
         status::kWriteFailed,
         "AS B 0,0,0,44,0,0\r\n"},
        {"store refused",
         {"--reject", "W"},
         {"write", "--a", "0,0,0,21,0,0"},
         status::kWriteFailed,
         "W 4172093615\r\n"},
        {"normal mode refused", {"--reject", "E"}, {"normal"}, status::kNormalModeFailed, "E\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        std::vector<std::string> options = c.simOptions;
        options.insert(options.end(), {"--com", "43"});
        testenv::SimProcess unit(options);
        std::vector<std::string> args = c.args;
        args.insert(args.begin() + 1, "43");
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, cli::kExitUnitFailed);
        EXPECT_EQ(run.err, std::string(c.message) + "\n");
        EXPECT_TRUE(unit.ReceivedBytes().ends_with(c.lastCommand)) << unit.ReceivedBytes();
    }
}

TEST(CliTest, NormalModeSilencesTheUnit) {
    testenv::SimProcess unit({"--com", "44"});
    const CliRun normal = Cli({"normal", "44"});
    EXPECT_EQ(normal.status, cli::kExitSuccess) << normal.err;
    EXPECT_EQ(normal.out, std::string(status::kNormalModeOn) + "\n");
    EXPECT_EQ(unit.ReceivedBytes(), "E\r\n");
    EXPECT_EQ(Cli({"read", "44"}).status, cli::kExitUnitFailed);
}

TEST(CliTest, PortsListsMappedDevices) {
    testenv::SimProcess unit({"--com", "45"});
    const CliRun ports = Cli({"ports"});
    EXPECT_EQ(ports.status, cli::kExitSuccess);
    EXPECT_NE(ports.out.find("COM45 " + unit.DevicePath() + "\n"), std::string::npos) << ports.out;
}

TEST(CliTest, MissingPortExitsThreeNamingThePort) {
    const platform::ComPortMap map = platform::ComPortMap::ForCurrentUser();
    const std::string unplugged = "/dev/serial/by-id/usb-none-if00-port0";
    const std::string loop = platform::ComPortMap::DefaultFolder() + "/com49";
    ASSERT_TRUE(map.Register(48, unplugged));
    ASSERT_TRUE(map.Register(49, loop));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"46", "COM46 has no device in the port map folder"},
        {"48", "the device of COM48 (" + unplugged + ") is not present (unplugged?)\n"},
        {"49", "the device of COM49 (" + loop + ") is not present (unplugged?)\n"},
    };
    for (const auto& [port, message] : cases) {
        const CliRun run = Cli({"read", port});
        EXPECT_EQ(run.status, cli::kExitOpenFailed);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    }
    map.Unregister(48);
    map.Unregister(49);
}

TEST(CliTest, UsageErrorsExitTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"bogus"},
        {"ports", "1"},
        {"read"},
        {"read", "0"},
        {"read", "256"},
        {"read", "7x"},
        {"read", "7", "--xml"},
        {"read", "7", "--json", "--json"},
        {"normal", "7", "now"},
        {"write", "7"},
        {"write", "7", "--a"},
        {"write", "7", "--a", "1,2,3"},
        {"write", "7", "--c", "1,2,0,21,0,2"},
    };
    for (const auto& args : cases) {
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, cli::kExitUsage) << (args.empty() ? "(none)" : args.front());
        EXPECT_EQ(run.err, cli::kUsage);
        EXPECT_EQ(run.out, "");
    }
}

// The built program: its exit status and standard output.
CliRun RunProgram(const std::string& arguments) {
    const std::string command = std::string(QLXDUO_CLI_PATH) + " " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[512];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, ""};
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
        EXPECT_EQ(run.out, out) << arguments;
    }
}

}  // namespace
