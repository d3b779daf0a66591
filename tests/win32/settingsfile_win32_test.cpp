// SPDX-License-Identifier: MIT
// The settings file on Windows, through all three ways in (the private-profile functions, the line
// editor's load and replace, and the whole-file reader): what is not a regular file within the size
// limit is neither read, nor written, nor replaced; paths with any characters work; a replace keeps
// the file's attributes and leaves no temporary file.
#include <windows.h>
// The system's names for the text-type variants would rename the functions under test.
#undef GetPrivateProfileInt
#undef WritePrivateProfileString

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/atomicfile.h"
#include "platform/profile.h"
#include "settings/iniacs.h"
#include "testenv.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kContents = "[System]\r\nLeft=5\r\n";
constexpr size_t kLimit = platform::kMaxFileSize;

using testenv::Wide;

DWORD Attributes(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str());
}

// Every entry of the folder, to see that nothing was added or taken away.
std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(Wide(folder)))) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

struct RefusedCase {
    const char* name;
    std::function<std::string(const testenv::TempDir&)> prepare;  // returns the settings path
    bool readable;  // the value can still be read (a read-only file)
};

TEST(SettingsFile, WhatIsNoRegularFileWithinTheLimitIsLeftAlone) {
    const std::vector<RefusedCase> cases = {
        {"reserved device name", [](const testenv::TempDir& d) { return d.File("CON"); }, false},
        {"reserved name with an extension", [](const testenv::TempDir& d) { return d.File("NUL.ini"); },
         false},
        {"serial port name", [](const testenv::TempDir& d) { return d.File("COM9.ini"); }, false},
        {"device namespace", [](const testenv::TempDir&) { return std::string("\\\\.\\NUL"); }, false},
        {"folder",
         [](const testenv::TempDir& d) {
             fs::create_directory(d.File("qlxduo.ini"));
             return d.File("qlxduo.ini");
         },
         false},
        {"larger than the limit",
         [](const testenv::TempDir& d) {
             testenv::WriteFile(d.File("qlxduo.ini"), kContents + std::string(kLimit, ';'));
             return d.File("qlxduo.ini");
         },
         false},
        {"read-only file",
         [](const testenv::TempDir& d) {
             testenv::WriteFile(d.File("qlxduo.ini"), kContents);
             SetFileAttributesW(Wide(d.File("qlxduo.ini")).c_str(), FILE_ATTRIBUTE_READONLY);
             return d.File("qlxduo.ini");
         },
         true},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.name);
        testenv::TempDir dir;
        const std::string path = c.prepare(dir);
        const std::string before = fs::is_regular_file(fs::path(Wide(path))) ? testenv::ReadFile(path) : "";
        const auto entries = Listing(dir.Path());

        EXPECT_EQ(platform::GetPrivateProfileInt("System", "Left", -1, path.c_str()), c.readable ? 5u : ~0u);
        std::string read = "untouched";
        const platform::FileRead whole = platform::ReadWholeFile(path, read);
        EXPECT_EQ(whole, c.readable ? platform::FileRead::Read : platform::FileRead::Refused);
        EXPECT_EQ(read, c.readable ? before : "untouched");

        EXPECT_FALSE(platform::WritePrivateProfileString("System", "Left", "9", path.c_str()));
        EXPECT_FALSE(platform::ReplaceWholeFile(path, "replaced"));
        {
            iniacs editor;
            editor.SetFile(path, 1);
            EXPECT_EQ(editor.WriteInt("System", "Top", 9), 0);
        }
        if (!before.empty()) {
            EXPECT_EQ(testenv::ReadFile(path), before);
        }
        EXPECT_EQ(Listing(dir.Path()), entries);
        SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST(SettingsFile, AFileOfExactlyTheLimitIsRead) {
    testenv::TempDir dir;
    const std::string path = dir.File("qlxduo.ini");
    // Lines that end as the line editor writes them, so the rewrite keeps the size.
    const std::string contents =
        kContents + std::string(kLimit - std::string(kContents).size() - 2, ';') + "\r\n";
    testenv::WriteFile(path, contents);
    EXPECT_EQ(platform::GetPrivateProfileInt("System", "Left", -1, path.c_str()), 5u);
    {
        iniacs editor;
        editor.SetFile(path, 1);
        EXPECT_EQ(editor.WriteInt("System", "Left", 6), 1);
    }
    EXPECT_EQ(platform::GetPrivateProfileInt("System", "Left", -1, path.c_str()), 6u);
}

TEST(SettingsFile, PathsWithAnyCharactersWork) {
    testenv::TempDir dir;
    const std::string folder = dir.File("設定 Ωμ \xF0\x9F\x8E\x9B");  // with a character beyond 16 bits
    ASSERT_TRUE(fs::create_directory(fs::path(Wide(folder))));
    const std::string path = folder + "\\qlxduo.ini";
    {
        iniacs profile;
        profile.SetFile(path, 0);
        EXPECT_EQ(profile.WriteInt("com", "com", 7), 1);
        EXPECT_EQ(profile.ReadInt("com", "com"), 7);
    }
    {
        iniacs editor;
        editor.SetFile(path, 1);
        EXPECT_EQ(editor.WriteInt("System", "Left", -20), 1);
    }
    EXPECT_EQ(testenv::ReadFile(path), "[com]\r\ncom=7\r\n[System]\r\nLeft=-20\r\n");
    EXPECT_EQ(Listing(folder), std::vector<std::string>{"qlxduo.ini"});
}

TEST(SettingsFile, ReplaceKeepsAttributesAndTakesOverALeftoverTemporaryFile) {
    testenv::TempDir dir;
    const std::string path = dir.File("qlxduo.ini");
    testenv::WriteFile(path, kContents);
    SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_HIDDEN);
    // What a save cut short would have left behind.
    testenv::WriteFile(path + ".qlxduo-tmp", "half a fi");
    EXPECT_TRUE(platform::ReplaceWholeFile(path, "[System]\r\nLeft=8\r\n"));
    EXPECT_EQ(testenv::ReadFile(path), "[System]\r\nLeft=8\r\n");
    EXPECT_NE(Attributes(path) & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"qlxduo.ini"});

    EXPECT_TRUE(platform::ReplaceWholeFile(dir.File("new.ini"), "x"));
    EXPECT_EQ(testenv::ReadFile(dir.File("new.ini")), "x");
    EXPECT_FALSE(platform::ReplaceWholeFile(dir.File("none/new.ini"), "x"));
    EXPECT_FALSE(platform::ReplaceWholeFile("", "x"));
}

