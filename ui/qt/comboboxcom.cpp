// SPDX-License-Identifier: MIT
#include "ui/qt/comboboxcom.h"

#include "ports/comportmap.h"
#include "ports/portlist.h"

CComboBoxCom::CComboBoxCom(int bDetect) {
    FollowSelection();
    Detect(bDetect);
}

// The map is copied: the list reads it again at each refresh. Its entries carry no adapter; a
// port's is looked up when its text is first wanted.
CComboBoxCom::CComboBoxCom(const platform::ComPortMap& map) {
    FollowSelection();
    Detect(
        1,
        [map = platform::ComPortMap(map)]() mutable {
            std::vector<platform::SerialPortEntry> entries;
            for (const std::string& name : map.Enumerate())
                entries.push_back({name, map.DevicePath(platform::PortOfListedName(name))});
            return entries;
        },
        platform::SerialAdapterOf);
}

CComboBoxCom::CComboBoxCom(const std::vector<std::string>& comTexts, DevicePathOf devicePathOf)
    : m_devicePathOf(std::move(devicePathOf)) {
    FollowSelection();
    MarkPresent(comTexts);
}

void CComboBoxCom::AddEntry(const std::string& text, int port) {
    InsertEntry(count(), text, port);
}

void CComboBoxCom::InsertEntry(int index, const std::string& text, int port) {
    CDropDownList::InsertEntry(index, text, port);
    if (DeviceText(port).empty() && m_devicePathOf) {
        const std::string device = m_devicePathOf(port);
        NoteDevice(port, PortDeviceText(device, platform::SerialAdapterOf(device)));
    }
    ShowDevice(index);
}

// By the port each item carries: while the list is being edited, the tables lag behind.
void CComboBoxCom::ShowDevice(int index) {
    const std::string device = DeviceText(EntryData(index));
    setItemData(index, device.empty() ? QVariant() : QVariant(QString::fromStdString(device)),
                Qt::ToolTipRole);
}

void CComboBoxCom::ShowDevices() {
    for (int index = 0; index < count(); ++index) ShowDevice(index);
    ShowSelectedDevice();
}

void CComboBoxCom::showPopup() {
    if (m_opening) m_opening();
    QComboBox::showPopup();
}

void CComboBoxCom::FollowSelection() {
    connect(this, &QComboBox::currentIndexChanged, this, [this] { ShowSelectedDevice(); });
}

void CComboBoxCom::ShowSelectedDevice() {
    const QString device = QString::fromStdString(SelectedDeviceText());
    setToolTip(device);
    // Qt reads a list's value as its name, so the window keeps the name in the description
    // (dialogkn.cpp): the device follows it there.
    const QString name = accessibleName();
    setAccessibleDescription(name.isEmpty() || device.isEmpty() ? name + device : name + "\n" + device);
}
