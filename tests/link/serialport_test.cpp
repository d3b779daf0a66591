// SPDX-License-Identifier: MIT
// CSerialPort against real pseudo-terminals: line state as the driver holds it, read and write
// results, closed-object behaviour and exclusive use.
#include <asm/termbits.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "link/serialport.h"
#include "porthelpers.h"
#include "serial/processend.h"
#include "serial/seriallock.h"
#include "testenv.h"

namespace {

constexpr int kPort = 7;
constexpr int kOtherPort = 8;
constexpr int kWaitMs = testenv::kHangGuardMs;

// The pseudo-terminal's controller side reports the device side's line state.
termios2 LineState(const testenv::PtyPair& pty) {
    termios2 line{};
    EXPECT_EQ(ioctl(pty.Controller(), TCGETS2, &line), 0);
    return line;
}

void SetSoftwareFlow(const testenv::PtyPair& pty, bool on) {
    termios2 line = LineState(pty);
    constexpr tcflag_t kSoftwareFlow = IXON | IXOFF | IXANY;
    line.c_iflag = on ? (line.c_iflag | kSoftwareFlow) : (line.c_iflag & ~kSoftwareFlow);
    ASSERT_EQ(ioctl(pty.Controller(), TCSETS2, &line), 0);
}

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override { linktest::RegisterPort(kPort, m_pty.DevicePath()); }
    void TearDown() override { linktest::UnregisterPort(kPort); }

    // Opens at 115200 8N1 and waits until the sent bytes are waiting at the port.
    void OpenAndReceive(const std::string& bytes) {
        ASSERT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 1);
        m_pty.Send(bytes);
        ASSERT_TRUE(m_port.WaitReadable(kWaitMs));
    }

    testenv::PtyPair m_pty;
    CSerialPort m_port;
};

TEST_F(SerialPortTest, LineStateAfterOpen) {
    // The pseudo-terminal driver always forces 8 data bits and clears PARENB, so the data length and
    // parity generation cannot be seen here; the odd/mark choice, stop bits and rate can.
    struct Case {
        int baud, byteSize, parity, stopBits;
        bool softwareFlow;
        tcflag_t rateCode, parityKind, stopFlag;
    };
    for (const Case& c : {
             Case{115200, 8, 0, 0, false, B115200, 0, 0},
             Case{9600, 7, 2, 2, true, B9600, 0, CSTOPB},
             Case{38400, 8, 1, 0, true, B38400, PARODD, 0},
             Case{19200, 5, 3, 1, false, B19200, PARODD | CMSPAR, CSTOPB},
             Case{250000, 6, 4, 0, false, BOTHER, CMSPAR, 0},
         }) {
        SCOPED_TRACE(c.baud);
        SetSoftwareFlow(m_pty, c.softwareFlow);
        ASSERT_EQ(m_port.Open(kPort, c.baud, c.byteSize, c.parity, c.stopBits), 1);
        termios2 line = LineState(m_pty);
        EXPECT_EQ(line.c_cflag & CBAUD, c.rateCode);
        EXPECT_EQ(line.c_ospeed, static_cast<speed_t>(c.baud));
        EXPECT_EQ(line.c_cflag & (PARODD | CMSPAR), c.parityKind);
        EXPECT_EQ(line.c_cflag & CSTOPB, c.stopFlag);
        EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
        EXPECT_EQ(line.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(line.c_iflag & (INPCK | ICRNL | IGNCR | INLCR | ISTRIP), 0u);
        EXPECT_EQ(line.c_oflag & OPOST, 0u);
        EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY), 0u);  // whatever the driver had
        m_port.Close();
    }
}

TEST_F(SerialPortTest, ReadResults) {
    struct Case {
        std::string sent;
        const char* what;
        std::vector<int> bytes;  // ReadByte results, in order
        std::string rest;        // what one Read of up to 8 bytes then returns
    };
    for (const Case& c : {
             Case{std::string(1, '\0'), "zero byte", {256}, ""},
             Case{"\n", "line feed", {266}, ""},
             Case{"\xff", "top byte", {511}, ""},
             Case{"abc", "three waiting", {256 + 'a'}, "bc"},
         }) {
        SCOPED_TRACE(c.what);
        OpenAndReceive(c.sent);
        for (int expected : c.bytes) EXPECT_EQ(m_port.ReadByte(), expected);
        char buffer[9];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(m_port.Read(buffer, 8), static_cast<int>(c.rest.size()));
        EXPECT_EQ(std::string(buffer), c.rest);  // terminated after the bytes, or at [0] when none
        EXPECT_EQ(m_port.ReadByte(), 0);
        m_port.Close();
    }
}

