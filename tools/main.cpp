// qlxduo-cli: the command-line driver of the QLX-DUO unit.
#include <iostream>

#include "platform/console.h"
#include "platform/processend.h"
#include "tools/cli.h"

int main(int argc, char** argv) {
    platform::ReleaseDevicesOnTermination();
    platform::UseUtf8Console();
    return cli::RunCli(platform::CommandLineArguments(argc, argv), std::cout, std::cerr);
}
