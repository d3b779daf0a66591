// SPDX-License-Identifier: MIT
// The adapters come from sysfs through libudev: the USB device above the tty in the device tree
// holds the descriptor's ids and strings. The kernel keeps them, so this reads no device and works
// without the udev daemon; /dev/serial/by-id, which the daemon makes, gives the stable name.
#include <dirent.h>
#include <libudev.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "ports/comportmap.h"
#include "ports/portlist.h"

namespace platform {
namespace {

constexpr const char* kByIdFolder = "/dev/serial/by-id";

struct UdevRelease {
    void operator()(udev* context) const { udev_unref(context); }
    void operator()(udev_device* device) const { udev_device_unref(device); }
};

// A descriptor's string on one line: control characters become spaces, ends trimmed.
std::string OneLine(const char* value) {
    std::string text = value != nullptr ? value : "";
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    const size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

// The /dev/serial/by-id link that leads to the character device number, the first by name.
std::string ByIdName(dev_t number) {
    std::unique_ptr<DIR, int (*)(DIR*)> folder(opendir(kByIdFolder), closedir);
    if (!folder) return {};
    std::string found;
    while (const dirent* entry = readdir(folder.get())) {
        const std::string name = entry->d_name;
        if (name.starts_with(".")) continue;
        const std::string path = std::string(kByIdFolder) + "/" + name;
        struct stat target;
        // stat looks at the node the link leads to; it opens nothing.
        if (stat(path.c_str(), &target) != 0 || !S_ISCHR(target.st_mode) || target.st_rdev != number)
            continue;
        if (found.empty() || path < found) found = path;
    }
    return found;
}

std::vector<SerialPortEntry> PresentPorts(ComPortMap& map, PortListing listing,
                                          PortAdapters adapters = PortAdapters::Read) {
    std::vector<SerialPortEntry> entries;
    for (const std::string& name : listing == PortListing::ReadOnly ? map.Listed() : map.Enumerate()) {
        const std::string device = map.DevicePath(PortOfListedName(name));
        entries.push_back(
            {name, device, true, adapters == PortAdapters::Read ? SerialAdapterOf(device) : SerialAdapter{}});
    }
    return entries;
}

}  // namespace

SerialAdapter SerialAdapterOf(const std::string& device) {
    SerialAdapter adapter;
    struct stat node;
    if (device.empty() || stat(device.c_str(), &node) != 0 || !S_ISCHR(node.st_mode)) return adapter;
    adapter.stableName = ByIdName(node.st_rdev);
    const std::unique_ptr<udev, UdevRelease> context(udev_new());
    if (!context) return adapter;
    // A pseudo-terminal has no place in the device tree: nothing is found for it.
    const std::unique_ptr<udev_device, UdevRelease> tty(
        udev_device_new_from_devnum(context.get(), 'c', node.st_rdev));
    if (!tty) return adapter;
    // Owned by tty, which holds it.
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty.get(), "usb", "usb_device");
    if (usb == nullptr) return adapter;
    adapter.vendorId = OneLine(udev_device_get_sysattr_value(usb, "idVendor"));
    adapter.productId = OneLine(udev_device_get_sysattr_value(usb, "idProduct"));
    adapter.manufacturer = OneLine(udev_device_get_sysattr_value(usb, "manufacturer"));
    adapter.product = OneLine(udev_device_get_sysattr_value(usb, "product"));
    adapter.serial = OneLine(udev_device_get_sysattr_value(usb, "serial"));
    return adapter;
}

std::vector<SerialPortEntry> EnumerateSerialPorts(PortListing listing, PortAdapters adapters) {
    ComPortMap map = ComPortMap::ForCurrentUser();
    return PresentPorts(map, listing, adapters);
}

std::string WhyNoSerialPorts() {
    const std::string folder = ComPortMap::DefaultFolder();
    if (folder.empty()) return "the port map has no folder: neither XDG_CONFIG_HOME nor HOME is set";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return "the port map folder " + folder + " cannot be made: " + ec.message();
    const std::unique_ptr<DIR, int (*)(DIR*)> opened(opendir(folder.c_str()), closedir);
    if (!opened) return "the port map folder " + folder + " cannot be read: " + std::strerror(errno);
    // Without a new link no device gets a number.
    if (access(folder.c_str(), W_OK) != 0)
        return "the port map folder " + folder + " cannot be written: " + std::strerror(errno);
    const std::vector<std::string> consoles = ComPortMap::ForCurrentUser().UnnumberedConsoles();
    if (consoles.size() == 1)
        return "the only serial device, " + consoles.front() +
               ", carries the system console and gets no number";
    if (consoles.empty()) return "no serial device is present";
    std::string list;
    for (const std::string& console : consoles) list += (list.empty() ? "" : ", ") + console;
    return "the only serial devices, " + list + ", carry the system console and get no number";
}

std::vector<SerialPortEntry> EnumerateSerialPortsWithAbsent(PortListing listing) {
    ComPortMap map = ComPortMap::ForCurrentUser();
    std::vector<SerialPortEntry> entries = PresentPorts(map, listing);
    for (const std::string& name : map.Absent())
        entries.push_back({name, map.LinkTarget(PortOfListedName(name)), false});
    return entries;
}

int ComNumberOfDevicePath(const std::string&) {
    return 0;
}

}  // namespace platform
