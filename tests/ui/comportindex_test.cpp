// SPDX-License-Identifier: MIT
// The COM list's tables without a window: which "COM" texts name a port, the list order, both
// look-ups, and the remembered port in a real settings file. Runs on both systems.
#include "ui/comportindex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

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

// A list whose ports present are what the test says they are now: "COM<n>" texts, each on the
// device /dev/ttyS<n>.
class ChangingComList : public FakeComList {
public:
    explicit ChangingComList(std::vector<std::string> start, AdapterLookup lookup = {})
        : present(std::move(start)) {
        Detect(
            1,
            [this] {
                std::vector<platform::SerialPortEntry> entries;
                for (const std::string& name : present)
                    entries.push_back({name, "/dev/ttyS" + name.substr(3)});
                return entries;
            },
            std::move(lookup));
    }
    std::vector<std::string> present;
    int edits = 0;  // items inserted or removed
    void InsertEntry(int index, const std::string& text, int value) override {
        ++edits;
        FakeComList::InsertEntry(index, text, value);
    }
    void RemoveEntry(int index) override {
        ++edits;
        FakeComList::RemoveEntry(index);
    }
};

// "COM" texts of the port numbers in a string: "10 3" gives COM10 and COM3.
std::vector<std::string> Coms(const std::string& numbers) {
    std::vector<std::string> texts;
    std::istringstream in(numbers);
    for (std::string number; in >> number;) texts.push_back("COM" + number);
    return texts;
}

// At start the list is the fill's; then it follows the ports present: what came is put at its
// place, what went is dropped, but the port selected stays, listed and selected. An item is
// touched only when its port came or went.
TEST(ComPortList, RefreshFollowsThePortsPresentAndKeepsTheSelectedPort) {
    struct Case {
        const char* name;
        const char* start;  // the ports present at start
        int fill;           // the port FillAndSelect is given; 0 refuses the fill
        int choose;         // the port the user picks before the ports change; 0 for none
        const char* now;    // the ports present then
        bool changed;
        const char* items;
        int selectedPort;
        int edits;
    };
    const Case cases[] = {
        {"one came, in port order", "10 3 1", 3, 0, "5 10 3 1", true, "1 3 5 10", 3, 1},
        {"others went", "10 3 1", 3, 0, "3", true, "3", 3, 2},
        {"the selected one went: it stays", "10 3 1", 3, 0, "1 10", false, "1 3 10", 3, 0},
        {"the user's choice stays", "10 3 1", 3, 10, "1 2", true, "1 2 10", 10, 2},
        {"all went, one came", "10 3 1", 1, 0, "200", true, "1 200", 1, 3},
        {"nothing changed", "10 3 1", 3, 0, "1 3 10", false, "1 3 10", 3, 0},
        {"texts that name no port", "10 3 1", 3, 0, "1 3 10 0 X", false, "1 3 10", 3, 0},
        {"none at start, the remembered one came", "", 4, 0, "2 4", true, "2 4", 4, 2},
        {"none at start, others came: the first", "", 4, 0, "7 2", true, "2 7", 2, 2},
        {"a refused fill stays empty", "10 3 1", 0, 0, "1 2", false, "", -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChangingComList list(Coms(c.start));
        list.FillAndSelect(c.fill);
        if (c.choose != 0) list.SelectIndex(list.ListIndexOfPort(c.choose));
        list.present = Coms(c.now);
        list.edits = 0;
        EXPECT_EQ(list.Refresh(), c.changed);
        EXPECT_EQ(list.texts, Coms(c.items));
        EXPECT_EQ(list.GetSelectedPort(), c.selectedPort);
        EXPECT_EQ(list.edits, c.edits);
        EXPECT_EQ(list.emptied, 0) << "the list is edited, never emptied";
        // The tables follow the items.
        EXPECT_EQ(list.PortCount(), list.EntryCount());
        for (int index = 0; index < list.EntryCount(); ++index) {
            EXPECT_EQ(list.PortOfListIndex(index), list.EntryData(index));
            EXPECT_EQ(list.ListIndexOfPort(list.EntryData(index)), index);
            EXPECT_EQ(list.texts[static_cast<size_t>(index)], platform::ComName(list.EntryData(index)));
        }
        // What went, unless selected, is absent from them.
        for (const std::string& gone : c.fill != 0 ? Coms(c.start) : std::vector<std::string>{}) {
            if (std::find(list.texts.begin(), list.texts.end(), gone) == list.texts.end()) {
                EXPECT_EQ(list.ListIndexOfPort(platform::PortOfListedName(gone)), -1) << gone;
            }
        }
    }

    // What a port stands for changing is news too, the items staying as they are.
    ChangingComList list({"COM3"});
    list.FillAndSelect(3);
    EXPECT_EQ(list.DeviceText(3), "/dev/ttyS3");
    list.NoteDevice(3, "/dev/ttyUSB0");
    EXPECT_TRUE(list.Refresh());
    EXPECT_EQ(list.DeviceText(3), "/dev/ttyS3");
    EXPECT_FALSE(list.Refresh());

    // Adapters looked up as their ports' texts are wanted: none while the list starts; once a
    // port's text was wanted it is kept up to date at each refresh, and news when it changes.
    std::map<std::string, platform::SerialAdapter> adapters = {
        {"/dev/ttyS1", {"0403", "6001", "FTDI", "FT232R USB UART", "A1", "", ""}},
        {"/dev/ttyS3", {"067b", "2303", "Prolific", "USB-Serial", "", "", ""}}};
    std::vector<std::string> looked;
    ChangingComList lazy({"COM1", "COM3"}, [&](const std::string& device) {
        looked.push_back(device);
        return adapters[device];
    });
    lazy.FillAndSelect(3);
    EXPECT_FALSE(lazy.Refresh());
    EXPECT_TRUE(looked.empty());
    EXPECT_EQ(lazy.SelectedDeviceText(), "/dev/ttyS3\nProlific USB-Serial (067b:2303)");
    EXPECT_EQ(lazy.SelectedDeviceText(), "/dev/ttyS3\nProlific USB-Serial (067b:2303)");
    EXPECT_EQ(looked, std::vector<std::string>{"/dev/ttyS3"}) << "looked up once";
    adapters["/dev/ttyS1"].serial = "B2";
    EXPECT_FALSE(lazy.Refresh()) << "COM1's text was never wanted";
    adapters["/dev/ttyS3"].serial = "C3";
    EXPECT_TRUE(lazy.Refresh());
    EXPECT_EQ(looked, (std::vector<std::string>{"/dev/ttyS3", "/dev/ttyS3", "/dev/ttyS3"}));
    EXPECT_EQ(lazy.SelectedDeviceText(), "/dev/ttyS3\nProlific USB-Serial C3 (067b:2303)");
    EXPECT_EQ(lazy.DeviceText(1), "/dev/ttyS1\nFTDI FT232R USB UART B2 (0403:6001)");
    EXPECT_EQ(lazy.DeviceText(2), "") << "no port, nothing looked up";
    EXPECT_EQ(looked.size(), 4u);

    // Never filled, or filled with every port: nothing to follow.
    ChangingComList unfilled(Coms("10 3 1"));
    EXPECT_FALSE(unfilled.Refresh());
    EXPECT_TRUE(unfilled.texts.empty());
    FakeComList all;
    all.Detect(0);
    all.FillAndSelect(1);
    EXPECT_FALSE(all.Refresh());
    EXPECT_EQ(all.EntryCount(), 255);
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