TEST_F(SerialPortTest, ReadOfOneLeavesTheRestWaiting) {
    OpenAndReceive("xyz");
    char buffer[2] = {'?', '?'};
    EXPECT_EQ(m_port.Read(buffer, 1), 1);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(buffer[1], '\0');
    EXPECT_EQ(m_port.ReadByte(), 256 + 'y');
    EXPECT_EQ(m_port.ReadByte(), 256 + 'z');
}

TEST_F(SerialPortTest, WritesReachTheOtherSide) {
    ASSERT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 1);
    EXPECT_EQ(m_port.Write("", 0), 1);
    EXPECT_EQ(m_port.WriteString("I\r\n"), 1);
    EXPECT_EQ(m_port.Write("AB\0C", 4), 1);
    EXPECT_EQ(m_pty.Receive(kWaitMs, std::string("AB\0C", 4)), std::string("I\r\nAB\0C", 7));
}

TEST_F(SerialPortTest, ClosedObjectTouchesNothing) {
    char buffer[4] = {'q', 'q', 'q', 0};
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "never opened" : "after Close");
        EXPECT_FALSE(m_port.IsOpen());
        EXPECT_EQ(m_port.Read(buffer, 3), 0);
        EXPECT_STREQ(buffer, "qqq");
        EXPECT_EQ(m_port.ReadByte(), 0);
        EXPECT_EQ(m_port.Write("x", 1), 0);
        EXPECT_EQ(m_port.WriteString("x"), 0);
        EXPECT_EQ(m_port.SetLineControl(1, 1), 0);
        EXPECT_EQ(m_port.SetRts(1), 0);
        EXPECT_FALSE(m_port.WaitReadable(0));
        EXPECT_FALSE(m_port.DeviceLost());
        ASSERT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 1);
        m_port.Close();
        m_port.Close();
    }
    EXPECT_EQ(m_pty.Receive(100), "");
}

TEST_F(SerialPortTest, RtsFlagSurvivesCloseAndReopen) {
    ASSERT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 1);
    EXPECT_EQ(m_port.SetRts(1), 0);  // RTS control not enabled yet
    EXPECT_EQ(m_port.SetLineControl(1, 0), 1);
    EXPECT_EQ(m_port.SetRts(1), 1);
    m_port.Close();
    EXPECT_EQ(m_port.SetLineControl(0, 0), 0);  // closed: the flags stay
    ASSERT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 1);
    EXPECT_EQ(m_port.SetRts(1), 1);
    EXPECT_EQ(m_port.SetLineControl(0, 1), 1);
    EXPECT_EQ(m_port.SetRts(1), 0);
}

TEST_F(SerialPortTest, PortNumbersOutsideTheRangeCloseAndFail) {
    for (int port : {0, -1, 256, 1000}) {
        SCOPED_TRACE(port);
        ASSERT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 1);
        EXPECT_EQ(m_port.Open(port, 115200, 8, 0, 0), 0);
        EXPECT_FALSE(m_port.IsOpen());
        EXPECT_EQ(m_port.LastOpenFailure().devicePath, "");
    }
    CSerialPort other;  // the old device was released
    EXPECT_EQ(other.Open(kPort, 115200, 8, 0, 0), 1);
}

TEST_F(SerialPortTest, FailedOpensRecordWhy) {
    testenv::TempDir dir;
    const std::string plainFile = dir.File("not-a-terminal");
    testenv::WriteFile(plainFile, "");
    struct Case {
        const char* what;
        int port;
        std::string target;  // registered as the port's device; empty: no map entry
        std::string devicePath;
        int osError;
    };
    for (const Case& c : {
             Case{"no map entry", 255, "", "", 0},
             Case{"not a terminal", kOtherPort, plainFile, plainFile, ENOTTY},
         }) {
        SCOPED_TRACE(c.what);
        if (!c.target.empty()) linktest::RegisterPort(c.port, c.target);
        ASSERT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 1);
        EXPECT_EQ(m_port.Open(c.port, 115200, 8, 0, 0), 0);
        EXPECT_FALSE(m_port.IsOpen());
        EXPECT_EQ(m_port.LastOpenFailure().devicePath, c.devicePath);
        EXPECT_EQ(m_port.LastOpenFailure().osError, c.osError);
        linktest::UnregisterPort(c.port);
    }
    ASSERT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 1);
    EXPECT_EQ(m_port.LastOpenFailure().devicePath, "");  // success clears the record
}

