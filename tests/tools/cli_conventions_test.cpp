// SPDX-License-Identifier: MIT
// Command-line conventions: help, version, port syntaxes, the port list, and JSON that any strict
// reader accepts whatever bytes the unit sends.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

#include "clirun.h"
#include "platform/comportmap.h"
#include "platform/seriallock.h"
#include "qlxduo_version.h"
#include "testenv.h"

namespace {

using clitest::Cli;
using clitest::CliRun;

TEST(CliConventionsTest, HelpAndVersionOnStandardOutput) {
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
        {{"--help"},
         {"Usage: qlxduo-cli COMMAND [PORT...] [OPTIONS]", "ports", "read", "write", "diff", "normal",
          "numbering new devices", "Exit status:"}},
        {{"-h"}, {"Usage: qlxduo-cli COMMAND [PORT...] [OPTIONS]"}},
        {{"write", "--help"},
         {"Usage: qlxduo-cli write PORT... [OPTIONS]", "--from FILE", "--a CODES", "--trace FILE"}},
        {{"diff", "-h"}, {"Usage: qlxduo-cli diff PORT... FILE [OPTIONS]", "configuration FILE"}},
        {{"ports", "--help"}, {"Usage: qlxduo-cli ports [OPTIONS]\n", "--all", "--no-assign", "--json"}},
        {{"read", "7", "--help"}, {"Usage: qlxduo-cli read PORT... [OPTIONS]"}},
        {{"--version"}, {"qlxduo-cli " QLXDUO_VERSION "\n"}},
        {{"-V"}, {"qlxduo-cli " QLXDUO_VERSION "\n"}},
    };
    for (const auto& [args, parts] : cases) {
        SCOPED_TRACE(args.front());
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, cli::kExitSuccess);
        EXPECT_EQ(run.err, "");
        for (const std::string& part : parts) EXPECT_NE(run.out.find(part), std::string::npos) << part;
    }
    for (const char* option : {"--version", "-V"}) {
        EXPECT_EQ(Cli({option}).out, "qlxduo-cli " QLXDUO_VERSION "\n");
        const CliRun program = clitest::RunProgram(option);
        EXPECT_EQ(program.status, cli::kExitSuccess);
        EXPECT_EQ(program.out, "qlxduo-cli " QLXDUO_VERSION "\n");
    }
}

TEST(CliConventionsTest, UsageErrorsWithJsonAreJsonObjects) {
    const CliRun run = Cli({"read", "0", "--json"});
    EXPECT_EQ(run.status, cli::kExitUsage);
    EXPECT_EQ(run.out, "");
    const auto lines = clitest::JsonLines(run.err);
    ASSERT_EQ(lines.size(), 1u) << run.err;
    EXPECT_EQ(lines[0],
              nlohmann::json({{"error", "usage"}, {"message", "port \"0\": COM numbers run from 1 to 255"}}));
}

