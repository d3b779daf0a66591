// SPDX-License-Identifier: MIT
// The INI accessor on real files in a temporary folder: the line editor's placement rules, the
// write-back at destruction, profile mode, and failures that must leave the file as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "settings/iniacs.h"
#include "testenv.h"

namespace {

struct Write {
    const char* section;
    const char* key;
    int value;
};

struct EditCase {
    const char* name;
    std::optional<std::string> before;  // nullopt: no file
    std::vector<Write> writes;
    std::string after;
    std::optional<int> readBack = std::nullopt;  // when the reader finds an earlier copy of the section
};

bool Exists(const std::string& path) {
    return std::filesystem::exists(std::filesystem::symlink_status(path));
}

TEST(IniacsLineEditor, EditsLandWhereTheyBelongAndLinesEndInCrLf) {
    const Write left{"System", "Left", 10}, top{"System", "Top", 20};
    const std::vector<EditCase> cases = {
        {"no file", std::nullopt, {left, top}, "[System]\r\nLeft=10\r\nTop=20\r\n"},
        {"empty file", "", {left}, "[System]\r\nLeft=10\r\n"},
        {"other section only",
         "[com]\r\ncom=3\r\n",
         {left, top},
         "[com]\r\ncom=3\r\n[System]\r\nLeft=10\r\nTop=20\r\n"},
        {"keys present",
         "[System]\r\nLeft=5\r\nTop=6\r\n[com]\r\ncom=3\r\n",
         {left, top},
         "[System]\r\nLeft=10\r\nTop=20\r\n[com]\r\ncom=3\r\n"},
        {"missing key after empty line",
         "[System]\r\nLeft=5\r\n\r\n[com]\r\ncom=3\r\n",
         {top},
         "[System]\r\nLeft=5\r\n\r\nTop=20\r\n[com]\r\ncom=3\r\n"},
        {"first of two sections",
         "[System]\r\nLeft=1\r\n[System]\r\nTop=2\r\n",
         {{"System", "Top", 9}},
         "[System]\r\nLeft=1\r\nTop=9\r\n[System]\r\nTop=2\r\n"},
        {"key before any header",
         "Left=7\r\n[System]\r\n",
         {{"System", "Left", 3}},
         "Left=7\r\n[System]\r\nLeft=3\r\n"},
        {"header with comment", "[System] ; main\r\nLeft=1\r\n", {left}, "[System] ; main\r\nLeft=10\r\n"},
        {"header [Systems]",
         "[Systems]\r\nLeft=1\r\n",
         {left},
         "[Systems]\r\nLeft=1\r\n[System]\r\nLeft=10\r\n"},
        {"header [system]",
         "[system]\r\nLeft=1\r\n",
         {left},
         "[system]\r\nLeft=1\r\n[System]\r\nLeft=10\r\n",
         1},
        {"header [ System ]",
         "[ System ]\r\nLeft=1\r\n",
         {left},
         "[ System ]\r\nLeft=1\r\n[System]\r\nLeft=10\r\n",
         1},
        {"indented header",
         " [System]\r\nLeft=1\r\n",
         {left},
         " [System]\r\nLeft=1\r\n[System]\r\nLeft=10\r\n",
         1},
        {"key line Left=5", "[System]\r\nLeft=5\r\n", {left}, "[System]\r\nLeft=10\r\n"},
        {"key line Left =5", "[System]\r\nLeft =5\r\n", {left}, "[System]\r\nLeft=10\r\n"},
        {"key line tab", "[System]\r\nLeft\t=5\r\n", {left}, "[System]\r\nLeft=10\r\n"},
        {"bare key line", "[System]\r\nLeft\r\n", {left}, "[System]\r\nLeft=10\r\n"},
        {"not key lines",
         "[System]\r\nleft=5\r\n Left=5\r\n;Left=5\r\nLeftX=1\r\n[com]\r\n",
         {left},
         "[System]\r\nleft=5\r\n Left=5\r\n;Left=5\r\nLeftX=1\r\nLeft=10\r\n[com]\r\n",
         5},
        {"negative value", "[System]\r\nLeft=5\r\n", {{"System", "Left", -8}}, "[System]\r\nLeft=-8\r\n"},
        {"same key twice", "", {left, {"System", "Left", 11}}, "[System]\r\nLeft=11\r\n"},
        {"last line without line end", "[System]\r\nTop=1", {left}, "[System]\r\nTop=1\r\nLeft=10\r\n"},
        {"LF line ends", "[com]\ncom=3\n", {left}, "[com]\r\ncom=3\r\n[System]\r\nLeft=10\r\n"},
        {"only the CR before LF is a line end",
         "x\r\r\ny\rz\n",
         {left},
         "x\r\r\ny\rz\r\n[System]\r\nLeft=10\r\n"},
        {"empty lines kept", "a\n\n\n", {left}, "a\r\n\r\n\r\n[System]\r\nLeft=10\r\n"},
        {"line with NUL",
         std::string("[System]\r\nk=\0v\r\n", 16),
         {left},
         std::string("[System]\r\nk=\0v\r\nLeft=10\r\n", 25)},
    };
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.name);
        testenv::TempDir dir;
        const std::string path = dir.File("qlxduo.ini");
        if (c.before) testenv::WriteFile(path, *c.before);
        {
            iniacs ini;
            ini.SetFile(path, 1);
            for (const Write& w : c.writes) EXPECT_EQ(ini.WriteInt(w.section, w.key, w.value), 1);
        }
        EXPECT_EQ(testenv::ReadFile(path), c.after);
        iniacs reader;
        reader.SetFile(path, 0);
        EXPECT_EQ(reader.ReadInt(c.writes.back().section, c.writes.back().key),
                  c.readBack.value_or(c.writes.back().value));
    }
}

