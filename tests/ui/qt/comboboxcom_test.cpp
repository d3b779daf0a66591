// SPDX-License-Identifier: MIT
// The COM port list on Qt Widgets: ports taken from "COM" texts and from a real port map in a
// temporary folder, shown as its items with their devices, and its selection read back.
#include <gtest/gtest.h>

#include "ports/comportmap.h"
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

// The tables, the fill and the remembered port are CComPortList's (tested in the core); here the Qt
// list they run on: its items in port order with their devices as tooltips, its selection read back.
// The closed list tells of the port selected too, in its tooltip and its accessible description; a
// port whose adapter is known shows it on a line of its own.
TEST_F(ComboBoxComTest, ItemsShowThePortsAndTheSelectionIsTheLists) {
    testenv::WriteFile(SettingsPath(), "[com]\r\ncom=3\r\n");
    CComboBoxCom list(kTexts, DevicePathFake);
    platform::SerialAdapter adapter;
    adapter.vendorId = "0403";
    adapter.productId = "6001";
    adapter.manufacturer = "FTDI";
    adapter.serial = "A1B2C3";
    adapter.stableName = "/dev/serial/by-id/usb-FTDI_A1B2C3-if00-port0";
    list.NoteDevice(10, PortDeviceText(DevicePathFake(10), adapter));
    const std::string adapterText = DevicePathFake(10) + "\nFTDI A1B2C3 (0403:6001)\n" + adapter.stableName;
    LoadComPortInto(list, SettingsPath());
    EXPECT_EQ(Items(list), QStringList({"COM1", "COM3", "COM10"}));
    for (int index = 0; index < list.count(); ++index) {
        const int port = list.PortOfListIndex(index);
        EXPECT_EQ(list.itemData(index, Qt::ToolTipRole).toString().toStdString(),
                  port == 10 ? adapterText : DevicePathFake(port));
    }
    EXPECT_EQ(list.currentText(), "COM3");
    EXPECT_EQ(list.GetSelectedPort(), 3);
    EXPECT_EQ(list.toolTip().toStdString(), DevicePathFake(3));
    EXPECT_EQ(list.accessibleDescription().toStdString(), DevicePathFake(3));
    list.setCurrentIndex(2);  // the user's choice
    EXPECT_EQ(list.GetSelectedPort(), 10);
    EXPECT_EQ(list.toolTip().toStdString(), adapterText);
    EXPECT_EQ(list.accessibleDescription().toStdString(), adapterText);
    SaveComPortFrom(list, SettingsPath());
    EXPECT_EQ(testenv::ReadFile(SettingsPath()), "[com]\r\ncom=10\r\n");
    list.setCurrentIndex(-1);
    EXPECT_EQ(list.GetSelectedPort(), -1);
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
