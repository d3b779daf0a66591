// SPDX-License-Identifier: MIT
#include "tools/cliargs.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <iterator>
#include <map>
#include <string_view>
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
enum Group : unsigned { kListing = 1, kCodes = 2, kWatch = 4, kCommon = 8 };

struct OptionSpec {
    const char* name;
    const char* valueName;  // what its value is, in the help; null for a flag
    Group group;
    const char* help;
};

// In the order the help lists them: a command's own options, then those every command takes.
constexpr OptionSpec kOptions[] = {
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
    {"--json", nullptr, kCommon, "Print JSON: one object per line, errors too"},
    {"--trace", "FILE", kCommon,
     "Append every command line sent and reply received, time-stamped, to FILE (- for standard error)"},
    {"--trace-time", "CLOCK", kCommon,
     "The trace's time stamps: mono, milliseconds on the monotonic clock that qlxduo-sim's log shares (the "
     "default), or wall, the date and time with the zone (ISO 8601)"},
};

constexpr int kMostUnits = 1000000;

struct CommandSpec {
    const char* name;
    Command command;
    unsigned groups;
    const char* ports;  // the ports it takes, as the usage line shows them; null: none
    bool portsNeeded;
    const char* portsHelp;
    const char* help;
};

constexpr CommandSpec kCommands[] = {
    {"ports", Command::Ports, kListing | kCommon, nullptr, false, nullptr,
     "List the COM numbers of the serial devices present (on Linux numbering new devices first)"},
    {"find", Command::Find, kCommon, "[PORT...]", false, "The ports to probe, or all (the default)",
     "Find the units in setting mode: send the identify command \"I\\r\\n\" to every port probed (all "
     "present by default; ports another program holds are skipped), and \"V\\r\\n\" to each unit that "
     "answers; print each unit's port, device, adapter, identity and firmware"},
    {"read", Command::Read, kCommon, "PORT...", true, "The units' ports",
     "Print each unit's identity, firmware and both ports' codes"},
    {"write", Command::Write, kCodes | kCommon, "PORT...", true, "The units' ports",
     "Write port A and B codes, have the unit store them and read them back to check them"},
    {"diff", Command::Diff, kCommon, "PORT... FILE", true, "The units' ports, then the configuration FILE",
     "Print the codes in which each unit differs from a configuration FILE, given last"},
    {"normal", Command::Normal, kCommon, "PORT...", true, "The units' ports",
     "Return each unit to normal mode"},
    {"watch", Command::Watch, kCodes | kWatch | kCommon, nullptr, false, nullptr,
     "Configure every unit that is plugged in, until Ctrl+C: read it, write, store and check the codes, "
     "print PASS or FAIL and record it"},
};