TEST(IniacsLineEditor, WritesBackOnlyAtDestructionAndOnlyWhenLoaded) {
    testenv::TempDir dir;
    const std::string path = dir.File("qlxduo.ini");
    testenv::WriteFile(path, "[System]\nLeft=5\n");
    {
        iniacs ini;
        ini.SetFile(path.c_str(), 1);
        EXPECT_EQ(ini.WriteInt("System", "Left", 5), 1);
        EXPECT_EQ(ini.ReadInt("System", "Left"), 5);
        EXPECT_EQ(ini.WriteInt("System", "Left", 6), 1);
        EXPECT_EQ(ini.ReadInt("System", "Left"), 5) << "reads see the disk, not the pending edit";
        EXPECT_EQ(testenv::ReadFile(path), "[System]\nLeft=5\n");
    }
    EXPECT_EQ(testenv::ReadFile(path), "[System]\r\nLeft=6\r\n");
    {
        iniacs ini;
        ini.SetFile(path, 1);
        EXPECT_EQ(ini.ReadInt("System", "Left"), 6);
    }
    const std::string absent = dir.File("never.ini");
    {
        iniacs ini;
        ini.SetFile(absent, 1);
        EXPECT_EQ(ini.ReadInt("System", "Left"), -1);
    }
    EXPECT_FALSE(Exists(absent)) << "an accessor that never wrote touches no file";
}

TEST(IniacsLineEditor, RewritesTheFileEvenWhenNothingChanged) {
    testenv::TempDir dir;
    const std::string path = dir.File("qlxduo.ini");
    testenv::WriteFile(path, "[System]\nLeft=5");
    {
        iniacs ini;
        ini.SetFile(path, 7);  // any non-zero mode is the line editor
        EXPECT_EQ(ini.WriteInt("System", "Left", 5), 1);
    }
    EXPECT_EQ(testenv::ReadFile(path), "[System]\r\nLeft=5\r\n");
}

TEST(IniacsLineEditor, FailedLoadIsRetriedAndLeavesNothingBehind) {
    testenv::TempDir dir;
    const std::string folder = dir.File("later");
    const std::string path = folder + "/qlxduo.ini";
    iniacs ini;
    ini.SetFile(path, 1);
    EXPECT_EQ(ini.WriteInt("System", "Left", 1), 0);
    EXPECT_FALSE(Exists(folder));
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    EXPECT_EQ(ini.WriteInt("System", "Top", 2), 1);
    EXPECT_EQ(testenv::ReadFile(path), "") << "the load creates the file; the edits wait for destruction";
}