// A device named by its path needs no port map entry, and is held as exclusively as by number.
TEST_F(SerialPortTest, OpenPathOpensTheDeviceWithoutTheMap) {
    testenv::PtyPair unmapped;
    ASSERT_EQ(m_port.OpenPath(unmapped.DevicePath(), 57600, 8, 1, 2), 1);
    EXPECT_EQ(LineState(unmapped).c_ospeed, 57600u);
    EXPECT_EQ(LineState(unmapped).c_cflag & (PARODD | CSTOPB), PARODD | CSTOPB);
    EXPECT_EQ(m_port.WriteString("V\r\n"), 1);
    EXPECT_EQ(unmapped.Receive(kWaitMs, "\n"), "V\r\n");
    CSerialPort second;
    EXPECT_EQ(second.OpenPath(unmapped.DevicePath(), 115200, 8, 0, 0), 0);
    EXPECT_EQ(second.LastOpenFailure().osError, EBUSY);
    // Opening another device, by number, closes the first one.
    ASSERT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 1);
    EXPECT_EQ(second.OpenPath(unmapped.DevicePath(), 115200, 8, 0, 0), 1);

    const std::string missing = "/nonexistent/ttyUSB9";
    EXPECT_EQ(m_port.OpenPath(missing, 115200, 8, 0, 0), 0);
    EXPECT_FALSE(m_port.IsOpen());
    EXPECT_EQ(m_port.LastOpenFailure().devicePath, missing);
    EXPECT_EQ(m_port.LastOpenFailure().osError, ENOENT);
    // Followed by the ports present, which the tool's tests check.
    EXPECT_TRUE(DescribeDeviceOpenFailure(m_port.LastOpenFailure())
                    .starts_with(missing + ": " + std::strerror(ENOENT) + "; "));
    EXPECT_EQ(m_port.OpenPath("", 115200, 8, 0, 0), 0);
}

TEST_F(SerialPortTest, OpenIsExclusive) {
    ASSERT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 1);
    CSerialPort second;
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(second.Open(kPort, 115200, 8, 0, 0), 0);
        EXPECT_FALSE(second.IsOpen());
        EXPECT_EQ(second.LastOpenFailure().devicePath, m_pty.DevicePath());
        EXPECT_EQ(second.LastOpenFailure().osError, EBUSY);
    }
    m_port.Close();
    EXPECT_EQ(second.Open(kPort, 115200, 8, 0, 0), 1);  // the failed attempts held nothing
    EXPECT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 0);
}

// Whether the terminal is marked for exclusive use, as seen through a descriptor of the device.
bool MarkedExclusive(int deviceFd) {
    int exclusive = -1;
    EXPECT_EQ(ioctl(deviceFd, TIOCGEXCL, &exclusive), 0);
    return exclusive != 0;
}

TEST_F(SerialPortTest, CloseClearsTheExclusiveMarkOnlyWhenThisPortSetIt) {
    const int device = open(m_pty.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(device, 0);
    ASSERT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 1);
    EXPECT_TRUE(MarkedExclusive(device));
    m_port.Close();
    EXPECT_FALSE(MarkedExclusive(device));
    // Only root may open a terminal that another program marked.
    ASSERT_EQ(ioctl(device, TIOCEXCL), 0);
    const bool root = geteuid() == 0;
    EXPECT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), root ? 1 : 0);
    m_port.Close();
    EXPECT_TRUE(MarkedExclusive(device));
    ioctl(device, TIOCNXCL);
    close(device);
    if (!root) GTEST_SKIP() << "only root can open a terminal another program marked exclusive";
}

