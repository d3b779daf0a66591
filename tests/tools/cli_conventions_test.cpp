// SPDX-License-Identifier: MIT
// Command-line conventions: help, version, port syntaxes, the port list, and JSON that any strict
// reader accepts whatever bytes the unit sends.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <map>
#include <sstream>

#include "clirun.h"
#include "ports/comportmap.h"
#include "qlxduo_version.h"
#include "serial/seriallock.h"
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

// The identity is raw bytes from the unit: in JSON every byte of 0x80 or more becomes \u00XX, so
// output with bytes that are no UTF-8 still reads, and reads back as those bytes.
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

    // In text, the bytes that are no UTF-8 character as \xNN; a whole character (é) as it is.
    const CliRun text = Cli({"read", "84"});
    EXPECT_NE(text.out.find("identity: QLX-11\\xFF\\xFE\\x80\xc3\xa9\n"), std::string::npos) << text.out;
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

// Hostile text in every place a unit or a port map can put it: no control character and no byte
// that is no UTF-8 reaches a line raw, in any output; JSON stays strict ASCII with the message
// escaped alike; and no CSV cell starts a formula. Each text is fenced by Z, so that a byte of a
// Japanese status text is not taken for it.
TEST(CliConventionsTest, HostileTextIsShownEscapedInEveryOutput) {
    struct Case {
        const char* title;
        std::string text;      // as the unit or the link holds it
        std::string shown;     // as a line of text shows it
        std::string firmware;  // the unit's firmware
    };
    std::vector<Case> cases = {
        {"ESC CSI", "Z\x1b[31mZ", "Z\\u001b[31mZ", ""},
        {"BEL", "Z\aZ", "Z\\u0007Z", ""},
        {"TAB", "Z\tZ", "Z\\u0009Z", ""},
        {"DEL", "Z\x7fZ", "Z\\u007fZ", ""},
        {"C1 CSI", "Z\xc2\x9bZ", "Z\\u009bZ", ""},
        {"RLO", "Z\xe2\x80\xaeZ", "Z\\u202eZ", ""},
        {"PDI", "Z\xe2\x81\xa9Z", "Z\\u2069Z", ""},
        {"no UTF-8", "Z\x9bZ", "Z\\x9BZ", ""},
        {"formula =", "=1+2", "=1+2", "=1+2"},
        {"formula +", "+1+2", "+1+2", "+1+2"},
        {"formula -", "-2+3", "-2+3", "-2+3"},
        {"formula @", "@SUM(A1)", "@SUM(A1)", "@SUM(A1)"},
    };
    for (Case& c : cases) {
        if (c.firmware.empty()) c.firmware = "1.03" + c.text;
    }
    const platform::ComPortMap map = platform::ComPortMap::ForCurrentUser();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        testenv::SimProcess unit({"--com", "87", "--identity", "QLX-11" + c.text, "--firmware", c.firmware});
        testenv::SimProcess foreign({"--com", "88", "--identity", "FOO-1" + c.text});
        ASSERT_TRUE(map.Register(89, "socket://" + c.text + "h:x"));
        const CliRun many = Cli({"read", "87", "88", "89"});
        const CliRun found = Cli({"find", "87", "88"});
        const std::vector<std::pair<std::string, std::string>> texts = {
            {Cli({"read", "87"}).out, "identity: QLX-11" + c.shown},
            {many.out, "COM87 QLX-11" + c.shown + ": firmware "},
            {many.err, "COM88 FOO-1" + c.shown + ": the device's identity \"FOO-1" + c.shown},
            {many.err, "(socket://" + c.shown + "h:x)"},
            {found.out, ": QLX-11" + c.shown + ", firmware "},
            {found.err, "COM88 answered \"I\" but is not a QLX-DUO: FOO-1" + c.shown + "\n"},
            {Cli({"ports"}).out, "COM89 socket://" + c.shown + "h:x\n"},
            {Cli({"read", "--", c.text}).err, "port \"" + c.shown + "\""},
        };
        for (const auto& [text, expected] : texts) {
            EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
            if (c.text != c.shown) {
                EXPECT_EQ(text.find(c.text), std::string::npos) << text;
            }
        }
        for (const std::string& json :
             {Cli({"read", "87", "88", "89", "--json"}).out, Cli({"find", "87", "88", "--json"}).out,
              Cli({"ports", "--json"}).out, Cli({"read", "--json", "--", c.text}).err}) {
            EXPECT_TRUE(clitest::IsAscii(json)) << json;
            for (const nlohmann::json& line : clitest::JsonLines(json)) {
                if (!line.contains("message")) continue;
                const std::string message = line["message"];
                EXPECT_NE(message.find(c.shown), std::string::npos) << message;
            }
        }
        map.Unregister(89);
    }

    // watch: the PASS or FAIL line, the record in JSON Lines and in CSV.
    testenv::TempDir dir;
    clitest::WatchRun watch(dir, "--a 0,0,0,13,0,0 --count " + std::to_string(cases.size()) + " --log " +
                                     dir.File("log") + " --csv " + dir.File("csv"));
    watch.Err("waiting for units");
    std::vector<std::unique_ptr<testenv::SimProcess>> units;
    for (size_t i = 0; i < cases.size(); ++i) {
        units.push_back(std::make_unique<testenv::SimProcess>(
            std::vector<std::string>{"--com", std::to_string(90 + i), "--identity", "QLX-11" + cases[i].text,
                                     "--firmware", cases[i].firmware}));
    }
    ASSERT_TRUE(watch.Program().WaitExit(testenv::kHangGuardMs));
    const std::string out = watch.Out("");
    EXPECT_EQ(clitest::JsonLines(testenv::ReadFile(dir.File("log"))).size(), cases.size());
    std::map<std::string, std::vector<std::string>> csvByPort;
    std::istringstream csv(testenv::ReadFile(dir.File("csv")));
    for (std::string line; std::getline(csv, line);) {
        const std::vector<std::string> fields = clitest::CsvFields(line);
        ASSERT_EQ(fields.size(), 20u) << line;
        csvByPort[fields[2]] = fields;
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.title);
        const std::string port = "COM" + std::to_string(90 + i);
        EXPECT_NE(out.find(" " + port + " QLX-11" + c.shown + " /dev/pts/"), std::string::npos) << out;
        if (c.text != c.shown) {
            EXPECT_EQ(out.find(c.text), std::string::npos) << out;
        }
        const std::vector<std::string>& fields = csvByPort[port];
        ASSERT_EQ(fields.size(), 20u);
        EXPECT_EQ(fields[9], "QLX-11" + c.shown);
        const bool formula = c.text == c.firmware;
        EXPECT_EQ(fields[10], formula ? "'" + c.text : "1.03" + c.shown);
        // The tool's own numbers stay numbers.
        EXPECT_EQ(fields[11], "1,2,0,21,0,2");
        EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(fields[19].front()))) << fields[19];
    }
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
