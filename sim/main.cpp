// qlxduo-sim: a QLX-DUO unit played on a pseudo-terminal, for tests, demonstrations and training.
#include <cstdio>

#include "sim/simrun.h"

int main(int argc, char** argv) {
    sim::SimOptions options;
    std::string error;
    if (!sim::ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "qlxduo-sim: %s\n%s", error.c_str(), sim::kSimUsage);
        return 2;
    }
    return sim::RunSimulatedUnit(options);
}
