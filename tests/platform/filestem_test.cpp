// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "platform/userfolders.h"

namespace {

using platform::FileStem;

TEST(FileStem, IsTheLastComponentWithoutItsExtension) {
    // The system's first separator: a backslash on Windows.
    const std::string sep(1, platform::kPathSeparators[0]);
    const struct {
        std::string path;
        std::string stem;
    } cases[] = {
        {"/usr/bin/qlxduo", "qlxduo"},
        {"C:" + sep + "Program Files" + sep + "QLX-DUO" + sep + "qlxduo.exe", "qlxduo"},
        {"/opt/qlx.duo/bin/qlxduo-cli", "qlxduo-cli"},  // a dot in a folder is no extension
        {"/tmp/qlxduo.tar.gz", "qlxduo.tar"},
        {"/home/user/.qlxduo", ".qlxduo"},
        {"/home/user/.qlxduo.exe", ".qlxduo"},
        {"qlxduo.exe", "qlxduo"},
        {"name.", "name"},
        {"/a/b/..", ".."},
        {"/a/b/.", "."},
        {"/a/b/", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(FileStem(c.path), c.stem) << c.path;
}

}  // namespace
