// qlxduo-cli: the command-line driver of the QLX-DUO unit.
#include <iostream>

#include "platform/processend.h"
#include "tools/cli.h"

int main(int argc, char** argv) {
    platform::ReleaseDevicesOnTermination();
    return cli::RunCli(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
