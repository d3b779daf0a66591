#include "platform/comportmap.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>

#include "testenv.h"

namespace fs = std::filesystem;
using platform::ComPortMap;

namespace {

enum class Kind {
    Device,       // a driver-backed tty with its /dev node
    Placeholder,  // an 8250 placeholder: driver serial8250, type 0
    Real8250,     // an 8250 port with hardware: type 4
    NoNode,       // driver-backed, but no /dev node
    Virtual,      // no device link (a console or virtual terminal)
};

// A fake sysfs, /dev and map folder in one temporary folder.
class FakeSystem {
public:
    FakeSystem() {
        for (const char* dir : {"sys/class/tty", "sys/devices/platform/serial8250", "sys/devices/pci/usb",
                                "dev/serial/by-id", "map"}) {
            fs::create_directories(m_dir.File(dir));
        }
    }

    void AddTty(const std::string& name, Kind kind) {
        const std::string folder = m_dir.File("sys/class/tty/" + name);
        fs::create_directories(folder);
        if (kind == Kind::Virtual) return;
        const bool is8250 = kind == Kind::Placeholder || kind == Kind::Real8250;
        fs::create_directory_symlink(
            m_dir.File(is8250 ? "sys/devices/platform/serial8250" : "sys/devices/pci/usb"),
            folder + "/device");
        testenv::WriteFile(folder + "/type", kind == Kind::Real8250 ? "4\n" : "0\n");
        if (kind != Kind::NoNode) testenv::WriteFile(Dev(name), "");
    }
    void AddById(const std::string& id, const std::string& name) {
        fs::create_symlink("../../" + name, m_dir.File("dev/serial/by-id/" + id));
    }
    void AddLink(int port, const std::string& target) {
        fs::create_symlink(target, m_dir.File("map/com" + std::to_string(port)));
    }

