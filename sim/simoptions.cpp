// SPDX-License-Identifier: MIT
#include <CLI/CLI.hpp>

#include <functional>

#include "platform/portlist.h"
#include "qlxduo_version.h"
#include "sim/simrun.h"

namespace sim {
namespace {

constexpr int kLongestReplyDelayMs = 60000;

std::string CheckCodes(const std::string& text) {
    unit::PortParameters codes;
    return unit::ParseCodeList(text, codes) ? ""
                                            : "six comma-separated whole numbers are needed: "
                                              "format,flow,dataLength,baudCode,stopBits,parity";
}

// Refuses an empty prefix, naming what it would do.
std::function<std::string(const std::string&)> NonEmptyPrefix(const std::string& wouldDo) {
    return
        [wouldDo](const std::string& text) { return text.empty() ? "an empty prefix would " + wouldDo : ""; };
}

// The codes that CLI11 keeps as text until they are known to be six numbers.
struct CodeTexts {
    std::string a;
    std::string b;
};

void DefineOptions(CLI::App& app, SimOptions& o, CodeTexts& codes) {
    app.add_option("--com", o.com,
                   "Register the unit in the port map as COM N while it runs (never over another's link)")
        ->check(CLI::Range(platform::kLowestComPort, platform::kHighestComPort))
        ->type_name("N");
    app.add_option("--identity", o.unit.identity, "The identity it answers to I (default QLX-11D)")
        ->type_name("TEXT");
    app.add_option("--firmware", o.unit.firmware, "The version it answers to V (default 1.03)")
        ->type_name("X.YZ");
    app.add_option("--a", codes.a,
                   "Port A's codes at start (format,flow,dataLength,baudCode,stopBits,parity)")
        ->check(CheckCodes)
        ->type_name("CODES");
    app.add_option("--b", codes.b, "Port B's codes at start")->check(CheckCodes)->type_name("CODES");
    app.add_option("--state", o.unit.stateFile, "Keep the stored codes in FILE across runs")
        ->type_name("FILE");
    app.add_option("--reply-delay", o.unit.replyDelayMs, "Wait this long before each reply")
        ->check(CLI::Range(0, kLongestReplyDelayMs))
        ->type_name("MS");
    app.add_flag("--silent", o.unit.silent, "Never answer");
    app.add_option("--reject", o.unit.rejects,
                   "Answer NG to the commands that start with PREFIX (repeatable)")
        ->check(NonEmptyPrefix("refuse every command"))
        ->type_name("PREFIX")
        ->expected(1)
        ->take_all();
    app.add_option("--hold", o.unit.hold,
                   "Hold back the reply to a command that starts with PREFIX, and the replies after it, "
                   "until SIGUSR2 (for tests)")
        ->check(NonEmptyPrefix("hold every reply"))
        ->type_name("PREFIX");
    app.add_option("--log", o.logFile,
                   "Append every line received and sent, time-stamped as qlxduo-cli --trace writes them, to "
                   "FILE, a regular file, a terminal or /dev/null (default: standard error)")
        ->type_name("FILE");
    app.add_option("--wire", o.wireFile,
                   "Append every byte received, exactly as it came, to FILE (as for --log)")
        ->type_name("FILE");
}

}  // namespace

SimArguments ParseSimOptions(const std::vector<std::string>& args, SimOptions& options, std::string& text) {
    CLI::App app(
        "qlxduo-sim plays a QLX-DUO unit in setting mode on a pseudo-terminal; it prints the\n"
        "terminal's path first and ends on SIGTERM or SIGINT. SIGUSR1 is the unit's mode switch;\n"
        "SIGUSR2 sends the replies that --hold held back.",
        "qlxduo-sim");
    app.set_version_flag("--version", "qlxduo-sim " QLXDUO_VERSION);
    SimOptions read;
    CodeTexts codes;
    DefineOptions(app, read, codes);
    try {
        // CLI11 takes the arguments last first.
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
    } catch (const CLI::CallForHelp&) {
        text = app.help();
        return SimArguments::Answered;
    } catch (const CLI::CallForVersion& e) {
        text = std::string(e.what()) + "\n";
        return SimArguments::Answered;
    } catch (const CLI::ParseError& e) {
        text = e.what();
        return SimArguments::Invalid;
    }
    if (!codes.a.empty()) unit::ParseCodeList(codes.a, read.unit.a);
    if (!codes.b.empty()) unit::ParseCodeList(codes.b, read.unit.b);
    options = read;
    return SimArguments::Run;
}

}  // namespace sim
