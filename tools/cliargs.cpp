// SPDX-License-Identifier: MIT
#include "tools/cliargs.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <string_view>
#include <utility>

#include "qlxduo_version.h"
#include "tools/cli.h"
#include "tools/fields.h"
#include "tools/report.h"

namespace cli {
namespace {

constexpr const char* kDescription =
    "qlxduo-cli reads, writes and compares QLX-DUO serial converters in setting mode, talking to\n"
    "them as the settings window qlxduo does.";

constexpr const char* kFooter =
    "PORT is a COM number (7, COM7 or com7), a device path (/dev/ttyUSB0; \\\\.\\COM7 on Windows), a\n"
    "unit behind a network server (rfc2217://HOST:PORT, socket://HOST:PORT), or \"all\" for every\n"
    "port present. Several ports are worked on at once, one thread each, and give one line each\n"
    "(with --json one JSON object each).\n"
    "On Linux the COM numbers come from the port map ~/.config/Kestrelan/QLX-DUO/ports; \"ports\"\n"
    "(and \"all\") first gives every serial device without a number the lowest free one;\n"
    "\"ports --no-assign\" lists the numbers given already and writes nothing.\n"
    "CODES are a port's six codes: format,flow,dataLength,baudCode,stopBits,parity (e.g. 1,2,0,21,0,2).\n"
    "A configuration FILE is what \"read PORT --json\" prints; \"-\" reads it from standard input.\n"
    "Exit status: 0 success; 1 a unit failed, or differs from the file (with several ports: any port\n"
    "did not succeed); 2 a usage error or a value the unit cannot take (nothing is sent then);\n"
    "3 the port cannot be opened; 4 standard output, the trace or a record could not be written.\n"
    "find: 0 when it found a unit, else 1.\n"
    "watch configures each unit plugged in while it runs (with --present also those there at its\n"
    "start), one line PASS or FAIL each, and at Ctrl+C (or after --count units) prints the count\n"
    "and exits 0 when no unit failed, else 1.";

constexpr std::pair<const char*, Command> kCommands[] = {
    {"ports", Command::Ports}, {"find", Command::Find}, {"read", Command::Read},
    {"write", Command::Write}, {"diff", Command::Diff}, {"normal", Command::Normal},
    {"watch", Command::Watch}};

std::optional<Command> CommandNamed(const std::string& name) {
    for (const auto& [commandName, command] : kCommands) {
        if (name == commandName) return command;
    }
    return std::nullopt;
}

// What CLI11 fills in, before the ports and codes are read.
struct RawArguments {
    std::vector<std::string> ports;  // diff: the ports, then the file
    std::string a;
    std::string b;
    std::string traceTime = "mono";
};

// --json and --trace, which every command takes.
void AddCommonOptions(CLI::App& command, Request& request, RawArguments& raw) {
    command.add_flag("--json", request.json, "Print JSON: one object per line, errors too")
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    command
        .add_option("--trace", request.traceFile,
                    "Append every command line sent and reply received, time-stamped, to FILE (- for "
                    "standard error)")
        ->type_name("FILE");
    command
        .add_option("--trace-time", raw.traceTime,
                    "The trace's time stamps: mono, milliseconds on the monotonic clock that qlxduo-sim's "
                    "log shares (the default), or wall, the date and time with the zone (ISO 8601)")
        ->check(CLI::IsMember({"mono", "wall"}))
        ->type_name("CLOCK");
}

// The codes to write, from a file or options; write and watch take them.
void AddCodeOptions(CLI::App& command, Request& request, RawArguments& raw) {
    command.add_option("--from", request.configFile, "Take the codes of A and B from a configuration FILE")
        ->type_name("FILE");
    command.add_option("--a", raw.a, "Port A's codes (instead of the file's)")->type_name("CODES");
    command.add_option("--b", raw.b, "Port B's codes (instead of the file's)")->type_name("CODES");
}

void AddWatchOptions(CLI::App& watch, Request& request) {
    watch.add_flag("--present", request.present, "Also configure the units present when watch starts")
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    watch.add_flag("--normal", request.toNormal, "Return each unit configured to normal mode")
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    watch
        .add_option("--log", request.logFile,
                    "Append a JSON object per unit to FILE (JSON Lines), flushed to disk before the next")
        ->type_name("FILE");
    watch.add_option("--csv", request.csvFile, "Append a line per unit to FILE as CSV, the same way")
        ->type_name("FILE");
    watch.add_option("--count", request.count, "End after N units (default: at Ctrl+C only)")
        ->check(CLI::Range(1, 1000000))
        ->type_name("N");
}

void AddPorts(CLI::App& command, RawArguments& raw, const char* description) {
    command.add_option("PORT", raw.ports, description)->required();
}

// The commands and their options, as subcommands of app.
void DefineCommands(CLI::App& app, Request& request, RawArguments& raw) {
    CLI::App* ports = app.add_subcommand(
        "ports", "List the COM numbers of the serial devices present (on Linux numbering new devices first)");
    ports->add_flag("--all", request.withAbsent, "Also the numbers kept for devices that are absent")
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    ports
        ->add_flag("--no-assign", request.readOnly,
                   "Only the numbers given already: number no new device, write nothing (for completion)")
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    CLI::App* find = app.add_subcommand(
        "find",
        "Find the units in setting mode: send the identify command \"I\\r\\n\" to every port probed (all "
        "present by default; ports another program holds are skipped), and \"V\\r\\n\" to each unit that "
        "answers; print each unit's port, device, adapter, identity and firmware");
    find->add_option("PORT", raw.ports, "The ports to probe, or all (the default)");
    CLI::App* read = app.add_subcommand("read", "Print each unit's identity, firmware and both ports' codes");
    AddPorts(*read, raw, "The units' ports");
    CLI::App* write = app.add_subcommand(
        "write", "Write port A and B codes, have the unit store them and read them back to check them");
    AddPorts(*write, raw, "The units' ports");
    AddCodeOptions(*write, request, raw);
    CLI::App* diff = app.add_subcommand(
        "diff", "Print the codes in which each unit differs from a configuration FILE, given last");
    AddPorts(*diff, raw, "The units' ports, then the configuration FILE");
    CLI::App* normal = app.add_subcommand("normal", "Return each unit to normal mode");
    AddPorts(*normal, raw, "The units' ports");
    CLI::App* watch = app.add_subcommand(
        "watch",
        "Configure every unit that is plugged in, until Ctrl+C: read it, write, store and check the "
        "codes, print PASS or FAIL and record it");
    AddCodeOptions(*watch, request, raw);
    AddWatchOptions(*watch, request);
    for (CLI::App* command : {ports, find, read, write, diff, normal, watch})
        AddCommonOptions(*command, request, raw);
}

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

// What the command line holds beyond what CLI11 checks.
bool Complete(Command command, RawArguments& raw, Request& request, std::string& error) {
    if (command == Command::Diff) {
        if (raw.ports.size() < 2)
            return Fail(error, "diff needs one or more ports, then a configuration FILE");
        request.configFile = raw.ports.back();
        raw.ports.pop_back();
    }
    request.traceClock = raw.traceTime == "wall" ? TraceClock::Wall : TraceClock::Monotonic;
    if (command == Command::Find && raw.ports.empty()) raw.ports = {"all"};
    if (command != Command::Ports && command != Command::Watch && !ReadPorts(raw.ports, request, error))
        return false;
    if (command != Command::Write && command != Command::Watch) return true;
    if (!ReadCodes("--a", raw.a, request.a, error) || !ReadCodes("--b", raw.b, request.b, error))
        return false;
    const char* name = command == Command::Write ? "write" : "watch";
    if (request.configFile.empty() && !request.a && !request.b) {
        return Fail(error, std::string(name) + " needs --from FILE, --a CODES or --b CODES");
    }
    if (!request.logFile.empty() && request.logFile == request.csvFile)
        return Fail(error, "--log and --csv name the same file");
    return true;
}

bool IsUpper(char c) {
    return c >= 'A' && c <= 'Z';
}

bool IsLower(char c) {
    return c >= 'a' && c <= 'z';
}

// Each capitalised word of text[from, to) in lower case ("The" -> "the", "A" -> "a"); words in
// capitals (PORT, FILE) stay.
void LowerCapitalisedWords(std::string& text, size_t from, size_t to) {
    while (from < to) {
        size_t end = from;
        while (end < to && (IsUpper(text[end]) || IsLower(text[end]))) ++end;
        if (end == from) {
            ++from;
            continue;
        }
        const auto word = std::string_view(text).substr(from + 1, end - from - 1);
        if (IsUpper(text[from]) && std::all_of(word.begin(), word.end(), IsLower))
            text[from] = static_cast<char>(text[from] - 'A' + 'a');
        from = end;
    }
}

// CLI11's message in the tool's own style: without the program's name it may begin with, and in
// lower case where CLI11 writes capitals ("The following argument ...", "--all: At Most 1 ..."):
// its own words, up to the first ": " after the name of the option it is about. What follows (the
// arguments it names) stays as it was given.
std::string ParseMessage(const CLI::ParseError& e) {
    std::string message = e.what();
    const std::string program = "qlxduo-cli: ";
    if (message.starts_with(program)) message.erase(0, program.size());
    const size_t nameEnd = message.find(": ");
    const bool named = nameEnd != std::string::npos && message.find(' ') == nameEnd + 1;
    const size_t from = named ? nameEnd + 2 : 0;
    LowerCapitalisedWords(message, from, std::min(message.find(": ", from), message.size()));
    return message;
}

// A first word that is no command, which CLI11 would report as a missing command.
std::optional<std::string> UnknownCommand(const std::vector<std::string>& args) {
    const std::string commands = "ports, find, read, write, diff, normal or watch";
    if (args.empty()) return "a command is needed: " + commands;
    const std::string& first = args.front();
    if (first.starts_with("-") || CommandNamed(first)) return std::nullopt;
    return "unknown command \"" + first + "\"; the commands are " + commands;
}

}  // namespace

int UsageError(const std::string& message, bool json, std::ostream& err) {
    PrintFailure("usage", message, json, err);
    if (!json) err << "(qlxduo-cli --help shows the usage)\n";
    return kExitUsage;
}

std::optional<int> ParseArguments(const std::vector<std::string>& args, Request& request, std::ostream& out,
                                  std::ostream& err) {
    const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
    if (const auto unknown = UnknownCommand(args)) return UsageError(*unknown, json, err);
    CLI::App app(kDescription, "qlxduo-cli");
    app.set_version_flag("-V,--version", "qlxduo-cli " QLXDUO_VERSION);
    app.footer(kFooter);
    app.require_subcommand(1);
    // The same options on every system: on Windows CLI11 would also take "/name" for --name, and a
    // file path given to diff (/tmp/x.json under Wine) would then be refused as an unknown option.
    app.allow_windows_style_options(false);
    RawArguments raw;
    DefineCommands(app, request, raw);
    try {
        // CLI11 takes the arguments last first.
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, out, err);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        return UsageError(ParseMessage(e), json, err);
    }
    request.command = *CommandNamed(app.get_subcommands().front()->get_name());
    std::string error;
    if (!Complete(request.command, raw, request, error)) return UsageError(error, json, err);
    return std::nullopt;
}

}  // namespace cli