TEST(CliConventionsTest, PortByNumberByComNameOrByDevicePath) {
    testenv::SimProcess mapped({"--com", "81"});
    testenv::SimProcess unmapped({});  // no COM number: only its path leads to it
    const std::vector<std::pair<std::string, nlohmann::json>> cases = {
        {"81", 81},
        {"COM81", 81},
        {"com81", 81},
        {"Com081", 81},
        {unmapped.DevicePath(), unmapped.DevicePath()},
    };
    for (const auto& [port, shown] : cases) {
        SCOPED_TRACE(port);
        const CliRun run = Cli({"read", port, "--json"});
        EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
        const auto lines = clitest::JsonLines(run.out);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0]["port"], shown);
    }
    const CliRun text = Cli({"read", unmapped.DevicePath()});
    EXPECT_TRUE(text.out.starts_with(unmapped.DevicePath() + "\nidentity: QLX-11D\n")) << text.out;
    const CliRun write = Cli({"write", unmapped.DevicePath(), "--a", "0,0,0,13,0,0"});
    EXPECT_EQ(write.out, unmapped.DevicePath() + " QLX-11D: parameters written (パラメータ書き込み成功)\n");
    EXPECT_EQ(unmapped.ReceivedBytes().substr(unmapped.ReceivedBytes().find("AS A")),
              "AS A 0,0,0,13,0,0\r\nAS B 0,0,0,33,0,0\r\nW 4172093615\r\nAG A\r\nAG B\r\n");

    const std::string missing = "/dev/nonexistent-ttyUSB9";
    const CliRun absent = Cli({"read", missing});
    EXPECT_EQ(absent.status, cli::kExitOpenFailed);
    EXPECT_TRUE(absent.err.starts_with(missing + ": cannot open the port: " + missing +
                                       ": No such file or directory; "))
        << absent.err;

    // A port that another program holds by its lock file: the message names the program too.
    testenv::TempDir locks;
    platform::SetSerialLockFolder(locks.Path());
    testenv::ChildProgram holder({"/bin/sleep", "60"});
    const std::string comm = "/proc/" + std::to_string(holder.Pid()) + "/comm";
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(testenv::kHangGuardMs);
    while (testenv::ReadFile(comm) != "sleep\n" && std::chrono::steady_clock::now() < end) usleep(10000);
    testenv::WriteFile(platform::SerialLockPath(mapped.DevicePath()), std::to_string(holder.Pid()) + "\n");
    const CliRun busy = Cli({"read", "81"});
    platform::SetSerialLockFolder(platform::kSerialLockFolder);
    EXPECT_EQ(busy.status, cli::kExitOpenFailed);
    EXPECT_NE(busy.err.find("process " + std::to_string(holder.Pid()) +
                            " (sleep) holds the port (lock file " + locks.Path()),
              std::string::npos)
        << busy.err;
}

TEST(CliConventionsTest, PortsWithAbsentOnesAndAsJson) {
    testenv::SimProcess unit({"--com", "82"});
    const platform::ComPortMap map = platform::ComPortMap::ForCurrentUser();
    const std::string unplugged = "/dev/serial/by-id/usb-none-if00-port0";
    ASSERT_TRUE(map.Register(83, unplugged));
    const std::string present = "COM82 " + unit.DevicePath() + "\n";
    const std::string absent = "COM83 " + unplugged + " absent (unplugged?)\n";

    const CliRun plain = Cli({"ports"});
    EXPECT_NE(plain.out.find(present), std::string::npos) << plain.out;
    EXPECT_EQ(plain.out.find("COM83"), std::string::npos) << plain.out;
    const CliRun all = Cli({"ports", "--all"});
    EXPECT_NE(all.out.find(present + absent), std::string::npos) << all.out;

    for (const bool withAbsent : {false, true}) {
        SCOPED_TRACE(withAbsent);
        const CliRun json = Cli(withAbsent ? std::vector<std::string>{"ports", "--all", "--json"}
                                           : std::vector<std::string>{"ports", "--json"});
        EXPECT_EQ(json.status, cli::kExitSuccess);
        std::map<int, nlohmann::json> byPort;
        for (const nlohmann::json& line : clitest::JsonLines(json.out)) byPort[line["port"]] = line;
        EXPECT_EQ(byPort[82], nlohmann::json({{"port", 82},
                                              {"name", "COM82"},
                                              {"device", unit.DevicePath()},
                                              {"present", true},
                                              {"adapter", nlohmann::json::object()}}));
        EXPECT_EQ(byPort.contains(83), withAbsent);
        if (withAbsent) {
            EXPECT_EQ(byPort[83], nlohmann::json({{"port", 83},
                                                  {"name", "COM83"},
                                                  {"device", unplugged},
                                                  {"present", false},
                                                  {"adapter", nlohmann::json::object()}}));
        }
    }
    map.Unregister(83);
}