// A process that lives as long as the object: the owner of a live lock.
class LiveProcess {
public:
    LiveProcess() : m_pid(fork()) {
        if (m_pid == 0) {
            pause();
            _exit(0);
        }
    }
    ~LiveProcess() {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    LiveProcess(const LiveProcess&) = delete;
    LiveProcess& operator=(const LiveProcess&) = delete;
    int Pid() const { return m_pid; }

private:
    pid_t m_pid;
};

int DeadPid() {
    const pid_t pid = fork();
    if (pid == 0) _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

std::string TenDigits(int pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", pid);
    return text;
}

// The lock files of a folder of the test's own; the port is reached through a link, as by-id
// names are, and its lock names the real node.
class SerialLockTest : public SerialPortTest {
protected:
    void SetUp() override {
        platform::SetSerialLockFolder(m_locks.Path());
        ASSERT_EQ(symlink(m_pty.DevicePath().c_str(), m_alias.c_str()), 0);
        linktest::RegisterPort(kPort, m_alias);
        const std::string pts = "/dev/pts/";
        ASSERT_TRUE(m_pty.DevicePath().starts_with(pts));
        m_lockFile = m_locks.File("LCK..pts_" + m_pty.DevicePath().substr(pts.size()));
    }
    void TearDown() override {
        platform::SetSerialLockFolder(platform::kSerialLockFolder);
        SerialPortTest::TearDown();
    }
    bool LockFileExists() const { return access(m_lockFile.c_str(), F_OK) == 0; }
    // Everything in the lock folder; nothing but the lock file may ever be left there.
    std::vector<std::string> LockFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_locks.Path())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    testenv::TempDir m_locks;
    testenv::TempDir m_links;
    std::string m_alias = m_links.File("by-id-alias");
    std::string m_lockFile;
};

TEST_F(SerialLockTest, OpenPortHoldsItsLockFile) {
    EXPECT_EQ(platform::SerialLockPath(m_alias), m_lockFile);
    ASSERT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 1);
    EXPECT_EQ(testenv::ReadFile(m_lockFile), TenDigits(getpid()));
    struct stat status {};
    ASSERT_EQ(stat(m_lockFile.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
    EXPECT_EQ(LockFolder(), std::vector<std::string>{std::filesystem::path(m_lockFile).filename()});
    m_port.Close();
    EXPECT_FALSE(LockFileExists());
    {
        CSerialPort scoped;
        ASSERT_EQ(scoped.Open(kPort, 115200, 8, 0, 0), 1);
        EXPECT_TRUE(LockFileExists());
    }
    EXPECT_EQ(LockFolder(), std::vector<std::string>{});
}

TEST_F(SerialLockTest, LiveLocksBarThePortAndStaleOnesAreReplaced) {
    LiveProcess live;
    const int dead = DeadPid();
    auto binary = [](int pid) { return std::string(reinterpret_cast<const char*>(&pid), sizeof pid); };
    struct Case {
        const char* what;
        std::string contents;
        int owner;  // 0: stale, the port opens
    };
    for (const Case& c : {
             Case{"live, ten digits", TenDigits(live.Pid()), live.Pid()},
             Case{"live, unpadded", std::to_string(live.Pid()) + "\n", live.Pid()},
             Case{"live, without newline", std::to_string(live.Pid()), live.Pid()},
             Case{"live, binary", binary(live.Pid()), live.Pid()},
             Case{"live, words after it", TenDigits(live.Pid()).substr(0, 10) + " minicom root\n",
                  live.Pid()},
             Case{"live, a long text after it", std::to_string(live.Pid()) + std::string(100, '.'),
                  live.Pid()},
             Case{"dead, ten digits", TenDigits(dead), 0},
             Case{"dead, binary", binary(dead), 0},
             // Above any pid_max; its first byte is the digit 2, which names a live process.
             Case{"no such process, binary, a digit first", binary(0x00400032), 0},
             Case{"dead, words after it", TenDigits(dead).substr(0, 10) + " minicom root\n", 0},
             Case{"this process's ID, left by an earlier process", TenDigits(getpid()), 0},
             Case{"no process ID in it", "ttyUSB0 in use\n", 0},
             Case{"empty", "", 0},
         }) {
        SCOPED_TRACE(c.what);
        testenv::WriteFile(m_lockFile, c.contents);
        if (c.owner != 0) {
            EXPECT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 0);
            EXPECT_EQ(m_port.LastOpenFailure().osError, EBUSY);
            EXPECT_EQ(m_port.LastOpenFailure().ownerProcess, c.owner);
            EXPECT_EQ(testenv::ReadFile(m_lockFile), c.contents);
            const std::string text = DescribeOpenFailure(kPort, m_port.LastOpenFailure());
            // The live owner is a copy of this process, by the same command name.
            std::string comm = testenv::ReadFile("/proc/self/comm");
            comm.pop_back();
            const std::string names = "process " + std::to_string(c.owner) + " (" + comm +
                                      ") holds the port (lock file " + m_lockFile + ")";
            EXPECT_NE(text.find(names), std::string::npos) << text;
        } else {
            EXPECT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 1);
            EXPECT_EQ(testenv::ReadFile(m_lockFile), TenDigits(getpid()));
            m_port.Close();
            EXPECT_FALSE(LockFileExists());
        }
        std::filesystem::remove(m_lockFile);
        EXPECT_EQ(LockFolder(), std::vector<std::string>{});
    }
    // A holder that has ended by the time its name is looked up has none.
    EXPECT_EQ(platform::ProcessName(dead), "");
}

