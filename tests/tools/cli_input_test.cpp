// SPDX-License-Identifier: MIT
// What qlxduo-cli reads, alike on every system (this program runs under Wine too): its command
// lines, with ports and files named in either system's way and words that begin with "/" read in
// either system's way, and its configuration files.
#include <gtest/gtest.h>

#include "platform/atomicfile.h"
#include "testenv.h"
#include "tools/cliargs.h"
#include "tools/unitconfig.h"

namespace {

constexpr const char* kCommandNames[] = {"ports", "find", "read", "write", "diff", "normal", "watch"};

using cmdline::SlashWords;

// The request in short ("diff COM7 from /tmp/unit.json"), or the exit status and first line of
// the help or the usage error, with the words beginning with "/" read as on Linux or on Windows.
std::string Summary(const std::vector<std::string>& args, SlashWords slashWords) {
    cli::Request request;
    cli::CStringOutput out, err;
    if (const auto exit = cli::ParseArguments(args, request, out, err, slashWords)) {
        const std::string message = err.Text() + out.Text();
        return "exit " + std::to_string(*exit) + ": " + message.substr(0, message.find('\n'));
    }
    std::string text = kCommandNames[static_cast<int>(request.command)];
    if (request.everyPort) text += " all";
    for (const cli::PortSpec& port : request.ports) text += " " + port.Name();
    if (!request.configFile.empty()) text += " from " + request.configFile;
    if (request.a) text += " a " + unit::JoinCodes(*request.a);
    if (!request.traceFile.empty()) text += " trace " + request.traceFile;
    if (request.json) text += " json";
    if (request.withAbsent) text += " with absent";
    if (request.readOnly) text += " read only";
    return text;
}

TEST(CliInputTest, CommandLinesAreReadAlikeOnEverySystem) {
    const auto Refused = [](const std::string& word) {
        return "exit 2: qlxduo-cli: \"" + word +
               "\": options begin with -- (a path that begins with / comes after --)";
    };
    struct Case {
        std::vector<std::string> args;
        std::string linux;         // the summary with the words beginning with "/" read as on Linux
        std::string windows = "";  // as on Windows; empty: the same
    };
    const std::vector<Case> cases = {
        {{"read", "7", "COM8", "com9", "\\\\.\\COM10", "rfc2217://rack1:2001"},
         "read COM7 COM8 COM9 \\\\.\\COM10 rfc2217://rack1:2001"},
        // A word that begins with "/" is a path on Linux; on Windows, where options are also written
        // so, "/?" asks for the help and another such word is an option mistyped, unless it comes
        // after "--" or begins a device path (//./COM7).
        {{"diff", "7", "/tmp/unit.json"}, "diff COM7 from /tmp/unit.json", Refused("/tmp/unit.json")},
        {{"diff", "7", "--", "/tmp/unit.json"}, "diff COM7 from /tmp/unit.json"},
        {{"read", "7", "/json"},
         "read COM7 /json",
         "exit 2: qlxduo-cli: \"/json\": options begin with -- (--json)"},
        {{"read", "7", "/TRACE:t.log"},
         "read COM7 /TRACE:t.log",
         "exit 2: qlxduo-cli: \"/TRACE:t.log\": options begin with -- (--trace)"},
        {{"/json", "read", "7"},
         "exit 2: qlxduo-cli: unknown command \"/json\"; the commands are ports, find, read, write, diff, "
         "normal or watch",
         "exit 2: qlxduo-cli: \"/json\": options begin with -- (--json)"},
        {{"read", "//./COM7", "/"}, "read //./COM7 /"},
        {{"/?"},
         "exit 2: qlxduo-cli: unknown command \"/?\"; the commands are ports, find, read, write, diff, "
         "normal or watch",
         "exit 0: qlxduo-cli reads, writes and compares QLX-DUO serial converters in setting"},
        {{"read", "7", "/?"},
         "read COM7 /?",
         "exit 0: Print each unit's identity, firmware and both ports' codes"},
        {{"read", "7", "--trace", "/?"}, "read COM7 trace /?"},
        {{"diff", "7", "8", "C:\\units\\unit 7.json", "--json"},
         "diff COM7 COM8 from C:\\units\\unit 7.json json"},
        {{"write", "all", "--from", "/tmp/unit.json", "--trace", "Z:\\trace.log"},
         "write all from /tmp/unit.json trace Z:\\trace.log"},
        {{"write", "7", "--a", "0,1,1,44,1,1", "--trace", "-"}, "write COM7 a 0,1,1,44,1,1 trace -"},
        {{"ports", "--all", "--json"}, "ports json with absent"},
        {{"ports", "--no-assign"}, "ports read only"},
        // find probes every port present unless given ports.
        {{"find"}, "find all"},
        {{"find", "7", "/dev/ttyUSB0"}, "find COM7 /dev/ttyUSB0", Refused("/dev/ttyUSB0")},
        {{"find", "all", "7"}, "exit 2: qlxduo-cli: \"all\" stands alone: give it, or ports, not both"},
        {{"read", "7", "com7"}, "exit 2: qlxduo-cli: COM7 is given twice"},
        {{"read", "256"}, "exit 2: qlxduo-cli: port \"256\": COM numbers run from 1 to 255"},
        {{"diff", "/tmp/unit.json"},
         "exit 2: qlxduo-cli: diff needs one or more ports, then a configuration FILE",
         Refused("/tmp/unit.json")},
        {{"write", "7"}, "exit 2: qlxduo-cli: write needs --from FILE, --a CODES or --b CODES"},
        {{"read"}, "exit 2: qlxduo-cli: PORT is required"},
        {{"read", "7", "x", "--bogus"},
         "exit 2: qlxduo-cli: the following argument was not expected: --bogus"},
        // A command takes only its own options.
        {{"ports", "--trace", "t.log"}, "exit 2: qlxduo-cli: --trace is not an option of ports"},
        {{"read", "7", "--from", "u.json"}, "exit 2: qlxduo-cli: --from is not an option of read"},
        // An option's value after "=" or as the next word, never read as an option itself (a help
        // asked for, a JSON error); after "--" every word is a port or a file.
        {{"read", "7", "--trace=t.log", "--json"}, "read COM7 trace t.log json"},
        {{"read", "7", "--trace", "-h"}, "read COM7 trace -h"},
        {{"read", "7", "--trace", "-h", "-h"},
         "exit 0: Print each unit's identity, firmware and both ports' codes"},
        {{"read", "7", "--bogus", "--help"},
         "exit 0: Print each unit's identity, firmware and both ports' codes"},
        {{"diff", "7", "--", "--unit.json"}, "diff COM7 from --unit.json"},
        {{"read", "--", "--json"},
         "exit 2: qlxduo-cli: port \"--json\": give a COM number (7, COM7) or a device path..."},
        {{"read", "7", "--", "-h"},
         "exit 2: qlxduo-cli: port \"-h\": give a COM number (7, COM7) or a device path..."},
        {{"read", "7", "--json", "--json"},
         "exit 2: {\"error\":\"usage\",\"message\":\"--json is given twice\"}"},
        {{"read", "7", "--json=yes"}, "exit 2: qlxduo-cli: --json takes no value"},
        {{"read", "7", "--trace="}, "exit 2: qlxduo-cli: --trace needs FILE"},
        {{"read", "7", "--trace", "--bogus"}, "exit 2: qlxduo-cli: --trace needs FILE"},
        {{"watch", "--a", "1,2,0,21,0,2", "--count", "12x"},
         "exit 2: qlxduo-cli: --count 12x: give a whole number from 1 to 1000000"},
    };
    // The summary, or its beginning when the expected text ends in "...".
    const auto Read = [](const std::vector<std::string>& args, SlashWords slashWords,
                         const std::string& expected) {
        const std::string summary = Summary(args, slashWords);
        return expected.ends_with("...") ? summary.substr(0, expected.size() - 3) + "..." : summary;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        EXPECT_EQ(Read(c.args, SlashWords::Paths, c.linux), c.linux);
        const std::string& windows = c.windows.empty() ? c.linux : c.windows;
        EXPECT_EQ(Read(c.args, SlashWords::WindowsOptions, windows), windows);
    }
}

// Nested levels deep: arrays, each in the one before.
std::string Nested(size_t levels) {
    return std::string(levels, '[') + std::string(levels, ']');
}

TEST(CliInputTest, ConfigurationTextsAreReadStrictly) {
    const std::string a = R"("A":{"format":1,"flow":2,"dataLength":0,"baudCode":21,"stopBits":0,"parity":2})";
    // As deep as a file of 1 MiB can nest: a reader, a message or a clean-up that recursed would
    // run out of stack (on Windows, whose stack is smaller, long before).
    const size_t deepest = (platform::kMaxFileSize - 32) / 2;
    struct Case {
        std::string text;
        std::string result;  // the codes read, "A=...;B=..." with "-" for a port not given; or the error
    };
    const std::vector<Case> cases = {
        {"{" + a + "}", "A=1,2,0,21,0,2;B=-"},
        {R"({"schema":1,"port":7,"identity":"x","comment":[1],)" + a + "}", "A=1,2,0,21,0,2;B=-"},
        {R"({"B":{"format":0,"flow":0,"dataLength":0,"baudRate":9600,"baud":"9600bps","baudCode":21,)"
         R"("stopBits":0,"parity":0}})",
         "A=-;B=0,0,0,21,0,0"},
        // Read as given: the codes are checked afterwards.
        {R"({"A":{"format":-1,"flow":9,"dataLength":0,"baudCode":99,"stopBits":0,"parity":0}})",
         "A=-1,9,0,99,0,0;B=-"},
        {R"({"schema":2,)" + a + "}", "schema 2 is not supported; this qlxduo-cli reads schema 1"},
        {R"({"schema":"1",)" + a + "}", "schema \"1\" is not supported"},
        {"[1]", "not a configuration: a JSON object is needed"},
        {R"({"schema":1})", "holds neither \"A\" nor \"B\""},
        {R"({"A":[1,2,0,21,0,2]})", "A must be an object holding the port's codes"},
        {R"({"A":{"format":1}})", "A.flow is missing"},
        {R"({"A":{"format":1,"flow":2,"dataLength":0,"stopBits":0,"parity":2}})",
         "A.baudCode is missing (or give baudRate or baud)"},
        {R"({"A":{"format":1.5,"flow":2,"dataLength":0,"baudCode":21,"stopBits":0,"parity":2}})",
         "A.format must be a whole number, not 1.5"},
        {R"({"A":{"format":"1","flow":2,"dataLength":0,"baudCode":21,"stopBits":0,"parity":2}})",
         "A.format must be a whole number, not \"1\""},
        {R"({"A":{"format":99999999999,"flow":2,"dataLength":0,"baudCode":21,"stopBits":0,"parity":2}})",
         "A.format must be a whole number, not 99999999999"},
        {R"({"A":{"format":1,"flow":2,"dataLength":0,"baudCode":21,"baudRate":19200,"stopBits":0,"parity":2}})",
         "A.baudCode 21 (9600bps) and A.baudRate 19200 name different rates"},
        {R"({"A":{"format":1,"flow":2,"dataLength":0,"baudRate":9601,"stopBits":0,"parity":2}})",
         "A.baudRate 9601 is no rate of the unit; allowed: 110, 134.5, 150, 200, 300"},
        {R"({"A":{"format":1,"flow":2,"dataLength":0,"baud":"fast","stopBits":0,"parity":2}})",
         "A.baud \"fast\" is no rate of the unit; allowed: \"110bps\", \"134.5bps\""},
        {"{" + a + ",\n", "not JSON: parse error at line 2, column 1"},
        {"{" + a + "}\n{" + a + "}\n", "not JSON: parse error at line 2"},
        {"{\"A\":\"\xff\"}", "not JSON: parse error"},
        {"", "not JSON: parse error"},
        // The library's reader takes a NUL byte for the end of the text.
        {"{" + a + std::string("}\0garbage", 9), "not JSON: byte 81 is NUL"},
        {std::string("\0", 1), "not JSON: byte 1 is NUL"},
        // Numbers beyond a double, which the library refuses by throwing.
        {R"({"A":{"format":1e999}})", "not a configuration: number overflow parsing '1e999'"},
        {R"({"A":{"format":1,"flow":2,"dataLength":0,"baudRate":-1e999,"stopBits":0,"parity":2}})",
         "not a configuration: number overflow parsing '-1e999'"},
        {R"({"schema":1e999})", "not a configuration: number overflow"},
        // A value is shown within bounds, never written out whole.
        {R"({"A":{"format":)" + Nested(deepest) + "}}", "A.format must be a whole number, not [...]"},
        {R"({"A":)" + Nested(deepest) + "}", "A must be an object holding the port's codes"},
        {R"({"schema":)" + Nested(deepest) + "}", "schema [...] is not supported"},
        {R"({"A":{"format":1,"flow":2,"dataLength":0,"baud":{"a":)" + Nested(deepest) + "}}}",
         "A.baud {...} is no rate of the unit"},
        {R"({"A":{"format":")" + std::string(500000, 'x') + R"("}})",
         "A.format must be a whole number, not \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...\"\n"},
        {"[\"" + std::string(500000, 'x'), "not JSON: parse error at line 1, column 500003"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 200));
        cli::UnitConfig config;
        std::string error;
        const bool read = cli::ParseConfig(c.text, config, error);
        const std::string result = !read ? error + "\n"
                                         : "A=" + (config.a ? unit::JoinCodes(*config.a) : "-") +
                                               ";B=" + (config.b ? unit::JoinCodes(*config.b) : "-");
        EXPECT_TRUE(result.starts_with(c.result)) << result.substr(0, 1000);
        EXPECT_LT(result.size(), 1000u) << "a message cut short";
    }
}

// A file is found by its name as given, whatever characters it holds.
TEST(CliInputTest, ConfigurationFilesOfAnyName) {
    testenv::TempDir dir;
    const std::string named = dir.File("設定 1.json");
    testenv::WriteFile(named,
                       R"({"B":{"format":0,"flow":0,"dataLength":0,"baudCode":33,"stopBits":0,"parity":0}})");
    cli::UnitConfig config;
    std::string error;
    ASSERT_TRUE(cli::LoadConfig(named, config, error)) << error;
    ASSERT_TRUE(config.b);
    EXPECT_EQ(unit::JoinCodes(*config.b), "0,0,0,33,0,0");
    EXPECT_FALSE(config.a);

    const std::vector<std::pair<std::string, std::string>> refused = {
        {dir.File("設定 2.json"), dir.File("設定 2.json") + ": no such file"},
        {dir.Path(), dir.Path() + ": not a regular file of at most 1 MiB"},
    };
    for (const auto& [path, message] : refused) {
        EXPECT_FALSE(cli::LoadConfig(path, config, error)) << path;
        EXPECT_EQ(error, message);
    }
}

}  // namespace
