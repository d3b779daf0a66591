// SPDX-License-Identifier: MIT
#pragma once
// Running qlxduo-cli in the tests: in-process through RunCli, or as the built program with its
// standard error captured too; and reading its JSON output as strictly as any reader would.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "testenv.h"
#include "tools/cli.h"

namespace clitest {

// The exit status (-1 when the program was killed) and what went to out and err.
using CliRun = testenv::FinishedRun;

inline CliRun Cli(const std::vector<std::string>& args, cli::Progress progress = cli::Progress::Hidden) {
    cli::CStringOutput out, err;
    const int status = cli::RunCli(args, out, err, progress);
    return {status, out.Text(), err.Text()};
}

// The built program run by the shell: arguments may end in redirections ("< file").
inline CliRun RunProgram(const std::string& arguments) {
    return testenv::RunToEnd({"/bin/sh", "-c", std::string(QLXDUO_CLI_PATH) + " " + arguments});
}

// Each line of text as JSON, read strictly (the parser refuses invalid UTF-8); a line that is no
// JSON fails the test.
inline std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const nlohmann::json value = nlohmann::json::parse(line, nullptr, false);
        EXPECT_FALSE(value.is_discarded()) << "not JSON: " << line;
        lines.push_back(value);
    }
    return lines;
}

// JSON lines without the time and the adapter that end each unit's line of read, write and diff;
// a line without them stays whole and fails the comparison it is in.
inline std::string Undated(const std::string& text) {
    static const std::regex dated(
        R"re(,"time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d","adapter":\{[^}]*\}\})re");
    return std::regex_replace(text, dated, "}");
}

inline bool IsAscii(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// A file in dir holding text.
inline std::string FileWith(const testenv::TempDir& dir, const std::string& name, const std::string& text) {
    testenv::WriteFile(dir.File(name), text);
    return dir.File(name);
}

}  // namespace clitest