// The identity is raw bytes from the unit: every byte of 0x80 or more becomes \u00XX, so output
// with bytes that are no UTF-8 still reads, and reads back as those bytes.
TEST(CliConventionsTest, JsonStaysStrictWithBytesThatAreNoUtf8) {
    const std::string identity = "QLX-11\xff\xfe\x80\xc3\xa9";
    testenv::SimProcess unit({"--com", "84", "--identity", identity, "--firmware", "1.0\xff"});
    const CliRun run = clitest::RunProgram("read 84 --json");
    EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
    EXPECT_TRUE(clitest::IsAscii(run.out)) << run.out;
    EXPECT_NE(run.out.find(R"("identity":"QLX-11\u00ff\u00fe\u0080\u00c3\u00a9")"), std::string::npos)
        << run.out;
    const nlohmann::json read = nlohmann::json::parse(run.out);  // throws on invalid UTF-8
    std::string bytes;
    for (const char32_t c : std::u32string{U"QLX-11\u00ff\u00fe\u0080\u00c3\u00a9"}) {
        bytes += c < 0x80
                     ? std::string(1, static_cast<char>(c))
                     : std::string{static_cast<char>(0xc0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3f))};
    }
    EXPECT_EQ(read["identity"], bytes);
    EXPECT_EQ(read["firmware"], "1.0\u00ff");

    const CliRun text = Cli({"read", "84"});
    EXPECT_NE(text.out.find("identity: QLX-11\\xFF\\xFE\\x80\\xC3\\xA9\n"), std::string::npos) << text.out;
}

TEST(CliConventionsTest, FailuresAsJsonStayStrictToo) {
    testenv::SimProcess unit({"--com", "85", "--identity", "\xff\xffZ"});
    const CliRun run = Cli({"read", "85", "--json"});
    EXPECT_EQ(run.status, cli::kExitUnitFailed);
    EXPECT_TRUE(clitest::IsAscii(run.out)) << run.out;
    const nlohmann::json failure = nlohmann::json::parse(run.out);
    EXPECT_EQ(failure["port"], 85);
    EXPECT_EQ(failure["identity"], "\u00ff\u00ffZ");
    EXPECT_EQ(failure["error"], "not-a-unit");
    EXPECT_EQ(failure["message"],
              "the device's identity \"\\xFF\\xFFZ\" is not a QLX-DUO's: communication error (通信エラー)");
}

// Output that cannot be written fails the run, and says so where it can: standard output on a full
// disk, a trace on one, and everything into a pipe whose reader has gone (as after `| head -c 20`),
// which must neither kill the tool nor leave the port's lock file behind.
TEST(CliConventionsTest, OutputThatCannotBeWrittenFailsTheRun) {
    testenv::SimProcess unit({"--com", "86"});
    testenv::TempDir dir;
    const std::string lockFile = platform::SerialLockPath(unit.DevicePath());
    const std::string outputFailed = "standard output: writing failed";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"read 86 > /dev/full", "qlxduo-cli: " + outputFailed},
        {"--help > /dev/full", "qlxduo-cli: " + outputFailed},
        {"read 86 --json > /dev/full", R"({"error":"output-failed","message":")" + outputFailed},
        {"read 86 --trace /dev/full", "qlxduo-cli: --trace /dev/full: writing failed"},
        {"write 86 --a 0,0,0,21,0,0 --trace /dev/full --json",
         R"({"error":"output-failed","message":"--trace /dev/full: writing failed)"},
        // The reader's end of a FIFO opened and closed again: no reader is left to take a byte.
        {"read 86 --trace - 3<>" + dir.File("fifo") + " 4>" + dir.File("fifo") + " 3<&- >&4 2>&4", ""},
    };
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(args);
        const CliRun run = clitest::RunProgram(args);
        EXPECT_EQ(run.status, cli::kExitOutputFailed) << "-1: killed\n" << run.err;
        EXPECT_TRUE(run.err.starts_with(message)) << run.err;
        EXPECT_NE(access(lockFile.c_str(), F_OK), 0) << lockFile;
    }
}

}  // namespace
