// Shared main of the test programs: isolates each program in temporary per-user folders before
// any test runs, so no test reads or writes the real user's settings or port map.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "testenv.h"

namespace testenv {
std::string& RootForMain();
}

int main(int argc, char** argv) {
    char pattern[] = "/tmp/qlxduo-tests-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 2;
    const std::string root = pattern;
    for (const char* sub : {"/config", "/cache", "/home", "/runtime"})
        std::filesystem::create_directory(root + sub);
    std::filesystem::permissions(root + "/runtime", std::filesystem::perms::owner_all);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
    testenv::RootForMain() = root;

    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return result;
}