TEST_F(SerialLockTest, WithoutAUsableLockFolderThePortOpensWithoutALockFile) {
    LiveProcess live;
    testenv::WriteFile(m_locks.File("a-file"), "");
    testenv::RootSkips skips;
    struct Case {
        const char* what;
        std::string folder;
        bool readOnly;
        std::string liveLock;  // a lock another process holds there; the port then stays shut
    };
    for (const Case& c : {
             Case{"no such folder", m_locks.File("none"), false, ""},
             Case{"a file, not a folder", m_locks.File("a-file"), false, ""},
             Case{"read-only folder", m_locks.Path(), true, ""},
             Case{"read-only folder with a live lock", m_locks.Path(), true, TenDigits(live.Pid())},
         }) {
        if (skips.Skip(c.readOnly, c.what)) continue;
        SCOPED_TRACE(c.what);
        platform::SetSerialLockFolder(c.folder);
        if (!c.liveLock.empty()) testenv::WriteFile(m_lockFile, c.liveLock);
        if (c.readOnly) {
            ASSERT_EQ(chmod(c.folder.c_str(), 0555), 0);
        }
        EXPECT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), c.liveLock.empty() ? 1 : 0);
        EXPECT_EQ(m_port.LastOpenFailure().ownerProcess, c.liveLock.empty() ? 0 : live.Pid());
        m_port.Close();
        chmod(c.folder.c_str(), 0755);
        EXPECT_EQ(testenv::ReadFile(m_lockFile), c.liveLock);
        std::filesystem::remove(m_lockFile);
    }
    if (!skips.Note().empty()) GTEST_SKIP() << skips.Note();
}

TEST_F(SerialLockTest, SecondPortOfThisProcessIsToldThisProcessHoldsIt) {
    ASSERT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 1);
    CSerialPort second;
    EXPECT_EQ(second.Open(kPort, 115200, 8, 0, 0), 0);
    EXPECT_EQ(second.LastOpenFailure().osError, EBUSY);
    EXPECT_EQ(second.LastOpenFailure().ownerProcess, getpid());
    EXPECT_EQ(testenv::ReadFile(m_lockFile), TenDigits(getpid()));  // the first port's, untouched
    m_port.Close();
    EXPECT_FALSE(LockFileExists());
    EXPECT_EQ(second.Open(kPort, 115200, 8, 0, 0), 1);
    EXPECT_TRUE(LockFileExists());
    second.Close();
    // Opens on several threads at once, as in a batch: of one device reached by two names only one
    // opens; other devices each get their own lock file.
    std::array<testenv::PtyPair, 4> others;
    for (int round = 0; round < 20; ++round) {
        std::array<CSerialPort, 8> ports;
        std::atomic<int> opened = 0;
        std::vector<std::thread> threads;
        for (size_t i = 0; i < ports.size(); ++i) {
            const std::string path =
                i < others.size() ? others[i].DevicePath() : (i % 2 ? m_alias : m_pty.DevicePath());
            threads.emplace_back([&, i, path] { opened += ports[i].OpenPath(path, 115200, 8, 0, 0); });
        }
        for (std::thread& thread : threads) thread.join();
        ASSERT_EQ(opened, static_cast<int>(others.size()) + 1);
        EXPECT_EQ(testenv::ReadFile(m_lockFile), TenDigits(getpid()));
        EXPECT_EQ(LockFolder().size(), others.size() + 1);
        for (CSerialPort& port : ports) port.Close();
        EXPECT_EQ(LockFolder(), std::vector<std::string>{});
    }
}