// When no temporary file can be made beside the settings file but the file itself may be written,
// the edit is written into the file itself rather than lost. (What stands in the way here is a
// folder where the temporary file goes: Wine keeps no access rights on files.)
TEST(SettingsFile, ReplaceWritesInPlaceWhenNoTemporaryFileCanBeMade) {
    testenv::TempDir dir;
    const std::string path = dir.File("qlxduo.ini");
    testenv::WriteFile(path, kContents);
    ASSERT_TRUE(fs::create_directory(fs::path(Wide(path + ".qlxduo-tmp"))));
    EXPECT_TRUE(platform::ReplaceWholeFile(path, "[System]\r\nLeft=9\r\n"));
    EXPECT_EQ(testenv::ReadFile(path), "[System]\r\nLeft=9\r\n");
    {
        iniacs editor;
        editor.SetFile(path, 1);
        EXPECT_EQ(editor.WriteInt("System", "Top", 4), 1);
    }
    EXPECT_EQ(testenv::ReadFile(path), "[System]\r\nLeft=9\r\nTop=4\r\n");
    // Without a file to write into there is nowhere to keep the edit.
    ASSERT_TRUE(fs::create_directory(fs::path(Wide(dir.File("new.ini.qlxduo-tmp")))));
    EXPECT_FALSE(platform::ReplaceWholeFile(dir.File("new.ini"), "x"));
    EXPECT_FALSE(fs::exists(fs::path(Wide(dir.File("new.ini")))));
}

TEST(SettingsFile, EmptyPathReadsNothingAndWritesNothing) {
    // The system would take an empty name for win.ini.
    EXPECT_EQ(platform::GetPrivateProfileInt("System", "Left", 3, ""), 3u);
    EXPECT_FALSE(platform::WritePrivateProfileString("System", "Left", "9", ""));
    std::string contents;
    EXPECT_EQ(platform::ReadWholeFile("", contents), platform::FileRead::Absent);
    EXPECT_FALSE(platform::ReadWholeFileForUpdate("", contents));
}

}  // namespace