const CommandSpec* CommandNamed(const std::string& name) {
    for (const CommandSpec& command : kCommands) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

const OptionSpec* OptionNamed(const CommandSpec& command, std::string_view name) {
    for (const OptionSpec& option : kOptions) {
        if ((command.groups & option.group) != 0 && name == option.name) return &option;
    }
    return nullptr;
}

// The command line as given: the options by name (a flag with an empty value), then the words
// that are no option, before the ports and codes in them are read.
struct RawArguments {
    std::map<std::string, std::string, std::less<>> options;
    std::vector<std::string> words;  // diff: the ports, then the file

    const std::string* Value(std::string_view name) const {
        const auto given = options.find(name);
        return given != options.end() ? &given->second : nullptr;
    }
    bool Has(std::string_view name) const { return Value(name) != nullptr; }
    std::string Text(std::string_view name) const {
        const std::string* value = Value(name);
        return value != nullptr ? *value : "";
    }
};

constexpr size_t kHelpWidth = 80;
constexpr size_t kHelpColumn = 24;

// text as lines of at most kHelpWidth columns, each after indent: words are never split.
std::string Wrapped(std::string_view text, size_t indent) {
    std::string lines;
    size_t column = indent;
    while (!text.empty()) {
        const size_t end = std::min(text.find(' '), text.size());
        const std::string_view word = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (column > indent && column + 1 + word.size() > kHelpWidth) {
            lines += "\n" + std::string(indent, ' ');
            column = indent;
        }
        if (column > indent) {
            lines += ' ';
            ++column;
        }
        lines += word;
        column += word.size();
    }
    return lines;
}

// "  --from FILE           Take the codes ...", wrapped.
std::string HelpEntry(const std::string& name, std::string_view help) {
    std::string entry = "  " + name;
    entry += entry.size() < kHelpColumn ? std::string(kHelpColumn - entry.size(), ' ')
                                        : "\n" + std::string(kHelpColumn, ' ');
    return entry + Wrapped(help, kHelpColumn) + "\n";
}

std::string MainHelp() {
    std::string help = std::string(kDescription) +
                       "\n\nUsage: qlxduo-cli COMMAND [PORT...] [OPTIONS]\n"
                       "       qlxduo-cli COMMAND --help\n"
                       "       qlxduo-cli -V | --version\n\nCommands:\n";
    for (const CommandSpec& command : kCommands) help += HelpEntry(command.name, command.help);
    return help + "\n" + kFooter + "\n";
}

std::string CommandHelp(const CommandSpec& command) {
    std::string help = Wrapped(command.help, 0) + "\n\nUsage: qlxduo-cli " + command.name +
                       (command.ports != nullptr ? std::string(" ") + command.ports : "") + " [OPTIONS]\n\n";
    if (command.ports != nullptr) help += HelpEntry(command.ports, command.portsHelp) + "\n";
    help += "Options:\n";
    for (const OptionSpec& option : kOptions) {
        if ((command.groups & option.group) == 0) continue;
        const std::string value = option.valueName != nullptr ? std::string(" ") + option.valueName : "";
        help += HelpEntry(option.name + value, option.help);
    }
    return help + HelpEntry("-h, --help", "Print this help and exit") + "\n" + kFooter + "\n";
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

// "the following argument was not expected: --xml".
std::string Unexpected(const std::vector<std::string>& words) {
    std::string text = words.size() == 1 ? "the following argument was not expected:"
                                         : "the following arguments were not expected:";
    for (const std::string& word : words) text += " " + word;
    return text;
}

// The value of the option at args[at] (from "--name=value" or the word after it); at moves past it.
bool ReadValue(const OptionSpec& option, const std::vector<std::string>& args, size_t& at, std::string& value,
               std::string& error) {
    const size_t equals = args[at].find('=');
    const std::string name = option.name;
    if (option.valueName == nullptr)
        return equals == std::string::npos || Fail(error, name + " takes no value");
    if (equals != std::string::npos)
        value = args[at].substr(equals + 1);
    else if (at + 1 < args.size() && !args[at + 1].starts_with("--"))
        value = args[++at];
    return !value.empty() || Fail(error, name + " needs " + option.valueName);
}

// Sorts the words after the command into options with their values and the other words ("--"
// ends the options; "-" is a word: standard input).
bool ReadWords(const CommandSpec& command, const std::vector<std::string>& args, RawArguments& raw,
               std::string& error) {
    std::vector<std::string> unexpected;
    bool wordsOnly = false;
    for (size_t at = 1; at < args.size(); ++at) {
        const std::string& arg = args[at];
        if (!wordsOnly && arg == "--") {
            wordsOnly = true;
        } else if (wordsOnly || arg == "-" || !arg.starts_with("-")) {
            (command.ports != nullptr ? raw.words : unexpected).push_back(arg);
        } else if (const OptionSpec* option = OptionNamed(command, arg.substr(0, arg.find('=')))) {
            std::string value;
            if (raw.Has(option->name)) return Fail(error, std::string(option->name) + " is given twice");
            if (!ReadValue(*option, args, at, value, error)) return false;
            raw.options[option->name] = value;
        } else {
            unexpected.push_back(arg);
        }
    }
    if (!unexpected.empty()) return Fail(error, Unexpected(unexpected));
    return !command.portsNeeded || !raw.words.empty() || Fail(error, "PORT is required");
}

bool ReadCount(const std::string& text, int& count, std::string& error) {
    const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (problem == std::errc() && end == text.data() + text.size() && count >= 1 && count <= kMostUnits)
        return true;
    return Fail(error, "--count " + text + ": give a whole number from 1 to " + std::to_string(kMostUnits));
}

// The options' values into request, each checked.
bool ReadOptions(const RawArguments& raw, Request& request, std::string& error) {
    request.json = raw.Has("--json");
    request.withAbsent = raw.Has("--all");
    request.readOnly = raw.Has("--no-assign");
    request.present = raw.Has("--present");
    request.toNormal = raw.Has("--normal");
    request.traceFile = raw.Text("--trace");
    request.configFile = raw.Text("--from");
    request.logFile = raw.Text("--log");
    request.csvFile = raw.Text("--csv");
    const std::string clock = raw.Has("--trace-time") ? raw.Text("--trace-time") : "mono";
    if (clock != "mono" && clock != "wall")
        return Fail(error, "--trace-time: " + clock + " not in {mono,wall}");
    request.traceClock = clock == "wall" ? TraceClock::Wall : TraceClock::Monotonic;
    return !raw.Has("--count") || ReadCount(raw.Text("--count"), request.count, error);
}

// The ports, the file and the codes in the words and options read.
bool Complete(Command command, RawArguments& raw, Request& request, std::string& error) {
    if (command == Command::Diff) {
        if (raw.words.size() < 2)
            return Fail(error, "diff needs one or more ports, then a configuration FILE");
        request.configFile = raw.words.back();
        raw.words.pop_back();
    }
    if (command == Command::Find && raw.words.empty()) raw.words = {"all"};
    if (command != Command::Ports && command != Command::Watch && !ReadPorts(raw.words, request, error))
        return false;
    if (command != Command::Write && command != Command::Watch) return true;
    if (!ReadCodes("--a", raw.Text("--a"), request.a, error) ||
        !ReadCodes("--b", raw.Text("--b"), request.b, error))
        return false;
    const char* name = command == Command::Write ? "write" : "watch";
    if (request.configFile.empty() && !request.a && !request.b) {
        return Fail(error, std::string(name) + " needs --from FILE, --a CODES or --b CODES");
    }
    if (!request.logFile.empty() && request.logFile == request.csvFile)
        return Fail(error, "--log and --csv name the same file");
    return true;
}

// "ports, find, read, write, diff, normal or watch".
std::string CommandList() {
    std::string list;
    for (const CommandSpec& command : kCommands) {
        const bool last = &command == std::end(kCommands) - 1;
        list += (list.empty() ? "" : last ? " or " : ", ") + std::string(command.name);
    }
    return list;
}

bool IsHelp(const std::string& arg) {
    return arg == "-h" || arg == "--help";
}

// --help anywhere among a command's options asks for its help.
bool HelpAsked(const std::vector<std::string>& args) {
    const auto end = std::find(args.begin(), args.end(), "--");
    return std::any_of(args.begin(), end, IsHelp);
}

// The command the first word names, or why there is none.
const CommandSpec* FirstCommand(const std::vector<std::string>& args, std::string& error) {
    if (args.empty()) {
        error = "a command is needed: " + CommandList();
        return nullptr;
    }
    const std::string& first = args.front();
    if (const CommandSpec* command = CommandNamed(first)) return command;
    error = first.starts_with("-") ? "a command is needed before " + first + ": " + CommandList()
                                   : "unknown command \"" + first + "\"; the commands are " + CommandList();
    return nullptr;
}

}  // namespace

int UsageError(const std::string& message, bool json, COutput& err) {
    PrintFailure("usage", message, json, err);
    if (!json) err << "(qlxduo-cli --help shows the usage)\n";
    return kExitUsage;
}

std::optional<int> ParseArguments(const std::vector<std::string>& args, Request& request, COutput& out,
                                  COutput& err) {
    if (!args.empty() && IsHelp(args.front())) {
        out << MainHelp();
        return kExitSuccess;
    }
    if (!args.empty() && (args.front() == "-V" || args.front() == "--version")) {
        out << "qlxduo-cli " QLXDUO_VERSION "\n";
        return kExitSuccess;
    }
    const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
    std::string error;
    const CommandSpec* command = FirstCommand(args, error);
    if (command == nullptr) return UsageError(error, json, err);
    if (HelpAsked(args)) {
        out << CommandHelp(*command);
        return kExitSuccess;
    }
    RawArguments raw;
    if (!ReadWords(*command, args, raw, error) || !ReadOptions(raw, request, error) ||
        !Complete(command->command, raw, request, error))
        return UsageError(error, json, err);
    request.command = command->command;
    return std::nullopt;
}

}  // namespace cli