// A program that opened the port through a link locked it under the link's name: the port stays
// shut to an open through that link, or through a link that leads to it, while that lock is live.
TEST_F(SerialLockTest, LiveLockUnderALinksNameBarsThePort) {
    LiveProcess live;
    const int dead = DeadPid();
    const std::string outerLink = m_links.File("com-alias");
    ASSERT_EQ(symlink(m_alias.c_str(), outerLink.c_str()), 0);
    linktest::RegisterPort(kOtherPort, outerLink);
    struct Case {
        const char* what;
        int port;
        std::string lockName;
        int owner;  // 0: the port opens
    };
    for (const Case& c : {
             Case{"the link's lock", kPort, "LCK..by-id-alias", live.Pid()},
             Case{"the lock of a link further along", kOtherPort, "LCK..by-id-alias", live.Pid()},
             Case{"the outer link's lock", kOtherPort, "LCK..com-alias", live.Pid()},
             Case{"a stale lock of the link", kPort, "LCK..by-id-alias", dead},
         }) {
        SCOPED_TRACE(c.what);
        const std::string linkLock = m_locks.File(c.lockName);
        const bool held = c.owner != dead;
        testenv::WriteFile(linkLock, TenDigits(c.owner));
        EXPECT_EQ(m_port.Open(c.port, 115200, 8, 0, 0), held ? 0 : 1);
        if (held) {
            EXPECT_EQ(m_port.LastOpenFailure().ownerProcess, c.owner);
            const std::string text = DescribeOpenFailure(c.port, m_port.LastOpenFailure());
            EXPECT_NE(text.find("(lock file " + linkLock + ")"), std::string::npos) << text;
            EXPECT_FALSE(LockFileExists());
        } else {
            EXPECT_TRUE(LockFileExists());  // taken under the real device's name
        }
        m_port.Close();
        EXPECT_EQ(testenv::ReadFile(linkLock), TenDigits(c.owner));
        std::filesystem::remove(linkLock);
    }
    linktest::UnregisterPort(kOtherPort);
}

// Deep enough to overflow any thread's stack.
[[gnu::noinline]] int Recurse(int depth) {
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    return depth == 0 ? 0 : Recurse(depth - 1) + frame[0];
}

