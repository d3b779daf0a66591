// SPDX-License-Identifier: MIT
// The dialog base's settings without a window: the settings folder found or made level by level,
// the failure messages, the stored position and its fitting into the work area. Runs on both
// systems, so both windows are held to the same rules.
#include "ui/dialogsettings.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

#include "testenv.h"

namespace {

using dlgsettings::LocateResult;
using dlgsettings::Position;
using dlgsettings::WorkArea;

constexpr const char* kSubFolder = "Kestrelan\\QLX-DUO\\";

std::filesystem::path Utf8Path(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

TEST(SettingsLocation, FolderIsMadeLevelByLevelOrTheFailureNamed) {
    testenv::TempDir appData;
    const auto first = dlgsettings::LocateSettingsFile(appData.Path(), kSubFolder, "qlxduo");
    ASSERT_EQ(first.result, LocateResult::Found);
    EXPECT_EQ(first.filePath, appData.Path() + "/Kestrelan/QLX-DUO/qlxduo.ini");
    EXPECT_TRUE(std::filesystem::is_directory(Utf8Path(appData.File("Kestrelan/QLX-DUO"))));
    // Found again as it is; another executable name gives another file.
    EXPECT_EQ(dlgsettings::LocateSettingsFile(appData.Path() + "/", kSubFolder, "other").filePath,
              appData.Path() + "/Kestrelan/QLX-DUO/other.ini");
    // A name with any characters.
    EXPECT_EQ(dlgsettings::LocateSettingsFile(appData.Path(), "設定\\", "qlxduo").filePath,
              appData.Path() + "/設定/qlxduo.ini");

    testenv::TempDir fileInPlace;
    std::filesystem::create_directories(Utf8Path(fileInPlace.File("Kestrelan")));
    testenv::WriteFile(fileInPlace.File("Kestrelan/QLX-DUO"), "");
    EXPECT_EQ(dlgsettings::LocateSettingsFile(fileInPlace.Path(), kSubFolder, "qlxduo").result,
              LocateResult::Found)
        << "a file in place of the folder counts as the folder";

    testenv::TempDir upperLevelFile;
    testenv::WriteFile(upperLevelFile.File("Kestrelan"), "");
    EXPECT_EQ(dlgsettings::LocateSettingsFile(upperLevelFile.Path(), kSubFolder, "qlxduo").result,
              LocateResult::FolderNotMade);
    EXPECT_EQ(dlgsettings::LocateSettingsFile("", kSubFolder, "qlxduo").result,
              LocateResult::NoAppDataFolder);
}

TEST(SettingsLocation, FailureMessages) {
    EXPECT_STREQ(dlgsettings::LocateFailureMessage(LocateResult::NoAppDataFolder),
                 "Windowsのバージョンの取得もしくは\r\nアプリケーションフォルダの取得に失敗しました。");
    EXPECT_STREQ(dlgsettings::LocateFailureMessage(LocateResult::FolderNotMade),
                 "ユーザアプリケーションフォルダの生成に失敗しました。");
    EXPECT_EQ(dlgsettings::LocateFailureMessage(LocateResult::Found), nullptr);
}

TEST(WindowPosition, StoredWithCrLfAndRestoredWhereStored) {
    testenv::TempDir dir;
    const std::string path = dir.File("qlxduo.ini");
    testenv::WriteFile(path, "[com]\r\ncom=7\r\n");
    dlgsettings::WriteWindowPos(path, -8, 20);
    EXPECT_EQ(testenv::ReadFile(path), "[com]\r\ncom=7\r\n[System]\r\nLeft=-8\r\nTop=20\r\n");
    const auto stored = dlgsettings::ReadWindowPos(path);
    EXPECT_EQ(stored.left, -8);
    EXPECT_EQ(stored.top, 20);

    const Position current{300, 200};
    EXPECT_EQ(dlgsettings::PositionToRestore({5, -1}, current), (Position{5, 200}));
    EXPECT_EQ(dlgsettings::PositionToRestore({-1, 7}, current), (Position{300, 7}));
    EXPECT_EQ(dlgsettings::PositionToRestore(dlgsettings::ReadWindowPos(""), current), current);
}

TEST(WindowPosition, FittedIntoTheWorkAreaAxisByAxis) {
    struct Case {
        Position stored;
        int width, height;
        WorkArea work;
        Position expected;
    };
    const WorkArea full{0, 0, 1920, 1040};
    const WorkArea leftBar{100, 0, 1920, 1040};
    const Case cases[] = {
        {{1800, 100}, 300, 200, full, {810, 100}},
        {{50, 100}, 300, 200, leftBar, {860, 100}},  // centred within the work area
        {{0, 0}, 1201, 200, {0, 0, 1000, 1040}, {-100, 0}},
        {{1620, 840}, 300, 200, full, {1620, 840}},  // touching both edges exactly
        {{1621, 841}, 300, 200, full, {810, 420}},
        {{100, -1}, 300, 200, full, {100, 420}},
        {{INT_MAX, INT_MIN}, 300, 200, full, {810, 420}},
        {{INT_MAX - 299, 0}, 300, 200, full, {810, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stored.x << "," << c.stored.y);
        EXPECT_EQ(dlgsettings::FitIntoWorkArea(c.stored, c.width, c.height, c.work), c.expected);
    }

    // One axis: an edge kept inside [low, high), else the window centred within the range.
    struct Axis {
        int position, size, low, high, expected;
    };
    const Axis axes[] = {
        {100, 300, 100, 1920, 100},  // touching the low edge exactly
        {99, 300, 100, 1920, 860},    {200, 300, 100, 1920, 200},           {-20, 100, -50, 50, -50},
        {INT_MIN, 300, 0, 1920, 810}, {100, INT_MAX, 0, 1920, -1073740863},  // a size no range holds, centred
                                                                             // without overflow
    };
    for (const Axis& a : axes) {
        EXPECT_EQ(dlgsettings::FitIntoRange(a.position, a.size, a.low, a.high), a.expected)
            << a.position << " " << a.size << " in " << a.low << ".." << a.high;
    }
    EXPECT_EQ(dlgsettings::CentredInWorkArea(300, 200, leftBar), (Position{860, 420}));
    EXPECT_EQ(dlgsettings::CentredInWorkArea(300, 201, {0, 40, 1920, 1040}), (Position{810, 439}));
}

}  // namespace
