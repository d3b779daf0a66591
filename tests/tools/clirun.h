// SPDX-License-Identifier: MIT
#pragma once
// Running qlxduo-cli in the tests: in-process through RunCli, or as the built program with its
// standard error captured too, or watch in the background; and reading its JSON output as strictly
// as any reader would.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "testenv.h"
#include "tools/cli.h"

namespace clitest {

// The exit status (-1 when the program was killed) and what went to out and err.
using CliRun = testenv::FinishedRun;

// Runs the tool with the arguments: in-process, or as a program of its own (the Windows build
// under Wine, say).
using ToolRun = std::function<CliRun(const std::vector<std::string>&)>;

// The text with each token in names ("{PEER}", say) replaced by its name.
inline std::string Filled(std::string text, const std::map<std::string, std::string>& names) {
    for (const auto& [token, name] : names) {
        for (size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + name.size()))
            text.replace(at, token.size(), name);
    }
    return text;
}

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

// The fields of one CSV line (RFC 4180: quoted fields, their quotes doubled), as a spreadsheet reads
// them.
inline std::vector<std::string> CsvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else if (quoted || (c != '\r' && c != '\n')) {
            fields.back() += c;
        }
    }
    return fields;
}

// A file in dir holding text.
inline std::string FileWith(const testenv::TempDir& dir, const std::string& name, const std::string& text) {
    testenv::WriteFile(dir.File(name), text);
    return dir.File(name);
}

// watch, the program itself in the background, its output in files.
class WatchRun {
public:
    WatchRun(const testenv::TempDir& dir, const std::string& options)
        : m_out(dir.File("watch.out")),
          m_program({"/bin/sh", "-c",
                     "exec " + std::string(QLXDUO_CLI_PATH) + " watch " + options + " >" + m_out + " 2>" +
                         dir.File("watch.err")}),
          m_err(dir.File("watch.err")) {}
    // Waits for text in standard output (or error); what it holds then.
    std::string Out(const std::string& text) const { return WaitFor(m_out, text); }
    std::string Err(const std::string& text) const { return WaitFor(m_err, text); }
    testenv::ChildProgram& Program() { return m_program; }

private:
    static std::string WaitFor(const std::string& path, const std::string& text) {
        std::string held;
        testenv::WaitUntil([&] { return (held = testenv::ReadFile(path)).find(text) != std::string::npos; });
        return held;
    }

    std::string m_out;
    testenv::ChildProgram m_program;
    std::string m_err;
};

// Waits until the unit has received text (a hang guard aside); whether it has.
inline bool UnitReceived(const testenv::SimProcess& unit, const std::string& text) {
    return testenv::WaitUntil([&] { return unit.ReceivedBytes().find(text) != std::string::npos; });
}

}  // namespace clitest