    std::string Dev(const std::string& name) const { return m_dir.File("dev/" + name); }
    std::string ById(const std::string& id) const { return m_dir.File("dev/serial/by-id/" + id); }
    ComPortMap Map() const {
        return ComPortMap({m_dir.File("map"), m_dir.File("sys/class/tty"), m_dir.File("dev")});
    }
    // Every com<N> link of the map folder and its target text.
    std::map<int, std::string> Links() const {
        std::map<int, std::string> links;
        for (const auto& entry : fs::directory_iterator(m_dir.File("map"))) {
            links[std::stoi(entry.path().filename().string().substr(3))] = fs::read_symlink(entry).string();
        }
        return links;
    }
    const testenv::TempDir& Dir() const { return m_dir; }

private:
    testenv::TempDir m_dir;
};

struct TtySpec {
    std::string name;
    Kind kind;
};

struct EnumerateCase {
    std::string title;
    std::vector<TtySpec> ttys;
    std::map<std::string, std::string> byId;   // id -> tty name
    std::map<int, std::string> linksBefore;    // port -> tty name under dev/ (or "!" + absolute text)
    std::map<int, std::string> expectedLinks;  // port -> "dev:<name>", "id:<id>" or literal text
    std::vector<std::string> expectedPorts;
};

std::string Resolve(const FakeSystem& sys, const std::string& spec) {
    if (spec.starts_with("dev:")) return sys.Dev(spec.substr(4));
    if (spec.starts_with("id:")) return sys.ById(spec.substr(3));
    return spec;
}

TEST(ComPortMapTest, EnumerateNumbersDevicesAndListsLiveLinks) {
    const std::vector<EnumerateCase> cases = {
        {"natural order across families, placeholders and non-devices skipped",
         {{"ttyACM0", Kind::Device},
          {"ttyUSB1", Kind::Device},
          {"ttyS10", Kind::Device},
          {"ttyS2", Kind::Real8250},
          {"ttyS3", Kind::Placeholder},
          {"tty0", Kind::Virtual},
          {"ttyUSB0", Kind::Device}},
         {},
         {},
         {{1, "dev:ttyS2"}, {2, "dev:ttyS10"}, {3, "dev:ttyUSB0"}, {4, "dev:ttyUSB1"}, {5, "dev:ttyACM0"}},
         {"COM1", "COM2", "COM3", "COM4", "COM5"}},
        {"by-id name preferred for the link",
         {{"ttyUSB0", Kind::Device}},
         {{"usb-FTDI_FT232R_A1", "ttyUSB0"}},
         {},
         {{1, "id:usb-FTDI_FT232R_A1"}},
         {"COM1"}},
        {"dangling link keeps its number; live link of a named device is kept",
         {{"ttyUSB0", Kind::Device}, {"ttyUSB1", Kind::Device}},
         {},
         {{1, "!/nonexistent/ttyUSB7"}, {3, "ttyUSB1"}},
         {{1, "/nonexistent/ttyUSB7"}, {2, "dev:ttyUSB0"}, {3, "dev:ttyUSB1"}},
         {"COM2", "COM3"}},
        {"device already named through its by-id link is not numbered again",
         {{"ttyUSB0", Kind::Device}},
         {{"usb-Prolific_B2", "ttyUSB0"}},
         {{9, "!id"}},
         {{9, "id:usb-Prolific_B2"}},
         {"COM9"}},
        {"device named through another path to the same node is not numbered again",
         {{"ttyUSB0", Kind::Device}},
         {},
         {{4, "!../dev/ttyUSB0"}},
         {{4, "../dev/ttyUSB0"}},
         {"COM4"}},
        {"device without a /dev node gets no number",
         {{"ttyUSB0", Kind::NoNode}, {"ttyS0", Kind::Device}},
         {},
         {},
         {{1, "dev:ttyS0"}},
         {"COM1"}},
        {"nothing present, hand-made link to any existing path is listed",
         {},
         {},
         {{255, "ttyX"}},
         {{255, "dev:ttyX"}},
         {"COM255"}},
    };
    for (const EnumerateCase& c : cases) {
        SCOPED_TRACE(c.title);
        FakeSystem sys;
        for (const TtySpec& tty : c.ttys) sys.AddTty(tty.name, tty.kind);
        for (const auto& [id, name] : c.byId) sys.AddById(id, name);
        testenv::WriteFile(sys.Dev("ttyX"), "");
        for (const auto& [port, target] : c.linksBefore) {
            const std::string text = target == "!id"           ? sys.ById(c.byId.begin()->first)
                                     : target.starts_with("!") ? target.substr(1)
                                                               : sys.Dev(target);
            sys.AddLink(port, text);
        }
        EXPECT_EQ(sys.Map().Enumerate(), c.expectedPorts);
        std::map<int, std::string> expected;
        for (const auto& [port, spec] : c.expectedLinks) expected[port] = Resolve(sys, spec);
        EXPECT_EQ(sys.Links(), expected);
        // A second enumeration finds every device named and changes nothing.
        EXPECT_EQ(sys.Map().Enumerate(), c.expectedPorts);
        EXPECT_EQ(sys.Links(), expected);
    }
}

TEST(ComPortMapTest, LinkTargetNamesLinksWhoseDeviceIsAbsent) {
    FakeSystem sys;
    sys.AddLink(2, "/nonexistent/ttyUSB9");
    sys.AddLink(5, "com5");
    const ComPortMap map = sys.Map();
    const std::vector<std::pair<int, std::string>> cases = {
        {2, "/nonexistent/ttyUSB9"}, {5, sys.Dir().File("map") + "/com5"}, {4, ""}, {0, ""}, {256, ""},
    };
    for (const auto& [port, expected] : cases) {
        EXPECT_EQ(map.LinkTarget(port), expected) << "port " << port;
        EXPECT_EQ(map.DevicePath(port), "") << "port " << port;
    }
}

TEST(ComPortMapTest, DevicePathFollowsOnlyLiveLinksInRange) {
    FakeSystem sys;
    testenv::WriteFile(sys.Dev("ttyUSB0"), "");
    sys.AddLink(1, sys.Dev("ttyUSB0"));
    sys.AddLink(2, "/nonexistent/ttyUSB9");
    sys.AddLink(3, "../dev/ttyUSB0");
    const ComPortMap map = sys.Map();
    const std::vector<std::pair<int, std::string>> cases = {
        {0, ""},  {1, sys.Dev("ttyUSB0")},
        {2, ""},  {3, sys.Dir().File("map") + "/../dev/ttyUSB0"},
        {4, ""},  {256, ""},
        {-1, ""},
    };
    for (const auto& [port, expected] : cases) EXPECT_EQ(map.DevicePath(port), expected) << "port " << port;
}

TEST(ComPortMapTest, RegisterReplacesAndUnregisterRemoves) {
    FakeSystem sys;
    testenv::WriteFile(sys.Dev("a"), "");
    testenv::WriteFile(sys.Dev("b"), "");
    const ComPortMap map = sys.Map();
    struct Step {
        std::string action;
        int port;
        std::string device;
        bool result;
        std::string pathAfter;
    };
    const std::vector<Step> steps = {
        {"register", 7, sys.Dev("a"), true, sys.Dev("a")},
        {"register", 7, sys.Dev("b"), true, sys.Dev("b")},
        {"register", 0, sys.Dev("a"), false, ""},
        {"register", 256, sys.Dev("a"), false, ""},
        {"unregister", 7, "", true, ""},
        {"unregister", 7, "", true, ""},
        {"unregister", 0, "", false, ""},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.action + " " + std::to_string(s.port));
        EXPECT_EQ(s.action == "register" ? map.Register(s.port, s.device) : map.Unregister(s.port), s.result);
        EXPECT_EQ(map.DevicePath(s.port), s.pathAfter);
    }
    EXPECT_TRUE(sys.Links().empty());
}

