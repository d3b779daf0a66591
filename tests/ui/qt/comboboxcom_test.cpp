// SPDX-License-Identifier: MIT
// The COM port list: ports taken from "COM" texts and from a real port map in a temporary folder,
// the remembered port read from and stored in a real settings file.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "platform/comportmap.h"
#include "testenv.h"
#include "ui/qt/comboboxcom.h"
#include "uitestapp.h"

namespace {

// What a port map might enumerate, in no particular order, with a duplicate and texts that name no
// port.
const std::vector<std::string> kTexts = {"COM10",  "COM3", "COM1", "COM3", "COM0", "COM256",
                                         "COM300", "COMX", "CO",   "COM",  "COM-2"};

QStringList Items(const QComboBox& list) {
    QStringList items;
    for (int i = 0; i < list.count(); ++i) items << list.itemText(i);
    return items;
}

std::string DevicePathFake(int port) {
    return "/dev/fake" + std::to_string(port);
}

class ComboBoxComTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { uitest::EnsureApp(); }
    testenv::TempDir m_dir;
    std::string SettingsPath() const { return m_dir.File("qlxduo.ini"); }
};

TEST_F(ComboBoxComTest, RememberedPortPicksTheSelection) {
    struct Case {
        std::optional<int> stored;  // nothing stored when empty
        int selected;
    };
    const Case cases[] = {
        {3, 3}, {2, 1}, {255, 1}, {256, 1}, {0, 1}, {-5, 1}, {-1, 1}, {std::nullopt, 1}, {10, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored.value_or(-999));
        testenv::TempDir dir;
        const std::string path = dir.File("qlxduo.ini");
        if (c.stored) testenv::WriteFile(path, "[com]\r\ncom=" + std::to_string(*c.stored) + "\r\n");
        CComboBoxCom list(kTexts, DevicePathFake);
        LoadComPortInto(list, path);
        EXPECT_EQ(Items(list), QStringList({"COM1", "COM3", "COM10"}));
        EXPECT_EQ(list.GetSelectedPort(), c.selected);
        EXPECT_EQ(list.PortCount(), 3);
        for (int index = 0; index < list.PortCount(); ++index) {
            EXPECT_EQ(list.ListIndexOfPort(list.PortOfListIndex(index)), index);
            EXPECT_EQ(list.itemData(index, Qt::ToolTipRole).toString().toStdString(),
                      DevicePathFake(list.PortOfListIndex(index)));
        }
        EXPECT_EQ(list.ListIndexOfPort(2), -1);

        // What is stored on close is what the next start selects.
        SaveComPortFrom(list, path);
        EXPECT_EQ(ReadRememberedPort(path), c.selected);
        CComboBoxCom next(kTexts, DevicePathFake);
        LoadComPortInto(next, path);
        EXPECT_EQ(next.GetSelectedPort(), c.selected);
    }
}

TEST_F(ComboBoxComTest, FillAndSelectRefusesPortsOutsideTheRange) {
    for (int port : {0, -1, 256}) {
        CComboBoxCom list(kTexts, DevicePathFake);
        EXPECT_EQ(list.FillAndSelect(port), 0);
        EXPECT_EQ(list.count(), 0);
        EXPECT_EQ(list.GetSelectedPort(), -1);
    }
    CComboBoxCom list(kTexts, DevicePathFake);
    EXPECT_EQ(list.FillAndSelect(10), 1);
    EXPECT_EQ(list.FillAndSelect(3), 1);  // the fill happens once
    EXPECT_EQ(list.count(), 3);
    EXPECT_EQ(list.GetSelectedPort(), 3);
}

TEST_F(ComboBoxComTest, NoPortsLeavesNothingSelectedAndStoresMinusOne) {
    CComboBoxCom list(std::vector<std::string>{}, {});
    LoadComPortInto(list, SettingsPath());
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.GetSelectedPort(), -1);
    SaveComPortFrom(list, SettingsPath());
    EXPECT_EQ(ReadRememberedPort(SettingsPath()), -1);
    EXPECT_EQ(CorrectRememberedPort(ReadRememberedPort(SettingsPath())), 1);
}

TEST_F(ComboBoxComTest, WithoutDetectionAllPortsArePresent) {
    CComboBoxCom list(0);
    list.FillAndSelect(200);
    ASSERT_EQ(list.count(), 255);
    EXPECT_EQ(list.itemText(0), "COM1");
    EXPECT_EQ(list.itemText(254), "COM255");
    EXPECT_EQ(list.GetSelectedPort(), 200);
    EXPECT_EQ(list.ListIndexOfPort(255), 254);
}

TEST_F(ComboBoxComTest, EmptySettingsPathReadsNothingAndWritesNothing) {
    CComboBoxCom list(kTexts, DevicePathFake);
    LoadComPortInto(list, "");
    EXPECT_EQ(list.GetSelectedPort(), 1);
    list.setCurrentIndex(2);
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(m_dir.Path());
    SaveComPortFrom(list, "");
    std::filesystem::current_path(previous);
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path()));
    EXPECT_EQ(ReadRememberedPort(""), -1);
}

TEST_F(ComboBoxComTest, PortsComeFromThePortMapWithDevicePathsAsTooltips) {
    const std::string sys = m_dir.File("sys");
    const std::string dev = m_dir.File("dev");
    testenv::WriteFile(m_dir.File("serialA"), "");
    testenv::WriteFile(m_dir.File("serialB"), "");
    testenv::WriteFile(m_dir.File("serialC"), "");
    platform::ComPortMap map(platform::ComPortMapRoots{m_dir.File("ports"), sys, dev});
    ASSERT_TRUE(map.Register(10, m_dir.File("serialA")));
    ASSERT_TRUE(map.Register(3, m_dir.File("serialB")));
    ASSERT_TRUE(map.Register(1, m_dir.File("serialC")));
    ASSERT_TRUE(map.Register(7, m_dir.File("gone")));  // its device is not there now

    CComboBoxCom list(map);
    list.FillAndSelect(3);
    EXPECT_EQ(Items(list), QStringList({"COM1", "COM3", "COM10"}));
    EXPECT_EQ(list.GetSelectedPort(), 3);
    EXPECT_EQ(list.itemData(2, Qt::ToolTipRole).toString().toStdString(), map.DevicePath(10));
    EXPECT_FALSE(map.DevicePath(10).empty());
}

}  // namespace
