// SPDX-License-Identifier: MIT
#include "ui/qt/comboboxcom.h"

#include "ports/comportmap.h"
#include "ports/portlist.h"

namespace {

CComboBoxCom::DevicePathOf LookupIn(const platform::ComPortMap& map) {
    return [map](int port) { return map.DevicePath(port); };
}

}  // namespace

CComboBoxCom::CComboBoxCom(int bDetect) {
    if (bDetect == 0) {
        MarkAllPresent();
        return;
    }
    FollowSelection();
    std::vector<std::string> names;
    const std::vector<platform::SerialPortEntry> entries = platform::EnumerateSerialPorts();
    for (const platform::SerialPortEntry& entry : entries) names.push_back(entry.name);
    MarkPresent(names);
    NoteDevices(entries);
}

CComboBoxCom::CComboBoxCom(const platform::ComPortMap& map)
    : CComboBoxCom(platform::ComPortMap(map).Enumerate(), LookupIn(map)) {}

CComboBoxCom::CComboBoxCom(const std::vector<std::string>& comTexts, DevicePathOf devicePathOf)
    : m_devicePathOf(std::move(devicePathOf)) {
    FollowSelection();
    MarkPresent(comTexts);
}

void CComboBoxCom::AddEntry(const std::string& text, int port) {
    CDropDownList::AddEntry(text, port);
    if (DeviceText(port).empty() && m_devicePathOf) {
        const std::string device = m_devicePathOf(port);
        NoteDevice(port, PortDeviceText(device, platform::SerialAdapterOf(device)));
    }
    if (!DeviceText(port).empty())
        setItemData(count() - 1, QString::fromStdString(DeviceText(port)), Qt::ToolTipRole);
}

void CComboBoxCom::FollowSelection() {
    connect(this, &QComboBox::currentIndexChanged, this, [this] {
        const QString device = QString::fromStdString(SelectedDeviceText());
        setToolTip(device);
        // Qt reads a list's value as its name, so the window keeps the name in the description
        // (dialogkn.cpp): the device follows it there.
        const QString name = accessibleName();
        setAccessibleDescription(name.isEmpty() || device.isEmpty() ? name + device : name + "\n" + device);
    });
}
