// SPDX-License-Identifier: MIT
// The tool against units behind ser2net (clinetwork.h), in-process.
#include "clinetwork.h"

namespace {

TEST(CliNetworkTest, UnitsBehindSer2net) {
    testenv::SimProcess local({});
    clitest::CheckUnitsBehindSer2net([](const std::vector<std::string>& args) { return clitest::Cli(args); },
                                     local.DevicePath(), local);
}

}  // namespace
