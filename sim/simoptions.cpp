#include <charconv>

#include "platform/comportmap.h"
#include "sim/simrun.h"

namespace sim {
namespace {

bool ParseInt(const std::string& text, int low, int high, int& out) {
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) return false;
    out = value;
    return true;
}

// Applies one option that takes a value; false when the value does not fit.
bool ApplyValue(const std::string& name, const std::string& value, SimOptions& o) {
    if (name == "--com") return ParseInt(value, platform::kLowestComPort, platform::kHighestComPort, o.com);
    if (name == "--reply-delay") return ParseInt(value, 0, 60000, o.unit.replyDelayMs);
    if (name == "--a") return unit::ParseCodeList(value, o.unit.a);
    if (name == "--b") return unit::ParseCodeList(value, o.unit.b);
    if (name == "--reject") {
        if (value.empty()) return false;
        o.unit.rejects.push_back(value);
        return true;
    }
    std::string* const texts[] = {&o.unit.identity, &o.unit.firmware, &o.unit.stateFile, &o.logFile,
                                  &o.wireFile};
    const char* const names[] = {"--identity", "--firmware", "--state", "--log", "--wire"};
    for (size_t i = 0; i < std::size(names); ++i) {
        if (name == names[i]) {
            *texts[i] = value;
            return true;
        }
    }
    return false;
}

}  // namespace

const char* const kSimUsage =
    "usage: qlxduo-sim [--com N] [--identity TEXT] [--firmware X.YZ] [--a f,fl,dl,baud,st,par]\n"
    "                  [--b f,fl,dl,baud,st,par] [--state FILE] [--reply-delay MS] [--silent]\n"
    "                  [--reject PREFIX]... [--log FILE] [--wire FILE]\n";

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--silent") {
            options.unit.silent = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            error = "missing value or unknown option: " + args[i];
            return false;
        }
        if (!ApplyValue(args[i], args[i + 1], options)) {
            error = "unknown option or bad value: " + args[i] + " " + args[i + 1];
            return false;
        }
        ++i;
    }
    return true;
}

}  // namespace sim
