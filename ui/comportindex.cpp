// SPDX-License-Identifier: MIT
#include "ui/comportindex.h"

#include <set>

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

void CComPortIndex::NumberListedPorts(const std::vector<int>& ports) {
    m_numbered = true;
    m_listIndexOfPort.fill(kAbsent);
    m_portCount = 0;
    for (int port : ports) {
        m_portOfListIndex[m_portCount] = port;
        m_listIndexOfPort[port - 1] = m_portCount++;
    }
}

std::vector<int> CComPortIndex::ListedPorts() const {
    return std::vector<int>(m_portOfListIndex.begin(), m_portOfListIndex.begin() + m_portCount);
}

int CComPortIndex::ListIndexOfPort(int port) const {
    return platform::IsComPortNumber(port) ? m_listIndexOfPort[port - 1] : kAbsent;
}

int CComPortIndex::PortOfListIndex(int index) const {
    return index >= 0 && index < m_portCount ? m_portOfListIndex[index] : -1;
}

void CComPortList::Detect(int bDetect, PortLister lister, AdapterLookup lookup) {
    if (bDetect == 0) {
        MarkAllPresent();
        return;
    }
    m_lister = lister ? std::move(lister) : [] { return platform::EnumerateSerialPorts(); };
    m_lookup = std::move(lookup);
    const std::vector<platform::SerialPortEntry> entries = m_lister();
    std::vector<std::string> names;
    for (const platform::SerialPortEntry& entry : entries) names.push_back(entry.name);
    MarkPresent(names);
    NoteDevices(entries);
}

int CComPortList::FillAndSelect(int port) {
    if (!platform::IsComPortNumber(port)) return 0;
    for (int present : NumberPresentPorts()) AddEntry(platform::ComName(present), present);
    SelectPortOrFirst(port);
    m_fillPort = port;
    return 1;
}

void CComPortList::SelectPortOrFirst(int port) {
    const int index = ListIndexOfPort(port);
    SelectIndex(PortCount() == 0 ? -1 : (index == -1 ? 0 : index));
}

int CComPortList::GetSelectedPort() const {
    return PortOfListIndex(SelectedIndex());
}

bool CComPortList::Refresh() {
    if (m_fillPort == -1 || !m_lister) return false;
    const std::vector<platform::SerialPortEntry> entries = m_lister();
    const bool devicesChanged = NoteDevices(entries);
    const int selected = GetSelectedPort();
    std::set<int> wanted;
    for (const platform::SerialPortEntry& entry : entries) {
        const int port = platform::PortOfListedName(entry.name);
        if (port != 0) wanted.insert(port);
    }
    if (selected != -1) wanted.insert(selected);
    const std::vector<int> ports(wanted.begin(), wanted.end());
    if (ports == ListedPorts()) return devicesChanged;
    EditInto(ports);
    NumberListedPorts(ports);
    SelectPortOrFirst(selected != -1 ? selected : m_fillPort);
    return true;
}

void CComPortList::EditInto(const std::vector<int>& wanted) {
    const std::vector<int> listed = ListedPorts();
    int index = 0;
    auto was = listed.begin();
    auto will = wanted.begin();
    while (was != listed.end() || will != wanted.end()) {
        if (will == wanted.end() || (was != listed.end() && *was < *will)) {
            RemoveEntry(index);
            ++was;
        } else if (was == listed.end() || *will < *was) {
            InsertEntry(index++, platform::ComName(*will), *will);
            ++will;
        } else {
            ++index;
            ++was;
            ++will;
        }
    }
}

bool CComPortList::NoteDevices(const std::vector<platform::SerialPortEntry>& entries) {
    bool changed = false;
    for (const platform::SerialPortEntry& entry : entries) {
        const int port = platform::PortOfListedName(entry.name);
        if (port == 0) continue;
        m_devices[port] = entry.device;
        const auto noted = m_deviceTexts.find(port);
        // Looked up, a text is made once it is wanted, and only then kept up to date.
        if (m_lookup && noted == m_deviceTexts.end()) continue;
        const std::string text =
            PortDeviceText(entry.device, m_lookup ? m_lookup(entry.device) : entry.adapter);
        if (text == (noted != m_deviceTexts.end() ? noted->second : std::string())) continue;
        changed = true;
        NoteDevice(port, text);
    }
    return changed;
}

std::string CComPortList::DeviceText(int port) const {
    if (const auto found = m_deviceTexts.find(port); found != m_deviceTexts.end()) return found->second;
    const auto device = m_devices.find(port);
    if (!m_lookup || device == m_devices.end()) return {};
    return m_deviceTexts[port] = PortDeviceText(device->second, m_lookup(device->second));
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
