// SPDX-License-Identifier: MIT
#include "tools/cliargs.h"

#include <algorithm>
#include <utility>

#include "qlxduo_version.h"
#include "tools/cli.h"
#include "tools/fields.h"
#include "tools/report.h"

namespace cli {
namespace {

constexpr const char* kDescription =
    "qlxduo-cli reads, writes and compares QLX-DUO serial converters in setting\n"
    "mode, talking to them as the settings window qlxduo does.";

constexpr const char* kFooter =
    "PORT is a COM number (7, COM7 or com7), a device path (/dev/ttyUSB0; \\\\.\\COM7\n"
    "on Windows), a unit behind a network server (rfc2217://HOST:PORT,\n"
    "socket://HOST:PORT), or \"all\" for every port present. Several ports are worked\n"
    "on at once, one thread each, and give one line each (with --json one JSON\n"
    "object each).\n"
    "On Linux the COM numbers come from the port map\n"
    "~/.config/Kestrelan/QLX-DUO/ports; \"ports\" (and \"all\") first gives every\n"
    "serial device without a number the lowest free one; \"ports --no-assign\" lists\n"
    "the numbers given already and writes nothing.\n"
    "CODES are a port's six codes: format,flow,dataLength,baudCode,stopBits,parity\n"
    "(e.g. 1,2,0,21,0,2).\n"
    "A configuration FILE is what \"read PORT --json\" prints; \"-\" reads it from\n"
    "standard input.\n"
    "Exit status: 0 success; 1 a unit failed, or differs from the file (with several\n"
    "ports: any port did not succeed); 2 a usage error or a value the unit cannot\n"
    "take (nothing is sent then); 3 the port cannot be opened; 4 standard output,\n"
    "the trace or a record could not be written.\n"
    "find: 0 when it found a unit, else 1.\n"
    "watch configures each unit plugged in while it runs (with --present also those\n"
    "there at its start), one line PASS or FAIL each, and at Ctrl+C (or after\n"
    "--count units) prints the count and exits 0 when no unit failed, else 1.";

// The option groups; a command takes some of them.
enum Group : unsigned { kListing = 1, kCodes = 2, kWatch = 4, kJson = 8, kTrace = 16 };

// In the order the help lists them: a command's own options, then --json and the trace's.
constexpr cmdline::OptionSpec kOptions[] = {
    {"--all", nullptr, kListing, "Also the numbers kept for devices that are absent"},
    {"--no-assign", nullptr, kListing,
     "Only the numbers given already: number no new device, write nothing (for completion)"},
    {"--from", "FILE", kCodes, "Take the codes of A and B from a configuration FILE"},
    {"--a", "CODES", kCodes, "Port A's codes (instead of the file's)"},
    {"--b", "CODES", kCodes, "Port B's codes (instead of the file's)"},
    {"--present", nullptr, kWatch, "Also configure the units present when watch starts"},
    {"--normal", nullptr, kWatch, "Return each unit configured to normal mode"},
    {"--log", "FILE", kWatch,
     "Append a JSON object per unit to FILE (JSON Lines), flushed to disk before the next"},
    {"--csv", "FILE", kWatch, "Append a line per unit to FILE as CSV, the same way"},
    {"--count", "N", kWatch, "End after N units (default: at Ctrl+C only)"},
    {"--json", nullptr, kJson, "Print JSON: one object per line, errors too"},
    {"--trace", "FILE", kTrace,
     "Append every command line sent and reply received, time-stamped, to FILE (- for standard error)"},
    {"--trace-time", "CLOCK", kTrace,
     "The trace's time stamps: mono, milliseconds on the monotonic clock that qlxduo-sim's log shares (the "
     "default), or wall, the date and time with the zone (ISO 8601)"},
};

constexpr int kMostUnits = 1000000;

constexpr int Code(Command command) {
    return static_cast<int>(command);
}

constexpr cmdline::CommandSpec kCommands[] = {
    {"ports", Code(Command::Ports), kListing | kJson, nullptr, false, nullptr,
     "List the COM numbers of the serial devices present (on Linux numbering new devices first)"},
    {"find", Code(Command::Find), kJson | kTrace, "[PORT...]", false,
     "The ports to probe, or all (the default)",
     "Find the units in setting mode: send the identify command \"I\\r\\n\" to every port probed (all "
     "present by default; ports another program holds are skipped), and \"V\\r\\n\" to each unit that "
     "answers; print each unit's port, device, adapter, identity and firmware"},
    {"read", Code(Command::Read), kJson | kTrace, "PORT...", true, "The units' ports",
     "Print each unit's identity, firmware and both ports' codes"},
    {"write", Code(Command::Write), kCodes | kJson | kTrace, "PORT...", true, "The units' ports",
     "Write port A and B codes, have the unit store them and read them back to check them"},
    {"diff", Code(Command::Diff), kJson | kTrace, "PORT... FILE", true,
     "The units' ports, then the configuration FILE",
     "Print the codes in which each unit differs from a configuration FILE, given last"},
    {"normal", Code(Command::Normal), kJson | kTrace, "PORT...", true, "The units' ports",
     "Return each unit to normal mode"},
    {"watch", Code(Command::Watch), kCodes | kWatch | kJson | kTrace, nullptr, false, nullptr,
     "Configure every unit that is plugged in, until Ctrl+C: read it, write, store and check the codes, "
     "print PASS or FAIL and record it"},
};

constexpr cmdline::ProgramSpec kProgram = {
    "qlxduo-cli", QLXDUO_VERSION, kDescription, "COMMAND [PORT...] [OPTIONS]", kFooter, kOptions, kCommands,
};

bool Fail(std::string& error, std::string text) {
    error = std::move(text);
    return false;
}

bool ReadCodes(const std::string& option, const std::string& text, std::optional<unit::PortParameters>& codes,
               std::string& error) {
    if (text.empty()) return true;
    unit::PortParameters read;
    if (!unit::ParseCodeList(text, read)) {
        return Fail(error, option + " \"" + text +
                               "\": six comma-separated whole numbers are needed: "
                               "format,flow,dataLength,baudCode,stopBits,parity");
    }
    const std::string problem = CheckCodes(option + " ", read);
    if (!problem.empty()) return Fail(error, problem);
    codes = read;
    return true;
}

// "COM7 is given twice", with both spellings when they differ: "(as COM7 and \\.\COM7)".
std::string GivenTwice(const PortSpec& first, const PortSpec& second) {
    const int com = second.ComNumberNamed();
    const std::string name = com != 0 ? PortSpec{com, ""}.Name() : second.Name();
    const std::string spellings =
        first == second ? "" : " (as " + first.Name() + " and " + second.Name() + ")";
    return name + " is given twice" + spellings;
}

bool ReadPorts(const std::vector<std::string>& texts, Request& request, std::string& error) {
    if (texts.size() == 1 && texts.front() == "all") {
        request.everyPort = true;
        return true;
    }
    for (const std::string& text : texts) {
        if (text == "all") return Fail(error, "\"all\" stands alone: give it, or ports, not both");
        PortSpec port;
        if (!ParsePortSpec(text, port, error)) return false;
        const auto given = std::find_if(request.ports.begin(), request.ports.end(),
                                        [&](const PortSpec& other) { return other.SamePort(port); });
        if (given != request.ports.end()) return Fail(error, GivenTwice(*given, port));
        request.ports.push_back(port);
    }
    return true;
}

// The options' values into request, each checked.
bool ReadOptions(const cmdline::CommandLine& line, Request& request, std::string& error) {
    request.json = line.Has("--json");
    request.withAbsent = line.Has("--all");
    request.readOnly = line.Has("--no-assign");
    request.present = line.Has("--present");
    request.toNormal = line.Has("--normal");
    request.traceFile = line.Value("--trace");
    request.configFile = line.Value("--from");
    request.logFile = line.Value("--log");
    request.csvFile = line.Value("--csv");
    const std::string clock = line.Has("--trace-time") ? line.Value("--trace-time") : "mono";
    if (clock != "mono" && clock != "wall")
        return Fail(error, "--trace-time: " + clock + " not in {mono,wall}");
    request.traceClock = clock == "wall" ? TraceClock::Wall : TraceClock::Monotonic;
    return cmdline::ReadWholeNumber(line, "--count", 1, kMostUnits, request.count, error);
}

// The ports, the file and the codes in the words and options read.
bool Complete(const cmdline::CommandLine& line, Request& request, std::string& error) {
    const Command command = request.command;
    std::vector<std::string> ports = line.words;
    if (command == Command::Diff) {
        if (ports.size() < 2) return Fail(error, "diff needs one or more ports, then a configuration FILE");
        request.configFile = ports.back();
        ports.pop_back();
    }
    if (command == Command::Find && ports.empty()) ports = {"all"};
    if (command != Command::Ports && command != Command::Watch && !ReadPorts(ports, request, error))
        return false;
    if (command != Command::Write && command != Command::Watch) return true;
    if (!ReadCodes("--a", line.Value("--a"), request.a, error) ||
        !ReadCodes("--b", line.Value("--b"), request.b, error))
        return false;
    const char* name = command == Command::Write ? "write" : "watch";
    if (request.configFile.empty() && !request.a && !request.b) {
        return Fail(error, std::string(name) + " needs --from FILE, --a CODES or --b CODES");
    }
    if (!request.logFile.empty() && request.logFile == request.csvFile)
        return Fail(error, "--log and --csv name the same file");
    return true;
}

}  // namespace

int UsageError(const std::string& message, bool json, COutput& err) {
    PrintFailure("usage", message, json, err);
    if (!json) err << cmdline::UsageHint(kProgram);
    return kExitUsage;
}

std::optional<int> ParseArguments(const std::vector<std::string>& args, Request& request, COutput& out,
                                  COutput& err, cmdline::SlashWords slashWords) {
    cmdline::CommandLine line;
    std::string error;
    if (!cmdline::ReadCommandLine(kProgram, args, slashWords, line, error) ||
        (line.request == cmdline::Request::Run && !ReadOptions(line, request, error)))
        return UsageError(error, line.Has("--json"), err);
    if (line.request != cmdline::Request::Run) {
        out << cmdline::Answer(kProgram, line);
        return kExitSuccess;
    }
    request.command = static_cast<Command>(line.command->code);
    if (!Complete(line, request, error)) return UsageError(error, request.json, err);
    return std::nullopt;
}

}  // namespace cli
