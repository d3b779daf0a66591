// SPDX-License-Identifier: MIT
#include "cmdline/cmdline.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "platform/terminal.h"

namespace cmdline {
namespace {

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

std::string Footer(const ProgramSpec& program) {
    return program.footer != nullptr ? "\n" + std::string(program.footer) + "\n" : "";
}

// The options of the groups given, then -h and --help (and -V and --version for a program
// without commands, which has no other help to show them in).
std::string OptionsHelp(const ProgramSpec& program, unsigned groups) {
    std::string help = "Options:\n";
    for (const OptionSpec& option : program.options) {
        if ((groups & option.group) == 0) continue;
        const std::string value = option.valueName != nullptr ? std::string(" ") + option.valueName : "";
        help += HelpEntry(option.name + value, option.help);
    }
    help += HelpEntry("-h, --help", "Print this help and exit");
    if (program.commands.empty()) help += HelpEntry("-V, --version", "Print the version and exit");
    return help;
}

std::string ProgramHelp(const ProgramSpec& program) {
    const std::string name = program.name;
    std::string help = std::string(program.description) + "\n\nUsage: " + name + " " + program.usage + "\n";
    if (program.commands.empty()) return help + "\n" + OptionsHelp(program, ~0u) + Footer(program);
    help += "       " + name + " COMMAND --help\n       " + name + " -V | --version\n\nCommands:\n";
    for (const CommandSpec& command : program.commands) help += HelpEntry(command.name, command.help);
    return help + Footer(program);
}

std::string CommandHelp(const ProgramSpec& program, const CommandSpec& command) {
    const std::string words = command.words != nullptr ? std::string(" ") + command.words : "";
    std::string help = Wrapped(command.help, 0) + "\n\nUsage: " + program.name + " " + command.name + words +
                       " [OPTIONS]\n\n";
    if (command.words != nullptr) help += HelpEntry(command.words, command.wordsHelp) + "\n";
    return help + OptionsHelp(program, command.groups) + Footer(program);
}

// "ports, find, read, write, diff, normal or watch".
std::string CommandList(const ProgramSpec& program) {
    std::string list;
    for (const CommandSpec& command : program.commands) {
        const bool last = &command == &program.commands.back();
        list += (list.empty() ? "" : last ? " or " : ", ") + std::string(command.name);
    }
    return list;
}

bool IsHelp(std::string_view word, SlashWords slashWords) {
    return word == "-h" || word == "--help" || (slashWords == SlashWords::WindowsOptions && word == "/?");
}

bool IsVersion(std::string_view word) {
    return word == "-V" || word == "--version";
}

// "/json" where options are written so on Windows; "/" alone and "//..." are paths.
bool IsSlashOption(std::string_view word, SlashWords slashWords) {
    return slashWords == SlashWords::WindowsOptions && word.size() > 1 && word[0] == '/' && word[1] != '/';
}

// The option a word names: "--trace" of "--trace=t.log".
const OptionSpec* OptionNamed(const ProgramSpec& program, std::string_view word) {
    const std::string_view name = word.substr(0, word.find('='));
    for (const OptionSpec& option : program.options) {
        if (name == option.name) return &option;
    }
    return nullptr;
}

// "/json": options begin with -- (--json); the option's name in any letter case, as Windows
// programs take it, with its value after ":" or "=".
std::string SlashOptionProblem(const ProgramSpec& program, std::string_view word) {
    std::string name = "--";
    for (const char c : word.substr(1, word.find_first_of(":=") - 1))
        name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool known = OptionNamed(program, name) != nullptr;
    return "\"" + std::string(word) + "\": options begin with -- (" +
           (known ? name : "a path that begins with / comes after --") + ")";
}

// "the following argument was not expected: --xml".
std::string Unexpected(const std::vector<std::string>& words) {
    std::string text = words.size() == 1 ? "the following argument was not expected:"
                                         : "the following arguments were not expected:";
    for (const std::string& word : words) text += " " + word;
    return text;
}

// The sort of the words after the command: its options, with their values, and its words.
class CScan {
public:
    CScan(const ProgramSpec& program, const CommandSpec* command, SlashWords slashWords, CommandLine& line)
        : m_program(program), m_command(command), m_slashWords(slashWords), m_line(line) {}

    // Every word is looked at, so that a help asked for after a problem is still found.
    void Read(std::span<const std::string> args) {
        bool wordsOnly = false;
        for (size_t at = 0; at < args.size(); ++at) {
            const std::string& arg = args[at];
            if (wordsOnly) {
                Word(arg);
            } else if (arg == "--") {
                wordsOnly = true;
            } else if (IsHelp(arg, m_slashWords)) {
                m_line.request = Request::Help;
            } else if (m_program.commands.empty() && IsVersion(arg)) {
                if (m_line.request == Request::Run) m_line.request = Request::Version;
            } else if (IsSlashOption(arg, m_slashWords)) {
                Problem(SlashOptionProblem(m_program, arg));
            } else if (arg == "-" || !arg.starts_with("-")) {
                Word(arg);  // "-" is standard input
            } else {
                Option(args, at);
            }
        }
    }

