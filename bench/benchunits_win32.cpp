// SPDX-License-Identifier: MIT
// The benchmark's units under Wine: the Linux side (bench/wine_exchange.sh) has mapped two
// simulated units into the prefix as COM ports and passes their numbers.
#include <windows.h>

#include <charconv>
#include <string_view>

#include "bench/benchunits.h"
#include "ports/portlist.h"

namespace {

// A COM number, or 0 for a part left out; false for anything else.
bool ParsePort(std::string_view text, int& port) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    return error == std::errc() && end == text.data() + text.size() &&
           (port == 0 || platform::IsComPortNumber(port));
}

}  // namespace

struct CBenchUnits::Processes {};

CBenchUnits::CBenchUnits(int argc, char** argv) {
    if (argc != 3 || !ParsePort(argv[1], m_answeringPort) || !ParsePort(argv[2], m_silentPort)) {
        m_answeringPort = m_silentPort = 0;
        m_error = "two COM port numbers are needed";
    }
}

CBenchUnits::~CBenchUnits() = default;

const char* CBenchUnits::Usage() {
    return "usage: qlxduo-bench-exchange ANSWERING-COM SILENT-COM   (0 leaves that part out)\n";
}

double ProcessorTimeMs() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto ticks = [](const FILETIME& time) {
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e4;  // 100 ns ticks
}