// A fault ends the process where it happens, with no thread to hand the release to — here the
// hardest one, the stack overflowing: the port is released all the same.
TEST_F(SerialLockTest, StackOverflowReleasesThePort) {
    constexpr int kOpenFailed = 3;
    testenv::ChildProcess child([] {
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        platform::ReleaseDevicesOnTermination();
        CSerialPort port;
        if (port.Open(kPort, 115200, 8, 0, 0) != 1) return kOpenFailed;
        return Recurse(std::numeric_limits<int>::max());
    });
    // Ended by the fault (or, in a sanitizer build, by the sanitizer's report of it).
    const int result = child.Wait();
    EXPECT_TRUE(result == -1 || result == 1) << result;
    EXPECT_FALSE(LockFileExists());
    const int device = open(m_pty.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int exclusive = 0;
    EXPECT_EQ(ioctl(device, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    if (device >= 0) close(device);
}

// A group the test may give its files that is not root's: its own, or as root "nogroup".
gid_t OrdinaryGroup() {
    return getegid() != 0 ? getegid() : 65534;
}

// A stand-in device file with that group and mode.
std::string DeviceFile(const testenv::TempDir& dir, const std::string& name, gid_t gid, mode_t mode) {
    const std::string path = dir.File(name);
    testenv::WriteFile(path, "");
    EXPECT_EQ(chown(path.c_str(), static_cast<uid_t>(-1), gid), 0) << path;
    EXPECT_EQ(chmod(path.c_str(), mode), 0) << path;
    return path;
}

TEST(DescribeOpenFailure, NamesDeviceReasonAndRemedy) {
    testenv::TempDir dir;
    const std::string unplugged = dir.File("ttyUSB7");
    linktest::RegisterPort(10, unplugged);
    linktest::RegisterPort(11, platform::ComPortMap::DefaultFolder() + "/com11");  // loops
    // A terminal that is there: linked without an owner mark, and by a process that has ended.
    const testenv::PtyPair terminal;
    const platform::ComPortMap map = platform::ComPortMap::ForCurrentUser();
    ASSERT_TRUE(map.Register(12, terminal.DevicePath()));
    testenv::ChildProcess ended([&] { return map.RegisterOwned(13, terminal.DevicePath()) ? 0 : 1; });
    ASSERT_EQ(ended.Wait(), 0);
    const group* ordinary = getgrgid(OrdinaryGroup());
    ASSERT_NE(ordinary, nullptr) << "group " << OrdinaryGroup() << " has no name";
    const std::string groupName = ordinary->gr_name;
    const std::string groupDevice = DeviceFile(dir, "ttyGROUP0", OrdinaryGroup(), 0660);
    const std::string readOnlyGroup = DeviceFile(dir, "ttyREAD0", OrdinaryGroup(), 0640);
    // As root this is root:root 0600, the usual mode of a device no rule has given a group.
    const std::string ownerOnly = DeviceFile(dir, "ttyOWNER0", getegid(), 0600);
    const std::string udevRule = "udev rule";
    struct Case {
        const char* what;
        int port;
        SerialOpenFailure failure;
        std::vector<std::string> parts;
        std::vector<std::string> absent;
    };
    for (const Case& c : {
             Case{"no map entry",
                  9,
                  {"", 0},
                  {"COM9 has no device in the port map folder", platform::ComPortMap::DefaultFolder()},
                  {}},
             Case{"link to a device that is absent",
                  10,
                  {"", 0},
                  {"the device of COM10 (" + unplugged + ") is not present (unplugged?)"},
                  {"no device in the port map"}},
             Case{
                 "link that loops",
                 11,
                 {"", 0},
                 {"the device of COM11 (" + platform::ComPortMap::DefaultFolder() + "/com11) is not present"},
                 {"no device in the port map"}},
             Case{"link to a terminal without an owner mark",
                  12,
                  {"", 0},
                  {"the link " + platform::ComPortMap::DefaultFolder() + "/com12 leads to the terminal " +
                       terminal.DevicePath(),
                   "counts only with an owner mark", "see \"Owned links\" in docs/linux-ports.md"},
                  {"unplugged", "no device in the port map"}},
             Case{"owned link whose owner has ended",
                  13,
                  {"", 0},
                  {"the link " + platform::ComPortMap::DefaultFolder() + "/com13 to " +
                   terminal.DevicePath() + " was made by a program that has ended"},
                  {"unplugged", "no device in the port map"}},
             Case{"group may read and write",
                  9,
                  {groupDevice, EACCES},
                  {"COM9 (" + groupDevice + "): ", std::strerror(EACCES),
                   "sudo usermod -aG " + groupName + " $USER"},
                  {udevRule}},
             Case{"group may only read",
                  9,
                  {readOnlyGroup, EACCES},
                  {"not accessible", udevRule, "KERNEL==\"ttyREAD0\", GROUP=\"dialout\", MODE=\"0660\""},
                  {"usermod"}},
             Case{"owner only",
                  9,
                  {ownerOnly, EACCES},
                  {"not accessible", "mode 0600", udevRule, "KERNEL==\"ttyOWNER0\""},
                  {"usermod"}},
             Case{"group root", 9, {"/dev/null", EPERM}, {std::strerror(EPERM), udevRule}, {"usermod"}},
             Case{
                 "busy", 9, {groupDevice, EBUSY}, {"COM9 (" + groupDevice + "): ", std::strerror(EBUSY)}, {}},
             Case{"busy, held by a program",
                  9,
                  {groupDevice, EBUSY, 4242, "/run/lock/LCK..ttyGROUP0", "minicom"},
                  {"process 4242 (minicom) holds the port (lock file /run/lock/LCK..ttyGROUP0)"},
                  {}},
             // Its name could not be read: the process ended before the open looked.
             Case{"busy, held by a program that has ended",
                  9,
                  {groupDevice, EBUSY, 4242, "/run/lock/LCK..ttyGROUP0", ""},
                  {"process 4242 holds the port (lock file /run/lock/LCK..ttyGROUP0)"},
                  {"()"}},
             Case{"missing",
                  9,
                  {"/dev/ttyNONE", ENOENT},
                  {"COM9 (/dev/ttyNONE): ", std::strerror(ENOENT)},
                  {}},
         }) {
        SCOPED_TRACE(c.what);
        std::string text = DescribeOpenFailure(c.port, c.failure);
        for (const std::string& part : c.parts) EXPECT_NE(text.find(part), std::string::npos) << text;
        for (const std::string& part : c.absent) EXPECT_EQ(text.find(part), std::string::npos) << text;
        EXPECT_EQ(text.find('\n'), std::string::npos) << text;
    }
    for (const int port : {10, 11, 12, 13}) linktest::UnregisterPort(port);
}

}  // namespace
