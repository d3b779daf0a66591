// SPDX-License-Identifier: MIT
#include "cmdline/cmdline.h"
#include "ports/portname.h"
#include "qlxduo_version.h"
#include "sim/simrun.h"

namespace sim {
namespace {

constexpr int kLongestReplyDelayMs = 60000;

constexpr cmdline::OptionSpec kOptions[] = {
    {"--com", "N", 1, "Register the unit in the port map as COM N while it runs (never over another's link)"},
    {"--identity", "TEXT", 1, "The identity it answers to I (default QLX-11D)"},
    {"--firmware", "X.YZ", 1, "The version it answers to V (default 1.03)"},
    {"--a", "CODES", 1, "Port A's codes at start (format,flow,dataLength,baudCode,stopBits,parity)"},
    {"--b", "CODES", 1, "Port B's codes at start"},
    {"--state", "FILE", 1, "Keep the stored codes in FILE across runs"},
    {"--reply-delay", "MS", 1, "Wait this long before each reply"},
    {"--silent", nullptr, 1, "Never answer"},
    {"--reject", "PREFIX", 1, "Answer NG to the commands that start with PREFIX (repeatable)", true},
    {"--hold", "PREFIX", 1,
     "Hold back the reply to a command that starts with PREFIX, and the replies after it, until SIGUSR2 "
     "(for tests)"},
    {"--log", "FILE", 1,
     "Append every line received and sent, time-stamped as qlxduo-cli --trace writes them, to FILE, a "
     "regular file, a terminal or /dev/null (default: standard error)"},
    {"--wire", "FILE", 1, "Append every byte received, exactly as it came, to FILE (as for --log)"},
};

constexpr cmdline::ProgramSpec kProgram = {
    "qlxduo-sim",
    QLXDUO_VERSION,
    "qlxduo-sim plays a QLX-DUO unit in setting mode on a pseudo-terminal; it prints the\n"
    "terminal's path first and ends on SIGTERM or SIGINT. SIGUSR1 is the unit's mode switch;\n"
    "SIGUSR2 sends the replies that --hold held back.",
    "[OPTIONS]",
    nullptr,
    kOptions,
    {},
};

// A port's codes, when given.
bool ReadCodes(const cmdline::CommandLine& line, const char* option, unit::PortParameters& codes,
               std::string& error) {
    if (!line.Has(option) || unit::ParseCodeList(line.Value(option), codes)) return true;
    error = std::string(option) + " " + line.Value(option) +
            ": six comma-separated whole numbers are needed: format,flow,dataLength,baudCode,stopBits,parity";
    return false;
}

// The values of the options read into options, each checked.
bool ReadValues(const cmdline::CommandLine& line, SimOptions& options, std::string& error) {
    UnitOptions& unit = options.unit;
    if (line.Has("--identity")) unit.identity = line.Value("--identity");
    if (line.Has("--firmware")) unit.firmware = line.Value("--firmware");
    unit.stateFile = line.Value("--state");
    unit.silent = line.Has("--silent");
    unit.rejects = line.Values("--reject");
    unit.hold = line.Value("--hold");
    options.logFile = line.Value("--log");
    options.wireFile = line.Value("--wire");
    return cmdline::ReadWholeNumber(line, "--com", platform::kLowestComPort, platform::kHighestComPort,
                                    options.com, error) &&
           cmdline::ReadWholeNumber(line, "--reply-delay", 0, kLongestReplyDelayMs, unit.replyDelayMs,
                                    error) &&
           ReadCodes(line, "--a", unit.a, error) && ReadCodes(line, "--b", unit.b, error);
}

}  // namespace

SimArguments ParseSimOptions(const std::vector<std::string>& args, SimOptions& options, std::string& text) {
    cmdline::CommandLine line;
    SimOptions read;
    if (!cmdline::ReadCommandLine(kProgram, args, cmdline::SystemSlashWords(), line, text) ||
        (line.request == cmdline::Request::Run && !ReadValues(line, read, text))) {
        text = "qlxduo-sim: " + text + "\n" + cmdline::UsageHint(kProgram);
        return SimArguments::Invalid;
    }
    if (line.request != cmdline::Request::Run) {
        text = cmdline::Answer(kProgram, line);
        return SimArguments::Answered;
    }
    options = read;
    return SimArguments::Run;
}

}  // namespace sim
