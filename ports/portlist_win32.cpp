// SPDX-License-Identifier: MIT
// The serial ports are the system's own list: the values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM,
// each a device name (the value's name) and its COM text (the value's data). Their adapters come
// from the system's device information (SetupAPI): the devices of the Ports class, each with the
// COM text it took ("PortName"), its friendly name, the product name its bus reported, and the USB
// ids and serial number in its own or its parents' instance ids.
#include <windows.h>
// After windows.h.
#include <cfgmgr32.h>
#include <devpropdef.h>
#include <setupapi.h>

#include <algorithm>
#include <map>
#include <string>

#include "platform/winutil_win32.h"
#include "ports/portlist.h"

namespace platform {
namespace {

constexpr DWORD kBufferCharacters = 256;
constexpr const wchar_t* kSerialComm = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// The COM text of a value's data: up to its terminator, which the system need not have stored.
std::wstring DataText(const wchar_t* data, DWORD bytes) {
    const size_t characters = bytes / sizeof(wchar_t);
    size_t length = 0;
    while (length < characters && data[length] != L'\0') ++length;
    return std::wstring(data, length);
}

// The product name that the device's bus reported (the USB descriptor's), Windows 7 and later.
const DEVPROPKEY kBusReportedDeviceDesc = {
    {0x540b947e, 0x8b40, 0x45bc, {0xa8, 0xa2, 0x6a, 0x0b, 0x89, 0x4c, 0xbd, 0xa2}}, 4};

// A device's text property; empty when it has none.
std::string RegistryProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t text[kBufferCharacters] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr, reinterpret_cast<BYTE*>(text),
                                           sizeof text - sizeof(wchar_t), nullptr))
        return {};
    return win32::Narrow(text);
}

std::string BusReportedName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    wchar_t text[kBufferCharacters] = {};
    DEVPROPTYPE type = 0;
    if (!SetupDiGetDevicePropertyW(set, &device, &kBusReportedDeviceDesc, &type,
                                   reinterpret_cast<BYTE*>(text), sizeof text - sizeof(wchar_t), nullptr,
                                   0) ||
        type != DEVPROP_TYPE_STRING)
        return {};
    return win32::Narrow(text);
}

// The COM text the device took; empty for a device of the class that is no COM port (a printer port).
std::string PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return {};
    wchar_t data[kBufferCharacters];
    DWORD bytes = sizeof data;
    DWORD type = 0;
    std::string name;
    if (RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes) ==
            ERROR_SUCCESS &&
        type == REG_SZ)
        name = win32::Narrow(DataText(data, bytes));
    RegCloseKey(key);
    return name;
}

// The USB ids and serial number: a USB port's own instance id holds them; a port that a vendor's
// bus driver makes (FTDIBUS\...), or one interface of a composite device, has the USB device
// above it, whose id holds the serial number.
void ReadUsbIds(DEVINST node, SerialAdapter& adapter) {
    constexpr int kLevels = 3;
    for (int level = 0; level < kLevels; ++level) {
        wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
        if (CM_Get_Device_IDW(node, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return;
        SerialAdapter found;
        if (ReadUsbDeviceId(win32::Narrow(id), found)) {
            if (adapter.vendorId.empty()) {
                adapter.vendorId = found.vendorId;
                adapter.productId = found.productId;
            }
            adapter.serial = found.serial;
            if (!found.serial.empty() || (_wcsnicmp(id, L"USB\\", 4) == 0 && !wcsstr(id, L"MI_"))) return;
        }
        DEVINST parent = 0;
        if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) return;
        node = parent;
    }
}

// The adapter of each COM text that a device of the Ports class took.
std::map<std::string, SerialAdapter> AdaptersByPortName() {
    std::map<std::string, SerialAdapter> adapters;
    const GUID ports = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    HDEVINFO set = SetupDiGetClassDevsW(&ports, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return adapters;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        const std::string name = PortNameOf(set, device);
        if (PortOfListedName(name) == 0) continue;
        SerialAdapter adapter;
        adapter.description = RegistryProperty(set, device, SPDRP_FRIENDLYNAME);
        if (adapter.description.empty())
            adapter.description = RegistryProperty(set, device, SPDRP_DEVICEDESC);
        adapter.product = BusReportedName(set, device);
        ReadUsbIds(device.DevInst, adapter);
        adapters[name] = adapter;
    }
    SetupDiDestroyDeviceInfoList(set);
    return adapters;
}

std::vector<SerialPortEntry> RegistryPorts() {
    std::vector<SerialPortEntry> entries;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialComm, 0, KEY_READ, &key) != ERROR_SUCCESS) return entries;
    // The scan ends at the first value that cannot be read, whatever the reason (the end of the
    // list, or a name or text longer than its buffer); the value's type is not looked at.
    for (DWORD index = 0;; ++index) {
        wchar_t name[kBufferCharacters];
        wchar_t data[kBufferCharacters];
        DWORD nameLength = kBufferCharacters;
        DWORD dataBytes = sizeof data;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                          &dataBytes) != ERROR_SUCCESS)
            break;
        const std::string text = win32::Narrow(DataText(data, dataBytes));
        if (PortOfListedName(text) == 0) continue;
        entries.push_back({text, win32::Narrow(name, nameLength)});
    }
    RegCloseKey(key);
    // The registry keeps the order in which the ports came (COM11 may come before COM2).
    std::stable_sort(entries.begin(), entries.end(), [](const SerialPortEntry& a, const SerialPortEntry& b) {
        return PortOfListedName(a.name) < PortOfListedName(b.name);
    });
    return entries;
}

}  // namespace

std::vector<SerialPortEntry> EnumerateSerialPorts(PortListing, PortAdapters reading) {
    std::vector<SerialPortEntry> entries = RegistryPorts();
    if (entries.empty() || reading == PortAdapters::Later) return entries;
    const std::map<std::string, SerialAdapter> adapters = AdaptersByPortName();
    for (SerialPortEntry& entry : entries) {
        const auto found = adapters.find(entry.name);
        if (found != adapters.end()) entry.adapter = found->second;
    }
    return entries;
}

int ComNumberOfDevicePath(const std::string& path) {
    return ComNumberOfWindowsPath(path);
}

std::string WhyNoSerialPorts() {
    HKEY key;
    const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialComm, 0, KEY_READ, &key);
    if (opened == ERROR_SUCCESS) RegCloseKey(key);
    // The system makes the key with its first serial port.
    if (opened == ERROR_SUCCESS || opened == ERROR_FILE_NOT_FOUND) return "the system lists no serial port";
    return "the system's list of serial ports (HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM) cannot be read: " +
           win32::SystemMessage(static_cast<DWORD>(opened));
}

// The device as the system lists it (\\Device\\VCP0), or as a COM port's path (\\.\\COM7).
SerialAdapter SerialAdapterOf(const std::string& device) {
    std::string name = ComNumberOfDevicePath(device) != 0 ? ComName(ComNumberOfDevicePath(device)) : "";
    for (const SerialPortEntry& entry : RegistryPorts()) {
        if (name.empty() && entry.device == device) name = entry.name;
    }
    if (name.empty()) return {};
    const std::map<std::string, SerialAdapter> adapters = AdaptersByPortName();
    const auto found = adapters.find(name);
    return found != adapters.end() ? found->second : SerialAdapter{};
}

// The registry lists only ports whose device is there.
std::vector<SerialPortEntry> EnumerateSerialPortsWithAbsent(PortListing listing) {
    return EnumerateSerialPorts(listing);
}

}  // namespace platform
