// SPDX-License-Identifier: MIT
// The COM list's tables without a window: which "COM" texts name a port, the list order, both
// look-ups, and the remembered port in a real settings file. Runs on both systems.
#include "ui/comportindex.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fakelist.h"
#include "testenv.h"

namespace {

TEST(ComPortIndex, TextsNamePortsInNumericOrder) {
    struct Case {
        const char* name;
        std::vector<std::string> texts;
        std::vector<int> ports;
    };
    const std::vector<Case> cases = {
        {"numeric, not text order", {"COM10", "COM3", "COM1"}, {1, 3, 10}},
        {"a port named twice is one item", {"COM3", "COM3"}, {3}},
        {"outside 1..255, too short or without digits",
         {"COM0", "COM256", "COM300", "COMX", "CO", "COM", "COM-2"},
         {}},
        {"the first three characters are not looked at",
         {"XYZ7", "com8", "COM 9", "COM12abc"},
         {7, 8, 9, 12}},
        {"both ends of the range", {"COM255", "COM1"}, {1, 255}},
        {"nothing", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CComPortIndex index;
        index.MarkPresent(c.texts);
        EXPECT_EQ(index.NumberPresentPorts(), c.ports);
        EXPECT_EQ(index.PortCount(), static_cast<int>(c.ports.size()));
        for (size_t position = 0; position < c.ports.size(); ++position) {
            EXPECT_EQ(index.PortOfListIndex(static_cast<int>(position)), c.ports[position]);
            EXPECT_EQ(index.ListIndexOfPort(c.ports[position]), static_cast<int>(position));
        }
        EXPECT_EQ(index.PortOfListIndex(static_cast<int>(c.ports.size())), -1);
        EXPECT_EQ(index.PortOfListIndex(-1), -1);
        EXPECT_EQ(index.ListIndexOfPort(2), -1);
        EXPECT_EQ(index.ListIndexOfPort(0), -1);
        EXPECT_EQ(index.ListIndexOfPort(256), -1);
        EXPECT_TRUE(index.NumberPresentPorts().empty()) << "the list is numbered once";
    }
}

TEST(ComPortIndex, WithoutDetectionEveryPortIsPresent) {
    CComPortIndex index;
    index.MarkAllPresent();
    const std::vector<int> ports = index.NumberPresentPorts();
    ASSERT_EQ(ports.size(), 255u);
    EXPECT_EQ(ports.front(), 1);
    EXPECT_EQ(ports.back(), 255);
    EXPECT_EQ(index.ListIndexOfPort(255), 254);
}

using FakeComList = CFakeList<CComPortList>;

TEST(ComPortList, FillsOnceAndSelectsThePortOrTheFirst) {
    struct Case {
        std::vector<std::string> texts;
        int port;
        int result;
        std::vector<std::string> items;
        int selectedPort;
    };
    const std::vector<std::string> three = {"COM10", "COM3", "COM1"};
    const Case cases[] = {
        {three, 3, 1, {"COM1", "COM3", "COM10"}, 3},
        {three, 2, 1, {"COM1", "COM3", "COM10"}, 1},
        {three, 255, 1, {"COM1", "COM3", "COM10"}, 1},
        {three, 0, 0, {}, -1},
        {three, 256, 0, {}, -1},
        {three, -1, 0, {}, -1},
        {{}, 1, 1, {}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        FakeComList list;
        list.MarkPresent(c.texts);
        EXPECT_EQ(list.FillAndSelect(c.port), c.result);
        EXPECT_EQ(list.texts, c.items);
        EXPECT_EQ(list.GetSelectedPort(), c.selectedPort);
        if (c.result == 1) {
            EXPECT_EQ(list.FillAndSelect(c.port), 1);
            EXPECT_EQ(list.texts, c.items) << "the fill runs once";
        }
    }

    FakeComList list;
    list.MarkPresent(three);
    list.FillAndSelect(1);
    list.selected = 2;  // the user's choice, read from the list every time
    EXPECT_EQ(list.GetSelectedPort(), 10);
}

TEST(ComPortList, RememberedPortIsLoadedCorrectedAndSaved) {
    testenv::TempDir dir;
    const std::string path = dir.File("qlxduo.ini");
    FakeComList list;
    list.MarkPresent({"COM3", "COM7"});
    testenv::WriteFile(path, "[com]\r\ncom=7\r\n");
    LoadComPortInto(list, path);
    EXPECT_EQ(list.GetSelectedPort(), 7);
    list.selected = 0;
    SaveComPortFrom(list, path);
    EXPECT_EQ(testenv::ReadFile(path), "[com]\r\ncom=3\r\n");
    list.selected = -1;
    SaveComPortFrom(list, path);
    EXPECT_EQ(ReadRememberedPort(path), -1);

    FakeComList unstored;
    unstored.MarkPresent({"COM3", "COM7"});
    LoadComPortInto(unstored, "");
    EXPECT_EQ(unstored.GetSelectedPort(), 3) << "nothing stored: port 1, absent, so the first";
    // Writes nothing anywhere, not even a file of no name where the program stands.
    testenv::TempDir here;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(here.Path());
    SaveComPortFrom(unstored, "");
    std::filesystem::current_path(previous);
    EXPECT_TRUE(std::filesystem::is_empty(here.Path()));
}

TEST(RememberedPort, StoredInTheSettingsFileAndCorrected) {
    testenv::TempDir dir;
    const std::string path = dir.File("qlxduo.ini");
    EXPECT_EQ(ReadRememberedPort(path), -1) << "no file";
    WriteRememberedPort(path, 7);
    EXPECT_EQ(testenv::ReadFile(path), "[com]\r\ncom=7\r\n");
    EXPECT_EQ(ReadRememberedPort(path), 7);
    WriteRememberedPort(path, -1);
    EXPECT_EQ(ReadRememberedPort(path), -1);
    EXPECT_EQ(ReadRememberedPort(""), -1);

    for (const auto& [stored, corrected] : std::vector<std::pair<int, int>>{
             {-1, 1}, {256, 1}, {1000, 1}, {0, 1}, {-5, 1}, {1, 1}, {255, 255}}) {
        EXPECT_EQ(CorrectRememberedPort(stored), corrected) << stored;
    }
}

}  // namespace
