// SPDX-License-Identifier: MIT
#include "ports/comportmap.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>
#include <sstream>

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
    void SetConsoles(const std::string& names) {
        fs::create_directories(m_dir.File("sys/class/tty/console"));
        testenv::WriteFile(m_dir.File("sys/class/tty/console/active"), names);
    }
    std::string Link(int port) const { return m_dir.File("map/com" + std::to_string(port)); }
    std::string Mark(int port) const { return Link(port) + ".owner"; }

    std::string Dev(const std::string& name) const { return m_dir.File("dev/" + name); }
    std::string ById(const std::string& id) const { return m_dir.File("dev/serial/by-id/" + id); }
    ComPortMap Map() const {
        return ComPortMap({m_dir.File("map"), m_dir.File("sys/class/tty"), m_dir.File("dev")});
    }
    // Every com<N> link of the map folder and its target text.
    std::map<int, std::string> Links() const {
        std::map<int, std::string> links;
        for (const auto& entry : fs::directory_iterator(m_dir.File("map"))) {
            if (!entry.is_symlink()) continue;
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
    std::string consoles = {};  // what the kernel names as its active consoles; empty: no such file
    std::vector<std::string> unnumberedConsoles = {};  // tty names
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
        {"the kernel's consoles get no number",
         {{"ttyS0", Kind::Real8250},
          {"ttyS1", Kind::Real8250},
          {"ttyUSB0", Kind::Device},
          {"console", Kind::Virtual}},
         {},
         {},
         {{1, "dev:ttyS1"}, {2, "dev:ttyUSB0"}},
         {"COM1", "COM2"},
         "tty0 ttyS0\n",
         {"ttyS0"}},
        {"a link to a network port is listed, and no device is numbered over it",
         {{"ttyUSB0", Kind::Device}},
         {},
         {{1, "!rfc2217://10.0.0.5:2001"}},
         {{1, "rfc2217://10.0.0.5:2001"}, {2, "dev:ttyUSB0"}},
         {"COM1", "COM2"}},
        {"a console linked by hand is listed",
         {{"ttyS0", Kind::Real8250}, {"ttyUSB0", Kind::Device}},
         {},
         {{4, "ttyS0"}},
         {{1, "dev:ttyUSB0"}, {4, "dev:ttyS0"}},
         {"COM1", "COM4"},
         "ttyS0\n"},
    };
    for (const EnumerateCase& c : cases) {
        SCOPED_TRACE(c.title);
        FakeSystem sys;
        for (const TtySpec& tty : c.ttys) sys.AddTty(tty.name, tty.kind);
        for (const auto& [id, name] : c.byId) sys.AddById(id, name);
        testenv::WriteFile(sys.Dev("ttyX"), "");
        if (!c.consoles.empty()) sys.SetConsoles(c.consoles);
        for (const auto& [port, target] : c.linksBefore) {
            const std::string text = target == "!id"           ? sys.ById(c.byId.begin()->first)
                                     : target.starts_with("!") ? target.substr(1)
                                                               : sys.Dev(target);
            sys.AddLink(port, text);
        }
        // Only reading lists the numbers given already, and leaves the map as it was.
        const std::map<int, std::string> before = sys.Links();
        std::vector<std::string> given;
        for (const std::string& port : c.expectedPorts) {
            if (c.linksBefore.contains(std::stoi(port.substr(3)))) given.push_back(port);
        }
        EXPECT_EQ(sys.Map().Listed(), given);
        EXPECT_EQ(sys.Links(), before);
        EXPECT_EQ(sys.Map().Enumerate(), c.expectedPorts);
        std::map<int, std::string> expected;
        for (const auto& [port, spec] : c.expectedLinks) expected[port] = Resolve(sys, spec);
        EXPECT_EQ(sys.Links(), expected);
        // A second enumeration finds every device named and changes nothing.
        EXPECT_EQ(sys.Map().Enumerate(), c.expectedPorts);
        EXPECT_EQ(sys.Links(), expected);
        std::vector<std::string> consoles;
        for (const std::string& name : c.unnumberedConsoles) consoles.push_back(sys.Dev(name));
        EXPECT_EQ(sys.Map().UnnumberedConsoles(), consoles);
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

TEST(ComPortMapTest, AbsentListsTheLinksWhoseDeviceIsNotThere) {
    FakeSystem sys;
    sys.AddTty("ttyUSB0", Kind::Device);
    sys.AddLink(12, "/nonexistent/ttyUSB9");
    sys.AddLink(3, sys.Dev("ttyUSB0"));
    sys.AddLink(5, "com5");  // loops
    sys.AddLink(7, sys.Dev("gone"));
    testenv::WriteFile(sys.Link(9), "");        // holds its number, names nothing
    sys.AddLink(14, "socket://10.0.0.5:2002");  // whether it is there shows only when connecting
    EXPECT_EQ(sys.Map().Absent(), (std::vector<std::string>{"COM5", "COM7", "COM12"}));
    EXPECT_EQ(ComPortMap({sys.Dir().File("no-such-folder")}).Absent(), std::vector<std::string>{});
}

TEST(ComPortMapTest, DevicePathFollowsOnlyLiveLinksInRange) {
    FakeSystem sys;
    testenv::WriteFile(sys.Dev("ttyUSB0"), "");
    sys.AddLink(1, sys.Dev("ttyUSB0"));
    sys.AddLink(2, "/nonexistent/ttyUSB9");
    sys.AddLink(3, "../dev/ttyUSB0");
    sys.AddLink(5, "rfc2217://[::1]:2001");
    const ComPortMap map = sys.Map();
    const std::vector<std::pair<int, std::string>> cases = {
        {0, ""},
        {1, sys.Dev("ttyUSB0")},
        {5, "rfc2217://[::1]:2001"},
        {2, ""},
        {3, sys.Dir().File("map") + "/../dev/ttyUSB0"},
        {4, ""},
        {256, ""},
        {-1, ""},
    };
    for (const auto& [port, expected] : cases) EXPECT_EQ(map.DevicePath(port), expected) << "port " << port;
}

// When this process started, from field 22 of /proc/<pid>/stat (the fields after the command name).
std::string StartTimeOf(pid_t pid) {
    const std::string stat = testenv::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 0; i < 20; ++i) fields >> field;
    return field;
}

// A child process that has ended: reaped (its PID names nothing) or left a zombie.
pid_t EndedChild(bool reap) {
    const pid_t pid = fork();
    if (pid == 0) _exit(0);
    siginfo_t info{};
    waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | (reap ? 0 : WNOWAIT));
    return pid;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

TEST(ComPortMapTest, TerminalsAndOwnedLinksCountOnlyWhileTheirOwnerRuns) {
    FakeSystem sys;
    const testenv::PtyPair pty;
    const std::string plain = sys.Dev("ttyX");
    testenv::WriteFile(plain, "");
    const std::string self = std::to_string(getpid()) + " " + StartTimeOf(getpid()) + " ";
    const pid_t reaped = EndedChild(true);
    const pid_t zombie = EndedChild(false);
    const std::string fifo = "fifo";
    struct Case {
        std::string title;
        std::string target;
        std::optional<std::string> mark;  // the owner mark's text; "fifo": a FIFO stands there
        bool offered;
        bool linkKept;
        bool markKept;
    };
    const std::vector<Case> cases = {
        {"unowned link to a pseudo-terminal", pty.DevicePath(), std::nullopt, false, true, false},
        {"owned by this running process", pty.DevicePath(), self + pty.DevicePath() + "\n", true, true, true},
        {"owner ended and was reaped", pty.DevicePath(), std::to_string(reaped) + " 1 " + pty.DevicePath(),
         false, false, false},
        {"owner's PID now names another process", pty.DevicePath(),
         std::to_string(getpid()) + " 1" + StartTimeOf(getpid()) + " " + pty.DevicePath(), false, false,
         false},
        {"owner is a zombie", pty.DevicePath(),
         std::to_string(zombie) + " " + StartTimeOf(zombie) + " " + pty.DevicePath(), false, false, false},
        {"running owner's mark names another device", pty.DevicePath(), self + "/dev/pts/999999", false, true,
         true},
        {"owned plain device whose owner ended", plain, std::to_string(reaped) + " 1 " + plain, false, false,
         false},
        {"owner ended, link since changed by hand", plain, std::to_string(reaped) + " 1 " + pty.DevicePath(),
         true, true, false},
        {"a FIFO in place of the mark", pty.DevicePath(), fifo, false, true, false},
        {"a mark that is not one", pty.DevicePath(), "x y " + pty.DevicePath(), false, true, false},
        {"unowned link to the controlling terminal", "/dev/tty", std::nullopt, false, true, false},
        {"unowned link to the console", "/dev/console", std::nullopt, false, true, false},
        {"unowned link to a plain device", plain, std::nullopt, true, true, false},
    };
    std::vector<std::string> expectedPorts;
    for (size_t i = 0; i < cases.size(); ++i) {
        const int port = static_cast<int>(i) + 1;
        sys.AddLink(port, cases[i].target);
        if (cases[i].mark == fifo) {
            ASSERT_EQ(mkfifo(sys.Mark(port).c_str(), 0600), 0);
        } else if (cases[i].mark) {
            testenv::WriteFile(sys.Mark(port), *cases[i].mark);
        }
        if (cases[i].offered) expectedPorts.push_back("COM" + std::to_string(port));
    }
    ComPortMap map = sys.Map();
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].title);
        EXPECT_EQ(map.DevicePath(static_cast<int>(i) + 1), cases[i].offered ? cases[i].target : "");
    }
    EXPECT_EQ(map.Enumerate(), expectedPorts);
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].title);
        const int port = static_cast<int>(i) + 1;
        EXPECT_EQ(map.DevicePath(port), cases[i].offered ? cases[i].target : "");
        EXPECT_EQ(Exists(sys.Link(port)), cases[i].linkKept);
        EXPECT_EQ(Exists(sys.Mark(port)), cases[i].markKept);
    }
    waitpid(zombie, nullptr, 0);
}