TEST(ComPortMapTest, UnusableMapFolderYieldsNothing) {
    FakeSystem sys;
    sys.AddTty("ttyUSB0", Kind::Device);
    testenv::WriteFile(sys.Dir().File("plainfile"), "");
    const std::vector<std::pair<std::string, std::string>> folders = {
        {"empty folder name", ""},
        {"a file stands where the folder should be", sys.Dir().File("plainfile")},
        {"a folder below a file", sys.Dir().File("plainfile/ports")},
    };
    for (const auto& [title, folder] : folders) {
        SCOPED_TRACE(title);
        ComPortMap map({folder, sys.Dir().File("sys/class/tty"), sys.Dir().File("dev")});
        EXPECT_TRUE(map.Enumerate().empty());
        EXPECT_EQ(map.DevicePath(1), "");
        EXPECT_FALSE(map.Register(1, sys.Dev("ttyUSB0")));
    }
}

TEST(ComPortMapTest, DefaultFolderIsBelowTheUsersConfigFolder) {
    struct Case {
        const char* config;
        const char* home;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"/x/config", "/x/home", "/x/config/Kestrelan/QLX-DUO/ports"},
        {nullptr, "/x/home", "/x/home/.config/Kestrelan/QLX-DUO/ports"},
        {nullptr, nullptr, ""},
    };
    for (const Case& c : cases) {
        auto text = [](const char* v) { return v ? std::optional<std::string>(v) : std::nullopt; };
        testenv::ScopedEnv config("XDG_CONFIG_HOME", text(c.config));
        testenv::ScopedEnv home("HOME", text(c.home));
        EXPECT_EQ(ComPortMap::DefaultFolder(), c.expected);
        EXPECT_EQ(ComPortMap::ForCurrentUser().Roots().mapFolder, c.expected);
        EXPECT_EQ(ComPortMap::ForCurrentUser().Roots().sysClassTty, "/sys/class/tty");
        if (c.expected.empty()) {
            EXPECT_TRUE(ComPortMap::ForCurrentUser().Enumerate().empty());
        }
    }
}

}  // namespace
