// SPDX-License-Identifier: MIT
// The Windows services besides the settings file: the registry's port list, the named mutex, the
// per-user folders, and what a serial port that does not open reports.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "link/serialport.h"
#include "platform/instancelock.h"
#include "platform/userfolders.h"
#include "ports/portlist.h"
#include "testenv.h"
#include "ui/comportindex.h"

namespace {

// Values added to the system's port list for one test, removed again afterwards. The Wine prefix
// is private to the run, so nothing else sees them.
class SerialCommValues {
public:
    SerialCommValues() {
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                        REG_OPTION_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &m_key, nullptr);
    }
    ~SerialCommValues() {
        for (const std::wstring& name : m_names) RegDeleteValueW(m_key, name.c_str());
        RegCloseKey(m_key);
    }
    void Add(const std::wstring& name, const std::wstring& data) {
        ASSERT_EQ(RegSetValueExW(m_key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                 static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        m_names.push_back(name);
    }
    // The values' names in the order the system enumerates them.
    std::vector<std::wstring> EnumerationOrder() const {
        std::vector<std::wstring> names;
        for (DWORD index = 0;; ++index) {
            wchar_t name[1024];
            DWORD length = 1024;
            if (RegEnumValueW(m_key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            names.emplace_back(name, length);
        }
        return names;
    }

private:
    HKEY m_key = nullptr;
    std::vector<std::wstring> m_names;
};

std::vector<std::string> Names(const std::vector<platform::SerialPortEntry>& entries) {
    std::vector<std::string> names;
    for (const platform::SerialPortEntry& entry : entries) names.push_back(entry.name);
    return names;
}

bool Lists(const std::vector<platform::SerialPortEntry>& entries, const std::string& name,
           const std::string& device) {
    return std::any_of(entries.begin(), entries.end(), [&](const platform::SerialPortEntry& entry) {
        return entry.name == name && entry.device == device;
    });
}

TEST(SerialPortList, RegistryValuesNamePortsAndTheListOrdersThem) {
    SerialCommValues values;
    values.Add(L"\\Device\\QlxTest10", L"COM210");
    values.Add(L"\\Device\\QlxTest3", L"COM203");
    values.Add(L"\\Device\\QlxTest1", L"COM201");
    values.Add(L"\\Device\\QlxTwice", L"COM203");
    for (const wchar_t* data : {L"COM0", L"COM256", L"COM300", L"COMX", L"CO", L""}) {
        values.Add(std::wstring(L"\\Device\\QlxBad") + data, data);
    }
    const std::vector<platform::SerialPortEntry> entries = platform::EnumerateSerialPorts();
    EXPECT_TRUE(Lists(entries, "COM210", "\\Device\\QlxTest10"));
    EXPECT_TRUE(Lists(entries, "COM203", "\\Device\\QlxTwice"));
    std::vector<int> numbers;
    for (const platform::SerialPortEntry& entry : entries) {
        EXPECT_FALSE(entry.device.starts_with("\\Device\\QlxBad")) << entry.name;
        numbers.push_back(platform::PortOfListedName(entry.name));
    }
    // In number order, not in the order the values were added.
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end())) << testing::PrintToString(Names(entries));

    CComPortIndex index;
    index.MarkPresent(Names(entries));
    std::vector<int> ours;
    for (int port : index.NumberPresentPorts()) {
        if (port > 200) ours.push_back(port);
    }
    EXPECT_EQ(ours, (std::vector<int>{201, 203, 210}));

    // The registry holds only ports that are there: none of them is absent.
    const std::vector<platform::SerialPortEntry> withAbsent = platform::EnumerateSerialPortsWithAbsent();
    EXPECT_EQ(Names(withAbsent), Names(entries));
    for (const platform::SerialPortEntry& entry : withAbsent) EXPECT_TRUE(entry.present) << entry.name;
}

TEST(SerialPortList, TheScanStopsAtTheFirstValueThatDoesNotFit) {
    SerialCommValues values;
    values.Add(L"\\Device\\QlxA", L"COM221");
    values.Add(L"\\Device\\QlxB", L"COM222" + std::wstring(300, L' '));  // longer than 256 characters
    values.Add(L"\\Device\\QlxC", L"COM223");
    const std::vector<std::wstring> order = values.EnumerationOrder();
    const auto position = [&](const wchar_t* name) { return std::find(order.begin(), order.end(), name); };
    const std::vector<std::string> names = Names(platform::EnumerateSerialPorts());
    const auto listed = [&](const char* name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    // Whatever the system's order, only values before the long one are seen.
    EXPECT_FALSE(listed("COM222"));
    EXPECT_EQ(listed("COM221"), position(L"\\Device\\QlxA") < position(L"\\Device\\QlxB"));
    EXPECT_EQ(listed("COM223"), position(L"\\Device\\QlxC") < position(L"\\Device\\QlxB"));
}

TEST(InstanceLock, OneMutexPerApplicationName) {
    const std::string name = "qlxduo-test-" + std::to_string(GetCurrentProcessId());
    {
        platform::InstanceLock first(name);
        EXPECT_EQ(first.State(), platform::InstanceLockState::Acquired);
        EXPECT_EQ(first.Path(), name);
        platform::InstanceLock second(name);
        EXPECT_EQ(second.State(), platform::InstanceLockState::AlreadyRunning);
        platform::InstanceLock other(name + "-other");
        EXPECT_EQ(other.State(), platform::InstanceLockState::Acquired);
    }
    platform::InstanceLock again(name);
    EXPECT_EQ(again.State(), platform::InstanceLockState::Acquired)
        << "the name is free once its holder ends";

    // A name taken by an object of another kind: no guard, and the program runs.
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, testenv::Wide(name + "-event").c_str());
    platform::InstanceLock unguarded(name + "-event");
    EXPECT_EQ(unguarded.State(), platform::InstanceLockState::Unavailable);
    CloseHandle(event);
}

TEST(UserFolders, ApplicationDataAndTheProgramsOwnName) {
    const std::string appData = platform::AppDataFolder();
    ASSERT_FALSE(appData.empty());
    EXPECT_TRUE(platform::PathExists(appData));
    EXPECT_TRUE(platform::ExecutablePath().ends_with("\\services_win32_test.exe"))
        << platform::ExecutablePath();
    EXPECT_EQ(platform::ExecutableBaseName(), "services_win32_test");

    testenv::TempDir dir;
    const std::string folder = dir.File("Kestrelan 設定");
    EXPECT_FALSE(platform::PathExists(folder));
    EXPECT_TRUE(platform::MakeFolder(folder));
    EXPECT_TRUE(platform::PathExists(folder));
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(testenv::Wide(folder))));
    EXPECT_FALSE(platform::MakeFolder(folder)) << "it exists already";
    EXPECT_FALSE(platform::MakeFolder(dir.File("none/deeper"))) << "one level at a time";
    EXPECT_FALSE(platform::PathExists(""));
}

