// SPDX-License-Identifier: MIT
// Port numbers as a person writes them, in every spelling the programs take. How a listed port's text is read
// is the COM list's test (comportindex_test). What the system's device ids say of a port's adapter,
// and the line that describes it. Device paths: a Windows COM spelling's number, a network URL's parts.
#include "ports/portname.h"

#include <gtest/gtest.h>

#include "ports/portlist.h"

namespace {

TEST(PortName, TextsReadAsPortNumbers) {
    using platform::PortText;
    struct Case {
        const char* text;
        PortText read;
        int port;  // on Port
    };
    const Case cases[] = {
        {"7", PortText::Port, 7},
        {"COM7", PortText::Port, 7},
        {"com7", PortText::Port, 7},
        {"cOm255", PortText::Port, 255},
        {"COM007", PortText::Port, 7},
        {"\\\\.\\COM7", PortText::Port, 7},
        {"\\\\.\\com12", PortText::Port, 12},
        {"0", PortText::OutOfRange, 0},
        {"COM256", PortText::OutOfRange, 0},
        {"-7", PortText::OutOfRange, 0},
        {"99999999999", PortText::OutOfRange, 0},
        {"\\\\.\\COM0", PortText::OutOfRange, 0},
        {"", PortText::NotANumber, 0},
        {"COM", PortText::NotANumber, 0},
        {"7x", PortText::NotANumber, 0},
        {" 7", PortText::NotANumber, 0},
        {"COM 7", PortText::NotANumber, 0},
        {"COM+7", PortText::NotANumber, 0},
        {"CON7", PortText::NotANumber, 0},
        {"\\\\.\\7", PortText::NotANumber, 0},
        {"\\\\.\\COM", PortText::NotANumber, 0},
        {"\\\\?\\COM7", PortText::NotANumber, 0},
    };
    for (const Case& c : cases) {
        int port = 0;
        EXPECT_EQ(platform::ReadPortNumber(c.text, port), c.read) << c.text;
        EXPECT_EQ(port, c.port) << c.text;
    }
}

// Device paths as the tool takes them: a Windows device path gives its COM number, a network URL
// its parts; anything else neither.
TEST(PortName, DevicePathsGiveComNumbersAndUrls) {
    struct Case {
        const char* path;
        int com;          // ComNumberOfWindowsPath
        bool network;     // IsNetworkPortPath
        const char* url;  // "telnet|host|port" as ReadNetworkPortUrl reads it; empty when it does not
    };
    const Case cases[] = {
        {"\\\\.\\COM7", 7, false, ""},
        {"//./com12", 12, false, ""},
        {"\\\\?\\Com255", 255, false, ""},
        {"\\/.\\COM3", 3, false, ""},
        {"\\\\.\\COM0", 0, false, ""},
        {"\\\\.\\COM256", 0, false, ""},
        {"\\\\.\\COM7x", 0, false, ""},
        {"\\\\x\\COM7", 0, false, ""},
        {"\\\\.\\", 0, false, ""},
        {"/dev/ttyUSB0", 0, false, ""},
        {"COM7", 0, false, ""},
        {"rfc2217://192.0.2.7:2001", 0, true, "1|192.0.2.7|2001"},
        {"RFC2217://unit.example:65535", 0, true, "1|unit.example|65535"},
        {"socket://[::1]:1", 0, true, "0|::1|1"},
        {"Socket://[fe80::1%eth0]:4001", 0, true, "0|fe80::1%eth0|4001"},
        {"rfc2217://host", 0, true, ""},
        {"rfc2217://host:", 0, true, ""},
        {"rfc2217://:2001", 0, true, ""},
        {"rfc2217://host:0", 0, true, ""},
        {"rfc2217://host:65536", 0, true, ""},
        {"rfc2217://host:-1", 0, true, ""},
        {"rfc2217://host:+1", 0, true, ""},
        {"rfc2217://host:20x1", 0, true, ""},
        {"rfc2217://host:000001", 0, true, ""},
        {"rfc2217://::1:2001", 0, true, ""},
        {"rfc2217://[]:2001", 0, true, ""},
        {"rfc2217://[::1:2001", 0, true, ""},
        {"rfc2217://a/b:2001", 0, true, ""},
        {"telnet://host:23", 0, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(platform::ComNumberOfWindowsPath(c.path), c.com);
        EXPECT_EQ(platform::IsNetworkPortPath(c.path), c.network);
        platform::NetworkPortUrl url;
        const bool read = platform::ReadNetworkPortUrl(c.path, url);
        EXPECT_EQ(read ? std::to_string(url.telnet) + "|" + url.host + "|" + url.port : "", c.url);
    }
}

// Windows device ids as the system gives them (no Windows here or under Wine has USB adapters, so
// these stand in for them), and the one line made of what they give.
platform::SerialAdapter Adapter(const char* vendor = "", const char* product = "",
                                const char* manufacturer = "", const char* productName = "",
                                const char* serial = "", const char* description = "") {
    platform::SerialAdapter adapter;
    adapter.vendorId = vendor;
    adapter.productId = product;
    adapter.manufacturer = manufacturer;
    adapter.product = productName;
    adapter.serial = serial;
    adapter.description = description;
    return adapter;
}

TEST(PortName, DeviceIdsGiveTheAdapter) {
    using platform::SerialAdapter;
    struct Case {
        const char* id;
        bool read;
        SerialAdapter adapter;  // vendorId, productId and serial as read; the rest as given
        const char* line;
    };
    const Case cases[] = {
        {"USB\\VID_0403&PID_6001\\A1B2C3", true, Adapter("0403", "6001", "FTDI", "FT232R USB UART", "A1B2C3"),
         "FTDI FT232R USB UART A1B2C3 (0403:6001)"},
        {"usb\\vid_10C4&pid_EA60\\0001", true, Adapter("10c4", "ea60", "", "", "0001"), "0001 (10c4:ea60)"},
        // The system made the instance part up: the device has no serial number.
        {"USB\\VID_067B&PID_2303\\5&2C4A1E3B&0&2", true, Adapter("067b", "2303"), "(067b:2303)"},
        // One interface of a composite device: the serial number is its parent's.
        {"USB\\VID_2341&PID_0043&MI_00\\6&1A2B3C4D&0&0000", true, Adapter("2341", "0043"), "(2341:0043)"},
        // A hardware id, and a vendor's bus driver: the ids, no serial number.
        {"USB\\VID_0403&PID_6001&REV_0600", true, Adapter("0403", "6001"), "(0403:6001)"},
        {"FTDIBUS\\VID_0403+PID_6001+A1B2C3A\\0000", true, Adapter("0403", "6001"), "(0403:6001)"},
        {"ACPI\\PNP0501\\1", false, Adapter("", "", "", "", "", "Communications Port (COM1)"),
         "Communications Port (COM1)"},
        {"USB\\VID_04G3&PID_6001\\X", false, Adapter(), ""},
        {"USB\\VID_0403", false, Adapter(), ""},
        {"", false, Adapter(), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        SerialAdapter read;
        read.manufacturer = c.adapter.manufacturer;
        read.product = c.adapter.product;
        read.description = c.adapter.description;
        EXPECT_EQ(platform::ReadUsbDeviceId(c.id, read), c.read);
        EXPECT_EQ(read, c.adapter);
        EXPECT_EQ(platform::DescribeAdapter(read), c.line);
    }
    // The by-id name follows, unless the port map names the device by it already.
    SerialAdapter named = Adapter("0403", "6001", "FTDI", "", "A1");
    named.stableName = "/dev/serial/by-id/usb-FTDI_A1-if00-port0";
    EXPECT_EQ(platform::DescribeDevice("/dev/ttyUSB0", named),
              "/dev/ttyUSB0 [FTDI A1 (0403:6001), /dev/serial/by-id/usb-FTDI_A1-if00-port0]");
    EXPECT_EQ(platform::DescribeDevice(named.stableName, named), named.stableName + " [FTDI A1 (0403:6001)]");
    EXPECT_EQ(platform::DescribeDevice("/dev/pts/3", Adapter()), "/dev/pts/3");
}

}  // namespace
