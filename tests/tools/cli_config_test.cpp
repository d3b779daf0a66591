// SPDX-License-Identifier: MIT
// Configuration files: read -> file -> write to another unit -> diff, what is not read as a file,
// and that a value the unit cannot take sends nothing. How strictly a file's text is read:
// cli_input_test.
#include <gtest/gtest.h>

#include "clirun.h"
#include "hostilefiles.h"
#include "platform/atomicfile.h"
#include "testenv.h"
#include "tools/unitconfig.h"

namespace {

using clitest::Cli;
using clitest::CliRun;
using clitest::FileWith;

constexpr const char* kReadCommands = "I\r\nV\r\nAG A\r\nAG B\r\n";

TEST(CliConfigTest, ReadFileWriteToAnotherUnitThenDiffShowsNothing) {
    testenv::TempDir dir;
    testenv::SimProcess source({"--com", "51", "--a", "2,1,1,44,1,1", "--b", "0,2,0,13,0,1"});
    testenv::SimProcess target({"--com", "52", "--state", dir.File("state")});
    const CliRun read = Cli({"read", "51", "--json"});
    ASSERT_EQ(read.status, cli::kExitSuccess) << read.err;
    const std::string file = FileWith(dir, "unit51.json", read.out);

    const CliRun before = Cli({"diff", "52", file});
    EXPECT_EQ(before.status, cli::kExitUnitFailed);
    EXPECT_EQ(before.out,
              "COM52 QLX-11D: 9 fields differ\n"
              "  A.format: unit 1 (format 1), file 2 (format 2)\n"
              "  A.flow: unit 2 (XON/XOFF), file 1 (RTS/CTS)\n"
              "  A.dataLength: unit 0 (8 bit), file 1 (7 bit)\n"
              "  A.baudCode: unit 21 (9600bps), file 44 (10400bps)\n"
              "  A.stopBits: unit 0 (1 bit), file 1 (2 bit)\n"
              "  A.parity: unit 2 (even), file 1 (odd)\n"
              "  B.flow: unit 0 (none), file 2 (XON/XOFF)\n"
              "  B.baudCode: unit 33 (115200bps), file 13 (1200bps)\n"
              "  B.parity: unit 0 (none), file 1 (odd)\n");

    const CliRun write = Cli({"write", "52", "--from", file});
    EXPECT_EQ(write.status, cli::kExitSuccess) << write.err;
    EXPECT_EQ(testenv::ReadFile(dir.File("state")), "A=2,1,1,44,1,1\nB=0,2,0,13,0,1\n");

    const CliRun after = Cli({"diff", "52", file, "--json"});
    EXPECT_EQ(after.status, cli::kExitSuccess) << after.err;
    const auto lines = clitest::JsonLines(after.out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["result"], "same");
    EXPECT_EQ(lines[0]["differences"], nlohmann::json::array());
    EXPECT_EQ(Cli({"diff", "52", file}).out, "COM52 QLX-11D: the same as the file\n");
    // The diffs only read.
    EXPECT_EQ(target.ReceivedBytes(),
              std::string(kReadCommands) + kReadCommands +
                  "AS A 2,1,1,44,1,1\r\nAS B 0,2,0,13,0,1\r\nW 4172093615\r\nAG A\r\nAG B\r\n" +
                  kReadCommands + kReadCommands);
}

// The same through standard input, with the built program; an option overrides the file's port.
TEST(CliConfigTest, FileFromStandardInputAndOptionsOverIt) {
    testenv::TempDir dir;
    testenv::SimProcess unit({"--com", "53", "--state", dir.File("state")});
    const std::string file =
        FileWith(dir, "a.json",
                 R"({"schema":1,"A":{"format":0,"flow":1,"dataLength":1,"baudRate":134.5,)"
                 R"("stopBits":1,"parity":1},"B":{"format":2,"flow":0,"dataLength":0,)"
                 R"("baud":"200bps","stopBits":0,"parity":2}})");
    const CliRun run = clitest::RunProgram("write 53 --from - --b 0,0,0,33,0,0 < " + file);
    EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
    EXPECT_EQ(testenv::ReadFile(dir.File("state")), "A=0,1,1,9,1,1\nB=0,0,0,33,0,0\n");
    // A file with port B only leaves port A as the unit has it.
    const std::string onlyB = FileWith(dir, "b.json",
                                       R"({"B":{"format":1,"flow":1,"dataLength":1,)"
                                       R"("baudCode":43,"stopBits":1,"parity":1}})");
    EXPECT_EQ(Cli({"write", "53", "--from", onlyB}).status, cli::kExitSuccess);
    EXPECT_EQ(testenv::ReadFile(dir.File("state")), "A=0,1,1,9,1,1\nB=1,1,1,43,1,1\n");
    const CliRun diff = Cli({"diff", "53", onlyB});
    EXPECT_EQ(diff.status, cli::kExitSuccess) << diff.out << diff.err;
}

TEST(CliConfigTest, OnlyRegularFilesOfAtMostOneMebibyte) {
    const auto refused = [](const std::string& path, const std::string& message) {
        cli::UnitConfig config;
        std::string error;
        EXPECT_FALSE(cli::LoadConfig(path, config, error)) << path;
        EXPECT_TRUE(error.starts_with(path + message)) << error;
    };
    const std::string big(platform::kMaxFileSize + 1, ' ');
    const std::string notMade = testenv::ForEachHostileFile(
        testenv::HostileFiles(big, "{}"), [&](const std::string&, const std::string& path) {
            refused(path, ": not a regular file of at most 1 MiB");
        });
    testenv::TempDir dir;
    refused(dir.File("absent.json"), ": no such file");
    refused("/dev/zero", ": not a regular file of at most 1 MiB");
    // Nested so deep that a reader that recursed would run out of stack.
    refused(FileWith(dir, "deep.json", std::string(platform::kMaxFileSize, '[')), ": not JSON: parse error");
    const std::vector<std::pair<std::string, std::string>> standardInputs = {
        {FileWith(dir, "big.json", big), "standard input holds more than 1 MiB"},
        {dir.Path(), "standard input cannot be read"},
    };
    for (const auto& [path, message] : standardInputs) {
        const CliRun run = clitest::RunProgram("write 7 --from - < " + path);
        EXPECT_EQ(run.status, cli::kExitUsage);
        EXPECT_NE(run.err.find("qlxduo-cli: " + message + "\n"), std::string::npos) << run.err;
    }
    if (!notMade.empty()) GTEST_SKIP() << notMade;
}

// Every value is checked before anything is sent; those that need the unit's firmware, once it has
// been read and before "AS" or "W".
TEST(CliConfigTest, BadValueIsAUsageErrorAndSendsNothing) {
    testenv::TempDir dir;
    auto file = [&](const std::string& name, const std::string& codesA) {
        return FileWith(dir, name,
                        R"({"A":{)" + codesA +
                            R"(},"B":{"format":0,"flow":0,"dataLength":0,)"
                            R"("baudCode":33,"stopBits":0,"parity":0}})");
    };
    const std::string format3 =
        file("format3.json", R"("format":3,"flow":0,"dataLength":0,"baudCode":21,"stopBits":0,"parity":0)");
    const std::string baud7 =
        file("baud7.json", R"("format":0,"flow":0,"dataLength":0,"baudCode":7,"stopBits":0,"parity":0)");
    const std::string rate200 =
        file("rate200.json", R"("format":0,"flow":0,"dataLength":0,"baudRate":200,"stopBits":0,"parity":0)");
    const std::string schema2 = FileWith(dir, "schema2.json", R"({"schema":2,"A":{}})");
    const std::string overflow = FileWith(dir, "overflow.json", R"({"A":{"format":1e999}})");
    struct Case {
        std::string title;
        std::string firmware;
        std::vector<std::string> args;  // after "write 54"
        std::string message;
        std::string received;  // all the unit received
    };
    const std::vector<Case> cases = {
        {"format out of range",
         "1.03",
         {"--from", format3},
         format3 + ": A.format is 3; allowed: 0 (none), 1 (format 1), 2 (format 2)",
         ""},
        {"no such baud code",
         "1.03",
         {"--from", baud7},
         baud7 +
             ": A.baudCode is 7; allowed: 8 (110bps), 9 (134.5bps), 10 (150bps), 43 (200bps), 11 (300bps)",
         ""},
        {"option out of range",
         "1.03",
         {"--from", rate200, "--b", "0,3,0,21,0,0"},
         "--b flow is 3; allowed: 0 (none), 1 (RTS/CTS), 2 (XON/XOFF)",
         ""},
        {"parity out of range",
         "1.03",
         {"--a", "0,0,0,21,0,-1"},
         "--a parity is -1; allowed: 0 (none), 1 (odd), 2 (even)",
         ""},
        {"other schema", "1.03", {"--from", schema2}, "schema 2 is not supported", ""},
        {"number beyond a double",
         "1.03",
         {"--from", overflow},
         overflow + ": not a configuration: number overflow parsing '1e999'",
         ""},
        {"trace that cannot be written",
         "1.03",
         {"--a", "0,0,0,21,0,0", "--trace", dir.File("no/such/trace")},
         "--trace " + dir.File("no/such/trace") + ": cannot be opened for writing",
         ""},
        {"rate the firmware lacks",
         "1.01",
         {"--from", rate200},
         "COM54 QLX-11D: A.baudCode is 43 (200bps), which firmware 1.01 does not offer; allowed: 8 (110bps)",
         kReadCommands},
        {"rate the firmware lacks, as an option",
         "1.02",
         {"--b", "0,0,0,44,0,0"},
         "COM54 QLX-11D: --b baudCode is 44 (10400bps), which firmware 1.02 does not offer; allowed: 8 "
         "(110bps), "
         "9 (134.5bps), 10 (150bps), 43 (200bps)",
         kReadCommands},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        testenv::SimProcess unit({"--com", "54", "--firmware", c.firmware});
        std::vector<std::string> args = {"write", "54"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, cli::kExitUsage);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(unit.ReceivedBytes(), c.received);

        args.push_back("--json");
        const CliRun json = Cli(args);
        EXPECT_EQ(json.status, cli::kExitUsage);
        const auto lines = clitest::JsonLines(c.received.empty() ? json.err : json.out);
        ASSERT_EQ(lines.size(), 1u) << json.out << json.err;
        EXPECT_EQ(lines[0]["error"], c.received.empty() ? "usage" : "bad-value");
        EXPECT_NE(lines[0]["message"].get<std::string>().find(c.message.substr(c.message.find(": ") + 2)),
                  std::string::npos)
            << lines[0];
        EXPECT_EQ(unit.ReceivedBytes(), c.received + c.received);
    }
}

}  // namespace
