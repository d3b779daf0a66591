// SPDX-License-Identifier: MIT
// Shared main of the test programs: isolates each program in temporary per-user folders before
// any test runs, so no test reads or writes the real user's settings or port map.
#include <gtest/gtest.h>

#include <filesystem>

#include "testenv.h"
#include "testsystem.h"

namespace testenv {
std::string& RootForMain();
}

int main(int argc, char** argv) {
    const std::string root = testenv::system::MakeUniqueFolder(testenv::system::TemporaryFolder());
    testenv::system::IsolateProgram(root);
    testenv::RootForMain() = root;

    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return result;
}
