// SPDX-License-Identifier: MIT
#pragma once
// Reading a program's command line from its tables: the options it takes and, for a program of
// several commands, which command takes which; the scan that sorts the words into options with
// their values and plain words; and the help, made from the same tables. qlxduo-cli and
// qlxduo-sim read their command lines so, with one set of conventions: "--name VALUE" or
// "--name=VALUE", an option's value never read as an option, each option once unless it may
// repeat, "--" ending the options, -h and --help, -V and --version, and on Windows "/?" for help.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cmdline {

struct OptionSpec {
    const char* name;       // "--trace"
    const char* valueName;  // what its value is, in the help ("FILE"); null for a flag
    unsigned group;         // one bit: the commands that take this group take the option
    const char* help;
    bool repeatable = false;  // each value given counts; else an option given twice is refused
};

struct CommandSpec {
    const char* name;
    int code;               // the program's own code for it
    unsigned groups;        // the option groups it takes
    const char* words;      // the words it takes, as the usage line shows them ("PORT... FILE"); null: none
    bool wordsNeeded;       // at least one of them
    const char* wordsHelp;  // what they are, in its help
    const char* help;
};

struct ProgramSpec {
    const char* name;         // "qlxduo-cli"
    const char* version;      // "1.03"
    const char* description;  // the help's first paragraph
    const char* usage;        // what follows the name on the usage line ("[OPTIONS]")
    const char* footer;       // the help's last paragraphs; null for none
    std::span<const OptionSpec> options;
    std::span<const CommandSpec> commands;  // empty for a program of options only
};

// How a word that begins with "/" reads.
enum class SlashWords {
    Paths,  // as any other word: on Linux a path
    // As on Windows, where programs take options so: "/?" asks for the help, another "/name" is
    // an option written in Windows' way and refused with a hint; "//" begins a path (//./COM7).
    WindowsOptions,
};
// This system's way.
SlashWords SystemSlashWords();

enum class Request {
    Run,
    Help,     // the help: the program's, or with a command that command's
    Version,  // the program's name and version
};

struct CommandLine {
    Request request = Request::Run;
    const CommandSpec* command = nullptr;  // the command named first; null for a program without commands
    std::vector<std::string> words;        // the words that are no options, in their order

    bool Has(std::string_view option) const { return !Values(option).empty(); }
    // The value given (the last one of a repeatable option); empty for a flag or an option not given.
    std::string Value(std::string_view option) const;
    // Each value given, in order.
    std::vector<std::string> Values(std::string_view option) const;
    void Add(std::string_view option, std::string value) { m_given.push_back({option, std::move(value)}); }

private:
    // The options in the order given: a few words, looked through.
    struct Given {
        std::string_view option;  // the name in the program's table
        std::string value;
    };
    std::vector<Given> m_given;
};

// Reads args (without the program's name): the command when the program has commands, then its
// options and words, every option known to it and given its value. False with the first problem
// in error; a request for the help or the version anywhere among the options wins over any problem.
// What was read before and after a problem stays in line (a --json given, for the error's form).
bool ReadCommandLine(const ProgramSpec& program, std::span<const std::string> args, SlashWords slashWords,
                     CommandLine& line, std::string& error);

// The text that answers a Help or Version request.
std::string Answer(const ProgramSpec& program, const CommandLine& line);

// "(qlxduo-cli --help shows the usage)", the line after a usage error.
std::string UsageHint(const ProgramSpec& program);

// The whole number in an option's value, from lowest to highest, when the option was given (number
// stays as it is otherwise); false with the reason: "--count 12x: give a whole number from 1 to 1000000".
bool ReadWholeNumber(const CommandLine& line, std::string_view option, int lowest, int highest, int& number,
                     std::string& error);

}  // namespace cmdline
