// SPDX-License-Identifier: MIT
#include "ui/comportindex.h"

#include "settings/iniacs.h"

namespace {

constexpr const char* kSection = "com";
constexpr const char* kKey = "com";
constexpr int kPresent = 0;
constexpr int kAbsent = -1;

}  // namespace

CComPortIndex::CComPortIndex() : m_portOfListIndex{}, m_portCount(0), m_numbered(false) {
    m_listIndexOfPort.fill(kAbsent);
}

void CComPortIndex::MarkAllPresent() {
    m_listIndexOfPort.fill(kPresent);
}

void CComPortIndex::MarkPresent(const std::vector<std::string>& comTexts) {
    for (const std::string& text : comTexts) {
        const int port = platform::PortOfListedName(text);
        if (port != 0) m_listIndexOfPort[port - 1] = kPresent;
    }
}

std::vector<int> CComPortIndex::NumberPresentPorts() {
    std::vector<int> ports;
    if (m_numbered) return ports;
    m_numbered = true;
    for (int port = 1; port <= kPortMax; ++port) {
        if (m_listIndexOfPort[port - 1] != kPresent) continue;
        m_portOfListIndex[m_portCount] = port;
        m_listIndexOfPort[port - 1] = m_portCount;
        ++m_portCount;
        ports.push_back(port);
    }
    return ports;
}

int CComPortIndex::ListIndexOfPort(int port) const {
    return platform::IsComPortNumber(port) ? m_listIndexOfPort[port - 1] : kAbsent;
}

int CComPortIndex::PortOfListIndex(int index) const {
    return index >= 0 && index < m_portCount ? m_portOfListIndex[index] : -1;
}

int CComPortList::FillAndSelect(int port) {
    if (!platform::IsComPortNumber(port)) return 0;
    for (int present : NumberPresentPorts()) AddEntry(platform::ComName(present), present);
    const int index = ListIndexOfPort(port);
    SelectIndex(PortCount() == 0 ? -1 : (index == -1 ? 0 : index));
    return 1;
}

int CComPortList::GetSelectedPort() const {
    return PortOfListIndex(SelectedIndex());
}

void CComPortList::NoteDevices(const std::vector<platform::SerialPortEntry>& entries) {
    for (const platform::SerialPortEntry& entry : entries)
        NoteDevice(platform::PortOfListedName(entry.name), PortDeviceText(entry.device, entry.adapter));
}

std::string CComPortList::DeviceText(int port) const {
    const auto found = m_deviceTexts.find(port);
    return found == m_deviceTexts.end() ? std::string() : found->second;
}

std::string PortDeviceText(const std::string& device, const platform::SerialAdapter& adapter) {
    std::string text = device;
    for (const std::string& line : {platform::DescribeAdapter(adapter), adapter.stableName}) {
        if (!line.empty() && line != device) text += (text.empty() ? "" : "\n") + line;
    }
    return text;
}

int CorrectRememberedPort(int stored) {
    return platform::IsComPortNumber(stored) ? stored : 1;
}

int ReadRememberedPort(const std::string& settingsPath) {
    if (settingsPath.empty()) return -1;
    iniacs settings;
    settings.SetFile(settingsPath, 0);
    return settings.ReadInt(kSection, kKey);
}

void WriteRememberedPort(const std::string& settingsPath, int port) {
    if (settingsPath.empty()) return;
    iniacs settings;
    settings.SetFile(settingsPath, 0);
    settings.WriteInt(kSection, kKey, port);
}

void LoadComPortInto(CComPortList& list, const std::string& settingsPath) {
    list.FillAndSelect(CorrectRememberedPort(ReadRememberedPort(settingsPath)));
}

void SaveComPortFrom(const CComPortList& list, const std::string& settingsPath) {
    WriteRememberedPort(settingsPath, list.GetSelectedPort());
}
