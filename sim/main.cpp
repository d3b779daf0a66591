// SPDX-License-Identifier: MIT
// qlxduo-sim: a QLX-DUO unit played on a pseudo-terminal, for tests, demonstrations and training.
#include <cstdio>

#include "sim/simrun.h"

int main(int argc, char** argv) {
    sim::SimOptions options;
    std::string text;
    switch (sim::ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), options, text)) {
        case sim::SimArguments::Answered:
            std::fputs(text.c_str(), stdout);
            return 0;
        case sim::SimArguments::Invalid:
            std::fputs(text.c_str(), stderr);
            return 2;
        case sim::SimArguments::Run:
            break;
    }
    return sim::RunSimulatedUnit(options);
}