TEST(ComPortMapTest, RegisterOwnedMarksTheLinkAndPlainRegisterDropsTheMark) {
    FakeSystem sys;
    const testenv::PtyPair pty;
    const ComPortMap map = sys.Map();
    ASSERT_TRUE(map.RegisterOwned(5, pty.DevicePath()));
    EXPECT_EQ(testenv::ReadFile(sys.Mark(5)),
              std::to_string(getpid()) + " " + StartTimeOf(getpid()) + " " + pty.DevicePath() + "\n");
    EXPECT_EQ(map.DevicePath(5), pty.DevicePath());
    ASSERT_TRUE(map.Register(5, pty.DevicePath()));
    EXPECT_FALSE(Exists(sys.Mark(5)));
    EXPECT_EQ(map.DevicePath(5), "");
    ASSERT_TRUE(map.RegisterOwned(5, pty.DevicePath()));
    ASSERT_TRUE(map.Unregister(5));
    EXPECT_FALSE(Exists(sys.Link(5)));
    EXPECT_FALSE(Exists(sys.Mark(5)));
    EXPECT_FALSE(map.RegisterOwned(0, pty.DevicePath()));
    EXPECT_FALSE(map.RegisterOwned(5, ""));
    EXPECT_TRUE(fs::is_empty(sys.Dir().File("map")));
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