    // The first problem, or empty.
    std::string Outcome() const {
        if (!m_problem.empty()) return m_problem;
        if (!m_unexpected.empty()) return Unexpected(m_unexpected);
        if (m_command != nullptr && m_command->wordsNeeded && m_line.words.empty()) {
            const std::string_view words = m_command->words;
            return std::string(words.substr(0, words.find_first_of(". "))) + " is required";
        }
        return {};
    }

private:
    void Problem(std::string text) {
        if (m_problem.empty()) m_problem = std::move(text);
    }

    void Word(const std::string& word) {
        const bool takesWords = m_command != nullptr && m_command->words != nullptr;
        (takesWords ? m_line.words : m_unexpected).push_back(word);
    }

    void Option(std::span<const std::string> args, size_t& at) {
        const std::string& arg = args[at];
        const OptionSpec* option = OptionNamed(m_program, arg);
        if (option == nullptr) return m_unexpected.push_back(arg);
        const std::string name = option->name;
        // Its value is taken even when the option is refused, so that the value is not read as a word.
        std::string value;
        const bool valueRead = ReadValue(*option, args, at, value);
        if (m_command != nullptr && (m_command->groups & option->group) == 0)
            return Problem(name + " is not an option of " + m_command->name);
        if (!valueRead) return;
        if (m_line.Has(name) && !option->repeatable) return Problem(name + " is given twice");
        m_line.Add(option->name, value);
    }

    // The value of the option at args[at], from "--name=value" or the word after it, which is never
    // an option; at moves past it.
    bool ReadValue(const OptionSpec& option, std::span<const std::string> args, size_t& at,
                   std::string& value) {
        const size_t equals = args[at].find('=');
        const std::string name = option.name;
        if (option.valueName == nullptr) {
            if (equals == std::string::npos) return true;
            Problem(name + " takes no value");
            return false;
        }
        if (equals != std::string::npos)
            value = args[at].substr(equals + 1);
        else if (at + 1 < args.size() && !args[at + 1].starts_with("--"))
            value = args[++at];
        if (!value.empty()) return true;
        Problem(name + " needs " + option.valueName);
        return false;
    }

    const ProgramSpec& m_program;
    const CommandSpec* m_command;
    const SlashWords m_slashWords;
    CommandLine& m_line;
    std::string m_problem;
    std::vector<std::string> m_unexpected;
};

const CommandSpec* CommandNamed(const ProgramSpec& program, std::string_view name) {
    for (const CommandSpec& command : program.commands) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

// Why the first word names no command.
std::string NoCommand(const ProgramSpec& program, std::span<const std::string> args, SlashWords slashWords) {
    if (args.empty()) return "a command is needed: " + CommandList(program);
    const std::string& first = args.front();
    if (IsSlashOption(first, slashWords)) return SlashOptionProblem(program, first);
    return first.starts_with("-")
               ? "a command is needed before " + first + ": " + CommandList(program)
               : "unknown command \"" + first + "\"; the commands are " + CommandList(program);
}

bool Fail(std::string& error, std::string text) {
    error = std::move(text);
    return false;
}

}  // namespace

SlashWords SystemSlashWords() {
    return platform::SlashOptionsAreUsual() ? SlashWords::WindowsOptions : SlashWords::Paths;
}

std::string CommandLine::Value(std::string_view option) const {
    const std::vector<std::string> given = Values(option);
    return given.empty() ? "" : given.back();
}

std::vector<std::string> CommandLine::Values(std::string_view option) const {
    std::vector<std::string> values;
    for (const Given& given : m_given) {
        if (given.option == option) values.push_back(given.value);
    }
    return values;
}

bool ReadCommandLine(const ProgramSpec& program, std::span<const std::string> args, SlashWords slashWords,
                     CommandLine& line, std::string& error) {
    line = {};
    if (!program.commands.empty()) {
        const std::string first = args.empty() ? "" : args.front();
        if (IsHelp(first, slashWords) || IsVersion(first)) {
            line.request = IsVersion(first) ? Request::Version : Request::Help;
            return true;
        }
        line.command = CommandNamed(program, first);
        if (line.command == nullptr) {
            // Every option read still, for the form of the error (--json).
            CScan(program, nullptr, slashWords, line).Read(args);
            line.request = Request::Run;
            return Fail(error, NoCommand(program, args, slashWords));
        }
        args = args.subspan(1);
    }
    CScan scan(program, line.command, slashWords, line);
    scan.Read(args);
    error = line.request == Request::Run ? scan.Outcome() : "";
    return error.empty();
}

std::string Answer(const ProgramSpec& program, const CommandLine& line) {
    if (line.request == Request::Version) return std::string(program.name) + " " + program.version + "\n";
    return line.command != nullptr ? CommandHelp(program, *line.command) : ProgramHelp(program);
}

std::string UsageHint(const ProgramSpec& program) {
    return "(" + std::string(program.name) + " --help shows the usage)\n";
}

bool ReadWholeNumber(const CommandLine& line, std::string_view option, int lowest, int highest, int& number,
                     std::string& error) {
    if (!line.Has(option)) return true;
    const std::string text = line.Value(option);
    int read = 0;
    const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), read);
    if (problem == std::errc() && end == text.data() + text.size() && read >= lowest && read <= highest) {
        number = read;
        return true;
    }
    return Fail(error, std::string(option) + " " + text + ": give a whole number from " +
                           std::to_string(lowest) + " to " + std::to_string(highest));
}

}  // namespace cmdline