TEST(IniacsLineEditor, UnloadableFilesStayByteForByte) {
    struct Case {
        const char* name;
        bool needsNonRoot;
        std::function<std::string(const testenv::TempDir&)> prepare;  // returns the path handed over
    };
    const std::string contents = "[System]\nLeft=5\n";
    const std::vector<Case> cases = {
        {"empty path", false, [](const testenv::TempDir&) { return std::string(); }},
        {"absent folder", false, [](const testenv::TempDir& d) { return d.File("none/qlxduo.ini"); }},
        {"folder where the file should be", false,
         [&](const testenv::TempDir& d) {
             std::filesystem::create_directory(d.File("qlxduo.ini"));
             testenv::WriteFile(d.File("qlxduo.ini/inner"), contents);
             return d.File("qlxduo.ini");
         }},
        {"read-only file", true,
         [&](const testenv::TempDir& d) {
             testenv::WriteFile(d.File("qlxduo.ini"), contents);
             chmod(d.File("qlxduo.ini").c_str(), 0444);
             return d.File("qlxduo.ini");
         }},
        {"read-only folder without the file", true,
         [](const testenv::TempDir& d) {
             chmod(d.Path().c_str(), 0555);
             return d.File("qlxduo.ini");
         }},
    };
    testenv::RootSkips rootSkips;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (rootSkips.Skip(c.needsNonRoot, c.name)) continue;
        testenv::TempDir dir;
        const std::string path = c.prepare(dir);
        const std::string before = testenv::ReadFile(dir.File("qlxduo.ini/inner")) + testenv::ReadFile(path);
        const auto listing = [&] {
            std::vector<std::string> names;
            for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path()))
                names.push_back(e.path().string());
            return names;
        };
        const auto namesBefore = listing();
        {
            iniacs ini;
            ini.SetFile(path, 1);
            EXPECT_EQ(ini.WriteInt("System", "Left", 9), 0);
        }
        EXPECT_EQ(testenv::ReadFile(dir.File("qlxduo.ini/inner")) + testenv::ReadFile(path), before);
        EXPECT_EQ(listing(), namesBefore);
    }
    if (!rootSkips.Note().empty()) GTEST_SKIP() << rootSkips.Note();
}

TEST(IniacsProfileMode, WritesAtOnceAndAlwaysReportsSuccess) {
    testenv::TempDir dir;
    const std::string path = dir.File("qlxduo.ini");
    {
        iniacs ini;
        ini.SetFile(path, 0);
        EXPECT_EQ(ini.ReadInt("com", "com"), -1);
        EXPECT_EQ(ini.WriteInt("com", "com", 4), 1);
        EXPECT_EQ(testenv::ReadFile(path), "[com]\r\ncom=4\r\n");
        EXPECT_EQ(ini.ReadInt("com", "com"), 4);
        EXPECT_EQ(ini.WriteInt("System", "Left", -3), 1);
        EXPECT_EQ(ini.ReadInt("System", "Left"), -3);
        testenv::WriteFile(path, "kept");
    }
    EXPECT_EQ(testenv::ReadFile(path), "kept") << "destroying a profile-mode accessor touches nothing";
    iniacs failing;
    failing.SetFile(dir.File("none/qlxduo.ini"), 0);
    EXPECT_EQ(failing.WriteInt("com", "com", 4), 1);
    EXPECT_FALSE(Exists(dir.File("none")));
    iniacs unset;
    unset.SetFile(static_cast<const char*>(nullptr), 0);
    EXPECT_EQ(unset.WriteInt("com", "com", 4), 1);
    EXPECT_EQ(unset.ReadInt("com", "com"), -1);
}

TEST(IniacsLineEditor, KeepsLinkAndPermissionBits) {
    testenv::TempDir dir;
    const std::string real = dir.File("real.ini"), link = dir.File("qlxduo.ini");
    testenv::WriteFile(real, "[System]\r\nLeft=1\r\n");
    chmod(real.c_str(), 0640);
    std::filesystem::create_symlink("real.ini", link);
    {
        iniacs ini;
        ini.SetFile(link, 1);
        EXPECT_EQ(ini.WriteInt("System", "Left", 2), 1);
    }
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(testenv::ReadFile(real), "[System]\r\nLeft=2\r\n");
    struct stat st;
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

}  // namespace
