// SPDX-License-Identifier: MIT
// The private-profile functions on real files in a temporary folder: Windows' reading rules, and
// writes that touch only the bytes of the line they target.
#include "platform/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "testenv.h"

namespace {

using std::string_literals::operator""s;

unsigned ReadLeft(const std::string& contents, int defaultValue = -1) {
    testenv::TempDir dir;
    testenv::WriteFile(dir.File("t.ini"), contents);
    return platform::GetPrivateProfileInt("System", "Left", defaultValue, dir.File("t.ini").c_str());
}

TEST(GetPrivateProfileInt, ReadsAsWindowsDoes) {
    struct Case {
        const char* name;
        std::string contents;
        unsigned expected;
    };
    const unsigned absent = 4294967295u;
    const std::vector<Case> cases = {
        {"plain", "[System]\r\nLeft=5\r\n", 5},
        {"letter case", "[SYSTEM]\r\nleft=5\r\n", 5},
        {"blanks", "  [ System ]  \r\n  Left  =  5  \r\n", 5},
        {"tabs", "[\tSystem\t]\r\n\tLeft\t=\t5\t\r\n", 5},
        {"text after header", "[System] ; main\r\nLeft=5\r\n", 5},
        {"header without ]", "[System\r\nLeft=5\r\n", absent},
        {"comment", "[System]\r\n;Left=5\r\nLeft=6\r\n", 6},
        {"double quotes", "[System]\r\nLeft=\"42\"\r\n", 42},
        {"single quotes", "[System]\r\nLeft=' 42'\r\n", 42},
        {"unmatched quotes", "[System]\r\nLeft=\"42'\r\n", 0},
        {"empty quotes", "[System]\r\nLeft=\"\"\r\n", absent},
        {"minus one", "[System]\r\nLeft=-1\r\n", absent},
        {"minus", "[System]\r\nLeft=-8\r\n", 4294967288u},
        {"plus", "[System]\r\nLeft=+7\r\n", 7},
        {"hexadecimal", "[System]\r\nLeft=0x1f\r\n", 31},
        {"negative hexadecimal", "[System]\r\nLeft=-0x10\r\n", 4294967280u},
        {"upper-case prefix", "[System]\r\nLeft=0X10\r\n", 0},
        {"octal", "[System]\r\nLeft=0o17\r\n", 15},
        {"binary", "[System]\r\nLeft=0b101\r\n", 5},
        {"binary stops at 2", "[System]\r\nLeft=0b12\r\n", 1},
        {"leading zero is decimal", "[System]\r\nLeft=08\r\n", 8},
        {"trailing garbage", "[System]\r\nLeft=42abc\r\n", 42},
        {"no digits", "[System]\r\nLeft=abc\r\n", 0},
        {"wraps", "[System]\r\nLeft=4294967297\r\n", 1},
        {"empty value", "[System]\r\nLeft=\r\n", absent},
        {"bare key", "[System]\r\nLeft\r\n", absent},
        {"first section wins", "[System]\r\nTop=1\r\n[System]\r\nLeft=2\r\n", absent},
        {"first key wins", "[System]\r\nLeft=1\r\nLeft=2\r\n", 1},
        {"key of another section", "[com]\r\nLeft=5\r\n[System]\r\nTop=1\r\n", absent},
        {"key before any header", "Left=5\r\n[System]\r\n", absent},
        {"CR line ends", "[com]\rLeft=1\r[System]\rTop=6\rLeft=5\r", 5},
        {"LF line ends", "[System]\nLeft=5", 5},
        {"NUL ends the text", "[System]\r\nLeft=5\0 9\r\nTop=1"s, 5},
        {"NUL before the key", "[System]\r\n\0Left=5\r\nLeft=6"s, 6},
        {"empty file", "", absent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadLeft(c.contents), c.expected);
    }
    EXPECT_EQ(ReadLeft("[System]\r\nTop=1\r\n", 77), 77u);
    testenv::TempDir dir;
    EXPECT_EQ(platform::GetPrivateProfileInt("System", "Left", 3, dir.File("absent.ini").c_str()), 3u);
    EXPECT_EQ(platform::GetPrivateProfileInt("System", "Left", 3, dir.Path().c_str()), 3u);
}

TEST(WritePrivateProfileString, ChangesOnlyTheTargetedLine) {
    struct Case {
        const char* name;
        std::optional<std::string> before;
        const char* section;
        const char* value;
        std::string after;
    };
    const std::vector<Case> cases = {
        {"no file", std::nullopt, "System", "10", "[System]\r\nLeft=10\r\n"},
        {"empty file", "", "System", "10", "[System]\r\nLeft=10\r\n"},
        {"replaced in place", "; c\r\n[System]\r\nLeft=5\r\nTop=6\r\n", "System", "10",
         "; c\r\n[System]\r\nLeft=10\r\nTop=6\r\n"},
        {"other line ends kept", "[System]\n  Left = 5 \nTop=6", "System", "10", "[System]\nLeft=10\nTop=6"},
        {"letter case", "[SYSTEM]\r\nLEFT=5\r\n", "System", "10", "[SYSTEM]\r\nLeft=10\r\n"},
        {"after last non-blank line", "[System]\r\nTop=6\r\n; note\r\n\r\n[com]\r\ncom=3\r\n", "System", "10",
         "[System]\r\nTop=6\r\n; note\r\nLeft=10\r\n\r\n[com]\r\ncom=3\r\n"},
        {"header only, no line end", "[System]", "System", "10", "[System]\r\nLeft=10\r\n"},
        {"last line without line end", "[System]\r\nTop=6", "System", "10",
         "[System]\r\nTop=6\r\nLeft=10\r\n"},
        {"missing section", "[com]\r\ncom=3", "System", "10", "[com]\r\ncom=3\r\n[System]\r\nLeft=10\r\n"},
        {"missing section after CR", "[com]\rcom=3\r", "System", "10",
         "[com]\rcom=3\r[System]\r\nLeft=10\r\n"},
        {"first of two sections", "[System]\r\nTop=1\r\n[System]\r\nLeft=2\r\n", "System", "10",
         "[System]\r\nTop=1\r\nLeft=10\r\n[System]\r\nLeft=2\r\n"},
        {"leading blanks of the value", "[System]\r\nLeft=5\r\n", "System", " \t10",
         "[System]\r\nLeft=10\r\n"},
        {"other bytes kept", "x\0y\r\r\n[System]\r\nLeft=5\0z\r\n"s, "System", "-3",
         "x\0y\r\r\n[System]\r\nLeft=-3\r\n"s},
        {"Shift-JIS bytes kept", "; \x90\xdd\x92\xe8\r\n[System]\r\nLeft=5\r\n", "System", "10",
         "; \x90\xdd\x92\xe8\r\n[System]\r\nLeft=10\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testenv::TempDir dir;
        const std::string path = dir.File("t.ini");
        if (c.before) testenv::WriteFile(path, *c.before);
        EXPECT_TRUE(platform::WritePrivateProfileString(c.section, "Left", c.value, path.c_str()));
        EXPECT_EQ(testenv::ReadFile(path), c.after);
        EXPECT_EQ(static_cast<int>(platform::GetPrivateProfileInt(c.section, "Left", -1, path.c_str())),
                  std::stoi(c.value));
    }
}

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_ino;
}

TEST(WritePrivateProfileString, WritesNothingWhenTheValueIsStored) {
    testenv::TempDir dir;
    const std::string path = dir.File("t.ini");
    testenv::WriteFile(path, "[System]\nLeft = 5 \n");
    const ino_t before = InodeOf(path);
    EXPECT_TRUE(platform::WritePrivateProfileString("SYSTEM", "left", "  5", path.c_str()));
    EXPECT_EQ(InodeOf(path), before);
    EXPECT_EQ(testenv::ReadFile(path), "[System]\nLeft = 5 \n");
    EXPECT_TRUE(platform::WritePrivateProfileString("System", "Left", "6", path.c_str()));
    EXPECT_NE(InodeOf(path), before) << "a changed value replaces the file as a whole";
}

TEST(WritePrivateProfileString, RefusesWithoutCreatingOrChangingAnything) {
    struct Case {
        const char* name;
        bool needsNonRoot;
        std::function<std::string(const testenv::TempDir&)> prepare;
    };
    const std::vector<Case> cases = {
        {"empty path", false, [](const testenv::TempDir&) { return std::string(); }},
        {"absent folder", false, [](const testenv::TempDir& d) { return d.File("none/t.ini"); }},
        {"folder where the file should be", false,
         [](const testenv::TempDir& d) {
             std::filesystem::create_directory(d.File("t.ini"));
             return d.File("t.ini");
         }},
        {"read-only file", true,
         [](const testenv::TempDir& d) {
             testenv::WriteFile(d.File("t.ini"), "[System]\nLeft=5\n");
             chmod(d.File("t.ini").c_str(), 0444);
             return d.File("t.ini");
         }},
        {"read-only folder and file", true,  // a writable file would be written in place
         [](const testenv::TempDir& d) {
             testenv::WriteFile(d.File("t.ini"), "[System]\nLeft=5\n");
             chmod(d.File("t.ini").c_str(), 0444);
             chmod(d.Path().c_str(), 0555);
             return d.File("t.ini");
         }},
    };
    testenv::RootSkips rootSkips;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (rootSkips.Skip(c.needsNonRoot, c.name)) continue;
        testenv::TempDir dir;
        const std::string path = c.prepare(dir);
        const std::string before = testenv::ReadFile(path);
        const auto count = [&] {
            return std::distance(std::filesystem::recursive_directory_iterator(dir.Path()), {});
        };
        const auto entries = count();
        EXPECT_FALSE(platform::WritePrivateProfileString("System", "Left", "9", path.c_str()));
        EXPECT_EQ(testenv::ReadFile(path), before);
        EXPECT_EQ(count(), entries);
    }
    EXPECT_FALSE(platform::WritePrivateProfileString(nullptr, "Left", "9", "x.ini"));
    EXPECT_FALSE(platform::WritePrivateProfileString("System", nullptr, "9", "x.ini"));
    EXPECT_FALSE(platform::WritePrivateProfileString("System", "Left", nullptr, "x.ini"));
    EXPECT_FALSE(platform::WritePrivateProfileString("System", "Left", "9", nullptr));
    if (!rootSkips.Note().empty()) GTEST_SKIP() << rootSkips.Note();
}

}  // namespace
