// SPDX-License-Identifier: MIT
#include <cctype>
#include <string_view>

#include "ports/portlist.h"

namespace platform {
namespace {

char Upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

// The four hex digits after key ("VID_") in part, in lower case; empty when part has none there.
std::string HexAfter(std::string_view part, std::string_view key) {
    for (size_t at = 0; at + key.size() + 4 <= part.size(); ++at) {
        bool matches = true;
        for (size_t i = 0; i < key.size() && matches; ++i) matches = Upper(part[at + i]) == key[i];
        if (!matches) continue;
        std::string digits;
        for (size_t i = 0; i < 4; ++i) {
            const char c = part[at + key.size() + i];
            if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
            digits += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return digits;
    }
    return {};
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (Upper(text[i]) != prefix[i]) return false;
    }
    return true;
}

}  // namespace

bool ReadUsbDeviceId(const std::string& id, SerialAdapter& adapter) {
    // ENUMERATOR\DEVICE-IDS[\INSTANCE]
    const size_t first = id.find('\\');
    if (first == std::string::npos) return false;
    const size_t second = id.find('\\', first + 1);
    const std::string_view ids = std::string_view(id).substr(first + 1, second - first - 1);
    const std::string vendor = HexAfter(ids, "VID_");
    const std::string product = HexAfter(ids, "PID_");
    if (vendor.empty() || product.empty()) return false;
    adapter.vendorId = vendor;
    adapter.productId = product;
    // Only a USB device's own instance carries its serial number; where the device has none, or
    // for one interface of a composite device, the system makes the part up, with '&' in it.
    if (second == std::string::npos || !StartsWithNoCase(id, "USB\\") || !HexAfter(ids, "MI_").empty())
        return true;
    const std::string instance = id.substr(second + 1);
    if (!instance.empty() && instance.find_first_of("&\\") == std::string::npos) adapter.serial = instance;
    return true;
}

std::string DescribeDevice(const std::string& device, const SerialAdapter& adapter) {
    std::string known = DescribeAdapter(adapter);
    // The port map may name the device by that path already.
    if (!adapter.stableName.empty() && adapter.stableName != device)
        known += (known.empty() ? "" : ", ") + adapter.stableName;
    return known.empty() ? device : device + " [" + known + "]";
}

std::string DescribePresentPorts() {
    // A tooltip or a terminal line stays readable with a computer full of ports.
    constexpr size_t kMostShown = 8;
    const std::vector<SerialPortEntry> ports = EnumerateSerialPorts(PortListing::ReadOnly);
    if (ports.empty()) return "no serial port is present";
    std::string text = "the ports present are ";
    for (size_t i = 0; i < ports.size() && i < kMostShown; ++i) {
        text +=
            (i == 0 ? "" : ", ") + ports[i].name + " " + DescribeDevice(ports[i].device, ports[i].adapter);
    }
    if (ports.size() > kMostShown) text += " and " + std::to_string(ports.size() - kMostShown) + " more";
    return text;
}

std::string DescribeAdapter(const SerialAdapter& adapter) {
    std::string text;
    for (const std::string* word : {&adapter.manufacturer, &adapter.product, &adapter.serial}) {
        if (!word->empty()) text += (text.empty() ? "" : " ") + *word;
    }
    if (adapter.manufacturer.empty() && adapter.product.empty() && !adapter.description.empty())
        text = adapter.description + (adapter.serial.empty() ? "" : " " + adapter.serial);
    if (!adapter.vendorId.empty())
        text += (text.empty() ? "(" : " (") + adapter.vendorId + ":" + adapter.productId + ")";
    return text;
}

}  // namespace platform
