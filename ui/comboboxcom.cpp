#include "ui/comboboxcom.h"

#include <cstdlib>
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
        if (entry.name.size() > 3) devices[std::atoi(entry.name.c_str() + 3)] = entry.device;
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

int CComboBoxCom::FillAndSelect(int port) {
    if (!platform::IsComPortNumber(port)) return 0;
    for (int present : NumberPresentPorts()) {
        addItem(QStringLiteral("COM%1").arg(present));
        if (m_devicePathOf)
            setItemData(count() - 1, QString::fromStdString(m_devicePathOf(present)), Qt::ToolTipRole);
    }
    const int index = ListIndexOfPort(port);
    setCurrentIndex(count() == 0 ? -1 : (index == -1 ? 0 : index));
    return 1;
}

int CComboBoxCom::GetSelectedPort() const {
    return PortOfListIndex(currentIndex());
}

void LoadComPortInto(CComboBoxCom& list, const std::string& settingsPath) {
    list.FillAndSelect(CorrectRememberedPort(ReadRememberedPort(settingsPath)));
}

void SaveComPortFrom(const CComboBoxCom& list, const std::string& settingsPath) {
    WriteRememberedPort(settingsPath, list.GetSelectedPort());
}