// A COM port that does not open: the name tried and the system's reason, for the status tooltip and
// the tool. (Ports held by another program cannot be shown here: Wine does not enforce share mode 0
// on COM ports, so the messages for those errors are checked as texts.)
TEST(SerialPortOpen, FailuresNameTheDeviceAndTheReason) {
    CSerialPort port;
    for (int number : {0, 256, -1}) {
        EXPECT_EQ(port.Open(number, 115200, 8, 0, 0), 0);
        EXPECT_EQ(port.LastOpenFailure().devicePath, "") << number;
        EXPECT_NE(DescribeOpenFailure(number, port.LastOpenFailure()).find("not a port number"),
                  std::string::npos);
    }
    EXPECT_EQ(platform::SerialDevicePath(255), "\\\\.\\COM255");
    EXPECT_EQ(platform::SerialDevicePath(1), "\\\\.\\COM1");

    EXPECT_EQ(port.Open(200, 115200, 8, 0, 0), 0);
    EXPECT_FALSE(port.IsOpen());
    const SerialOpenFailure failure = port.LastOpenFailure();
    EXPECT_EQ(failure.devicePath, "\\\\.\\COM200");
    EXPECT_EQ(failure.osError, ERROR_FILE_NOT_FOUND);
    const std::string text = DescribeOpenFailure(200, failure);
    EXPECT_TRUE(text.starts_with("COM200 (\\\\.\\COM200): ")) << text;
    // Followed by the ports that are there (the tool's tests look at them).
    EXPECT_NE(text.find(" — this computer has no such port; "), std::string::npos) << text;
    EXPECT_GT(text.size(), std::string("COM200 (\\\\.\\COM200):  — this computer has no such port").size())
        << "the system's own reason stands between";

    for (const DWORD held :
         {static_cast<DWORD>(ERROR_ACCESS_DENIED), static_cast<DWORD>(ERROR_SHARING_VIOLATION)}) {
        const std::string busy = DescribeOpenFailure(7, {"\\\\.\\COM7", static_cast<int>(held)});
        EXPECT_TRUE(busy.ends_with(" — another program is using the port")) << busy;
    }
    EXPECT_EQ(DescribeOpenFailure(7, {"\\\\.\\COM7", 0}),
              "COM7 (\\\\.\\COM7): the device does not accept the serial settings");

    // A device named by its path: the path, the system's reason and the remedy, with no COM number.
    const std::string path = "\\\\.\\COM200";
    EXPECT_EQ(port.OpenPath(path, 115200, 8, 0, 0), 0);
    const std::string byPath = DescribeDeviceOpenFailure(port.LastOpenFailure());
    EXPECT_EQ(byPath, path + text.substr(std::string("COM200 (" + path + ")").size())) << byPath;
}

}  // namespace
