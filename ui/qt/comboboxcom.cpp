// SPDX-License-Identifier: MIT
#include "ui/qt/comboboxcom.h"

#include <map>

#include "platform/comportmap.h"
#include "platform/portlist.h"

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
    std::vector<std::string> names;
    std::map<int, std::string> devices;
    for (const platform::SerialPortEntry& entry : platform::EnumerateSerialPorts()) {
        names.push_back(entry.name);
        devices[platform::PortOfListedName(entry.name)] = entry.device;
    }
    MarkPresent(names);
    m_devicePathOf = [devices](int port) {
        const auto found = devices.find(port);
        return found == devices.end() ? std::string() : found->second;
    };
}

CComboBoxCom::CComboBoxCom(const platform::ComPortMap& map)
    : CComboBoxCom(platform::ComPortMap(map).Enumerate(), LookupIn(map)) {}

CComboBoxCom::CComboBoxCom(const std::vector<std::string>& comTexts, DevicePathOf devicePathOf)
    : m_devicePathOf(std::move(devicePathOf)) {
    MarkPresent(comTexts);
}

void CComboBoxCom::AddEntry(const std::string& text, int port) {
    CDropDownList::AddEntry(text, port);
    if (m_devicePathOf)
        setItemData(count() - 1, QString::fromStdString(m_devicePathOf(port)), Qt::ToolTipRole);
}
