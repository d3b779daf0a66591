// SPDX-License-Identifier: MIT
// Serial devices through termios. The kernel's termios2 interface is used (not the C library's) so
// that rates without a B constant can be set.
#include <asm/termbits.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "platform/deadline.h"
#include "platform/uniquefd_linux.h"
#include "ports/comportmap.h"
#include "ports/portname.h"
#include "serial/faultrelease.h"
#include "serial/localdevice.h"
#include "serial/seriallock.h"

namespace platform {

namespace {

using Clock = DeadlineClock;

constexpr std::array<std::pair<int, unsigned>, 30> kStandardRates = {{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
}};

void SetRate(termios2& line, int baudRate) {
    unsigned code = BOTHER;
    for (const auto& [rate, constant] : kStandardRates) {
        if (rate == baudRate) code = constant;
    }
    // The input rate follows the output rate (input speed bits cleared).
    line.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    line.c_cflag |= code;
    line.c_ispeed = line.c_ospeed = static_cast<speed_t>(baudRate);
}

tcflag_t CharacterSize(int byteSize, tcflag_t current) {
    switch (byteSize & 0xff) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        case 8:
            return CS8;
        default:
            return current & CSIZE;  // the driver keeps a size it cannot be given
    }
}

tcflag_t ParityFlags(int parity) {
    switch (parity & 0xff) {
        case 1:
            return PARENB | PARODD;
        case 2:
            return PARENB;
        case 3:
            return PARENB | PARODD | CMSPAR;
        case 4:
            return PARENB | CMSPAR;
        default:
            return 0;
    }
}

void MakeRaw(termios2& line) {
    // Software flow control off in both directions: Linux starts a tty with IXON on, so one 0x13
    // from the unit would stall every later write, and XON/XOFF bytes would vanish from replies.
    line.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | INPCK | IXON | IXOFF | IXANY);
    line.c_oflag &= ~OPOST;
    line.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
}

}  // namespace

std::string SerialDevicePath(int port) {
    return ComPortMap::ForCurrentUser().DevicePath(port);
}

namespace {

// The lock files of the devices this process holds or is opening. Opens run at once on several
// threads (a batch): one device reached by two names must not have its lock file taken twice.
class CClaimedLocks {
public:
    static CClaimedLocks& Instance() {
        static auto* claimed = new CClaimedLocks;  // never destroyed, as the registry
        return *claimed;
    }
    bool Claim(const std::string& lockPath) {
        std::lock_guard hold(m_mutex);
        return m_paths.insert(lockPath).second;
    }
    void Unclaim(const std::string& lockPath) {
        std::lock_guard hold(m_mutex);
        m_paths.erase(lockPath);
    }

private:
    std::mutex m_mutex;
    std::set<std::string> m_paths;
};

// A claim on a lock file for the time of an open, kept by the device once it is open.
class CLockClaim {
public:
    explicit CLockClaim(const std::string& lockPath)
        : m_path(lockPath), m_taken(lockPath.empty() || CClaimedLocks::Instance().Claim(lockPath)) {}
    ~CLockClaim() {
        if (m_taken && !m_kept && !m_path.empty()) CClaimedLocks::Instance().Unclaim(m_path);
    }
    CLockClaim(const CLockClaim&) = delete;
    CLockClaim& operator=(const CLockClaim&) = delete;
    bool Taken() const { return m_taken; }
    void Keep() { m_kept = true; }

private:
    std::string m_path;
    bool m_taken;
    bool m_kept = false;
};

// USB adapters hold short replies back for their latency timer (16 ms by default) unless the
// driver's low-latency flag is set; ordinary users may set it. False when this call did not set it:
// a driver without the setting (a pseudo-terminal), or the flag set already.
bool SetLowLatency(int fd) {
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) != 0 || (info.flags & ASYNC_LOW_LATENCY) != 0) return false;
    info.flags |= ASYNC_LOW_LATENCY;
    return ioctl(fd, TIOCSSERIAL, &info) == 0;
}

// Only the flag goes back: the driver's other settings may have changed while the port was open.
void ClearLowLatency(int fd) {
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) != 0) return;
    info.flags &= ~ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &info);
}

// Opens the device, takes its advisory lock and marks it exclusive; the descriptor, or -1 and errno.
int OpenExclusive(const std::string& path, bool& setExclusive) {
    CUniqueFd fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) return -1;
    if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        // Another program holds the port: say so as the device being busy.
        errno = errno == EWOULDBLOCK ? EBUSY : errno;
        return -1;
    }
    // Root opens a port that is marked exclusive already; whoever marked it clears the mark.
    int exclusive = 0;
    setExclusive = ioctl(fd.Get(), TIOCGEXCL, &exclusive) != 0 || exclusive == 0;
    if (setExclusive && ioctl(fd.Get(), TIOCEXCL) != 0) return -1;
    return fd.Release();
}

// The C library names the timer's target thread only from version 2.38 on.
#ifndef sigev_notify_thread_id
#define sigev_notify_thread_id _sigev_un._tid
#endif

// The signal that cuts a drain short at its deadline; -1 when it cannot be had. Its handler does
// nothing and is installed without SA_RESTART, so the signal only ends the wait it interrupts.
int DrainAlarmSignal() {
    static const int number = [] {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        const int alarm = SIGRTMAX;
        return sigaction(alarm, &action, nullptr) == 0 ? alarm : -1;
    }();
    return number;
}

// A one-shot timer that sends the calling thread the drain alarm at the deadline.
class CDrainAlarm {
public:
    explicit CDrainAlarm(Clock::time_point deadline) {
        const int signal = DrainAlarmSignal();
        sigset_t blocked;
        if (signal < 0 || pthread_sigmask(SIG_BLOCK, nullptr, &blocked) != 0 ||
            sigismember(&blocked, signal)) {
            return;
        }
        sigevent event{};
        event.sigev_notify = SIGEV_THREAD_ID;
        event.sigev_signo = signal;
        event.sigev_notify_thread_id = gettid();
        if (timer_create(CLOCK_MONOTONIC, &event, &m_timer) != 0) return;
        m_made = true;
        // A zero time would disarm the timer: a deadline already passed gets the shortest wait.
        const auto left =
            std::max<std::chrono::nanoseconds>(deadline - Clock::now(), std::chrono::nanoseconds(1));
        itimerspec when{};
        when.it_value.tv_sec = static_cast<time_t>(left.count() / 1000000000);
        when.it_value.tv_nsec = static_cast<long>(left.count() % 1000000000);
        m_armed = timer_settime(m_timer, 0, &when, nullptr) == 0;
    }
    ~CDrainAlarm() {
        if (m_made) timer_delete(m_timer);
    }
    CDrainAlarm(const CDrainAlarm&) = delete;
    CDrainAlarm& operator=(const CDrainAlarm&) = delete;

    bool Armed() const { return m_armed; }

private:
    timer_t m_timer{};
    bool m_made = false;
    bool m_armed = false;
};

// Waits for the driver's output queue to empty, checking every millisecond until the deadline: for
// a thread that keeps the drain alarm blocked.
SerialWriteResult PollOutputQueue(int fd, Clock::time_point deadline) {
    for (;;) {
        int queued = 0;
        if (ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) return SerialWriteResult::Done;
        if (Clock::now() >= deadline) return SerialWriteResult::TimedOut;
        timespec step{0, 1000000};
        nanosleep(&step, nullptr);
    }
}

std::unique_ptr<CSerialTransport> Busy(SerialOpenFailure& failure, int owner, const std::string& lockPath) {
    failure.osError = EBUSY;
    failure.ownerProcess = owner;
    failure.lockFile = lockPath;
    // Read now: by the time someone reads the message the process may have gone.
    failure.ownerName = ProcessName(owner);
    return nullptr;
}

// A program that opened the device through a link on the path locked it under the link's name.
int LinkLockOwner(const std::string& path, std::string& lockPath) {
    for (const std::string& linkLock : SerialLinkLockPaths(path)) {
        if (const int owner = SerialLockOwner(linkLock); owner != 0) {
            lockPath = linkLock;
            return owner;
        }
    }
    return 0;
}

// A terminal device open for exclusive use, and what its open did that its release undoes.
class CLocalDevice final : public CSerialTransport {
public:
    CLocalDevice(int fd, bool setExclusive, std::string lockPath, bool madeLock)
        : m_fd(fd),
          m_setExclusive(setExclusive),
          m_lockPath(std::move(lockPath)),
          m_madeLock(madeLock),
          m_setLowLatency(SetLowLatency(fd)),
          m_faultRecord(RecordForFaultRelease(fd, setExclusive, madeLock ? m_lockPath.c_str() : nullptr)) {}
    ~CLocalDevice() override {
        if (!m_lockPath.empty()) CClaimedLocks::Instance().Unclaim(m_lockPath);
        close(m_fd);
    }

    bool SetLineFormat(const SerialLineFormat& format, std::string& refusal) override;
    bool MakeReadsReturnAtOnce(int& error) override;
    int Read(char* buffer, int count) override;
    SerialWriteResult Write(const char* buffer, int count, int timeoutMs) override;
    SerialWaitResult WaitReadable(int timeoutMs) override;
    bool Gone() override;
    void SetLineControl(bool rts, bool dtr) override;
    void SetRts(bool on) override;
    void Release() override;

private:
    int BytesWaiting();
    void NoteIfGone(int error);
    void SetModemLine(int bit, bool on);
    SerialWriteResult DrainOutput(Clock::time_point deadline);

    int m_fd;
    bool m_setExclusive;      // this open set the terminal's exclusive flag, so its release clears it
    std::string m_lockPath;   // where the device's lock file goes; empty for a path that is no device node
    bool m_madeLock;          // this open made the lock file, so its release removes it
    bool m_setLowLatency;     // this open set the driver's low-latency flag, so its release clears it
    int m_faultRecord;        // what a fault handler undoes of this open (RecordForFaultRelease)
    bool m_released = false;  // released already: closing only closes the descriptor
    bool m_gone = false;      // an operation found the device gone (unplugged, hung up)
    // The modem lines (TIOCM_RTS, TIOCM_DTR) whose level this open set, and those raised: a line is
    // set again only to change it, as on a USB adapter each setting is a control transfer.
    int m_linesKnown = 0;
    int m_linesRaised = 0;
    bool m_noModemLines = false;  // the device has none (a pseudo-terminal): nothing more is tried
};

// Undoes what opening did beyond the descriptor: the exclusive flag belongs to the terminal, not to
// the descriptor, and stays while any other program (a simulated unit, say) keeps the device open.
void CLocalDevice::Release() {
    if (m_released) return;
    m_released = true;
    if (m_setLowLatency) ClearLowLatency(m_fd);
    ForgetForFaultRelease(m_faultRecord);
    if (m_setExclusive) ioctl(m_fd, TIOCNXCL);
    if (m_madeLock) ReleaseSerialLock(m_lockPath);
}

// The errors with which a driver says that its device is no more.
void CLocalDevice::NoteIfGone(int error) {
    if (error == EIO || error == ENXIO || error == ENODEV) m_gone = true;
}

// A driver that refuses the format does not fail the open.
bool CLocalDevice::SetLineFormat(const SerialLineFormat& format, std::string&) {
    termios2 line{};
    if (ioctl(m_fd, TCGETS2, &line) != 0) return true;
    MakeRaw(line);
    tcflag_t size = CharacterSize(format.byteSize, line.c_cflag);
    line.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    line.c_cflag |= CLOCAL | CREAD | size | ParityFlags(format.parity);
    if ((format.stopBits & 0xff) != 0) line.c_cflag |= CSTOPB;
    SetRate(line, format.baudRate);
    ioctl(m_fd, TCSETS2, &line);
    // A driver may move the lines with the settings (a rate from or to 0): they are set anew.
    m_linesKnown = 0;
    SetLineControl(false, false);
    return true;
}

bool CLocalDevice::MakeReadsReturnAtOnce(int& error) {
    int flags = fcntl(m_fd, F_GETFL);
    if (flags >= 0 && ((flags & O_NONBLOCK) != 0 || fcntl(m_fd, F_SETFL, flags | O_NONBLOCK) == 0)) {
        return true;
    }
    error = errno;
    return false;
}

int CLocalDevice::BytesWaiting() {
    int waiting = 0;
    if (ioctl(m_fd, FIONREAD, &waiting) == 0) return waiting;
    NoteIfGone(errno);
    return -1;
}

int CLocalDevice::Read(char* buffer, int count) {
    ssize_t got = read(m_fd, buffer, static_cast<size_t>(count));
    if (got > 0) return static_cast<int>(got);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    // End of file on a terminal means it hung up.
    NoteIfGone(got == 0 ? EIO : errno);
    return -1;
}

// Waits for the output to leave the driver: the kernel's drain (tcdrain) wakes the moment the
// queue empties, where polling added a millisecond or two per write. The drain itself has no
// deadline — a stalled line would hold it forever — so a timer signal ends it at the deadline. An
// unplugged adapter ends it at once: the hang-up empties the queue.
SerialWriteResult CLocalDevice::DrainOutput(Clock::time_point deadline) {
    int queued = 0;
    // A pseudo-terminal passes bytes on as they are written: nothing is ever left to wait for.
    if (ioctl(m_fd, TIOCOUTQ, &queued) != 0 || queued <= 0) return SerialWriteResult::Done;
    CDrainAlarm alarm(deadline);
    if (!alarm.Armed()) return PollOutputQueue(m_fd, deadline);
    while (ioctl(m_fd, TCSBRK, 1) != 0) {
        if (errno != EINTR) {
            NoteIfGone(errno);
            return SerialWriteResult::Done;
        }
        if (Clock::now() >= deadline) return SerialWriteResult::TimedOut;
    }
    return SerialWriteResult::Done;
}

SerialWriteResult CLocalDevice::Write(const char* buffer, int count, int timeoutMs) {
    const auto deadline = DeadlineIn(timeoutMs);
    int done = 0;
    while (done < count) {
        ssize_t wrote = write(m_fd, buffer + done, static_cast<size_t>(count - done));
        if (wrote > 0) {
            done += static_cast<int>(wrote);
            continue;
        }
        if (wrote < 0 && errno != EAGAIN && errno != EINTR) {
            NoteIfGone(errno);
            return SerialWriteResult::Failed;
        }
        int left = MillisecondsLeft(deadline);
        if (left == 0) return SerialWriteResult::TimedOut;
        pollfd wait{m_fd, POLLOUT, 0};
        if (poll(&wait, 1, left) > 0 && (wait.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return SerialWriteResult::Failed;
        }
    }
    return DrainOutput(deadline);
}

SerialWaitResult CLocalDevice::WaitReadable(int timeoutMs) {
    const auto deadline = DeadlineIn(timeoutMs);
    for (;;) {
        pollfd wait{m_fd, POLLIN, 0};
        int ready = poll(&wait, 1, MillisecondsLeft(deadline));
        if (ready == 0) return SerialWaitResult::TimedOut;
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return SerialWaitResult::HungUp;
        // Readable with nothing to read is how a terminal reports that it hung up.
        return BytesWaiting() > 0 ? SerialWaitResult::Readable : SerialWaitResult::HungUp;
    }
}

bool CLocalDevice::Gone() {
    if (m_gone) return true;
    // A hung-up terminal says so to poll whether or not anything was tried on it since.
    pollfd probe{m_fd, 0, 0};
    return poll(&probe, 1, 0) > 0 && (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void CLocalDevice::SetModemLine(int bit, bool on) {
    const bool known = (m_linesKnown & bit) != 0;
    if (m_noModemLines || (known && ((m_linesRaised & bit) != 0) == on)) return;
    if (ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bit) != 0) {
        m_noModemLines = errno == ENOTTY || errno == EINVAL;
        m_linesKnown &= ~bit;
        return;
    }
    m_linesKnown |= bit;
    m_linesRaised = on ? m_linesRaised | bit : m_linesRaised & ~bit;
}

// A terminal has no separate control mode: an enabled line is a raised one.
void CLocalDevice::SetLineControl(bool rts, bool dtr) {
    SetModemLine(TIOCM_RTS, rts);
    SetModemLine(TIOCM_DTR, dtr);
}

void CLocalDevice::SetRts(bool on) {
    SetModemLine(TIOCM_RTS, on);
}

}  // namespace

std::unique_ptr<CSerialTransport> OpenLocalDevice(const std::string& path, SerialOpenFailure& failure) {
    const std::string lockPath = SerialLockPath(path);
    CLockClaim claim(lockPath);
    if (!claim.Taken()) return Busy(failure, getpid(), lockPath);
    std::string linkLock;
    if (const int owner = LinkLockOwner(path, linkLock); owner != 0) return Busy(failure, owner, linkLock);
    const SerialLock lock = lockPath.empty() ? SerialLock{} : AcquireSerialLock(lockPath);
    if (lock.owner != 0) return Busy(failure, lock.owner, lockPath);
    bool setExclusive = false;
    const int fd = OpenExclusive(path, setExclusive);
    failure.osError = fd < 0 ? errno : 0;
    if (fd < 0) {
        if (lock.made) ReleaseSerialLock(lockPath);
        return nullptr;
    }
    auto device = std::make_unique<CLocalDevice>(fd, setExclusive, lockPath, lock.made);
    // The thread that drives the device may be the one whose stack overflows.
    ProvideAlternateSignalStack();
    claim.Keep();
    return device;
}

namespace {

std::string OwnerText(const struct stat& status) {
    const passwd* user = getpwuid(status.st_uid);
    const group* owner = getgrgid(status.st_gid);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
    return (user != nullptr ? std::string(user->pw_name) : std::to_string(status.st_uid)) + ":" +
           (owner != nullptr ? std::string(owner->gr_name) : std::to_string(status.st_gid)) + ", mode " +
           mode;
}

// Joining the device's group helps only when that group may read and write it and is not root's own
// (joining root's group is no remedy anyone should be told); otherwise the device needs a rule.
std::string AccessAdvice(const std::string& devicePath) {
    struct stat status {};
    if (stat(devicePath.c_str(), &status) != 0) return " — ask an administrator for access to the device";
    const group* owner = getgrgid(status.st_gid);
    constexpr mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;
    if (status.st_gid != 0 && owner != nullptr && (status.st_mode & kGroupReadWrite) == kGroupReadWrite) {
        const std::string name = owner->gr_name;
        return " — the device belongs to group '" + name + "': run `sudo usermod -aG " + name +
               " $USER`, then log out and in again";
    }
    std::error_code ec;
    const std::filesystem::path node = std::filesystem::canonical(devicePath, ec);
    const std::string kernelName = (ec ? std::filesystem::path(devicePath) : node).filename().string();
    return " — the device is not accessible to ordinary users (" + OwnerText(status) +
           "): an administrator can give it a group with a udev rule, e.g. the line KERNEL==\"" + kernelName +
           "\", GROUP=\"dialout\", MODE=\"0660\" in /etc/udev/rules.d/60-serial-access.rules";
}

std::string BusyAdvice(const SerialOpenFailure& failure) {
    if (failure.ownerProcess != 0) {
        const std::string name = failure.ownerName.empty() ? "" : " (" + failure.ownerName + ")";
        return " — process " + std::to_string(failure.ownerProcess) + name + " holds the port (lock file " +
               failure.lockFile + ")";
    }
    // Nobody can clear the exclusive mark of a killed program without opening the device, which
    // the mark forbids to everyone but root.
    return " — another program is using the port, or a program that was killed left it marked for"
           " exclusive use while another one keeps it open (the mark goes when that one closes it;"
           " root can open the port meanwhile)";
}

// ": <the system's reason>" and what to do about it.
std::string ReasonAndRemedy(const SerialOpenFailure& failure) {
    if (!failure.reason.empty()) return ": " + failure.reason;
    if (failure.osError == 0) return ": the device does not accept the serial settings";
    std::string text = std::string(": ") + std::strerror(failure.osError);
    if (failure.osError == EACCES || failure.osError == EPERM) text += AccessAdvice(failure.devicePath);
    if (failure.osError == EBUSY) text += BusyAdvice(failure);
    if (failure.osError == ENOENT) text += "; " + DescribePresentPorts();
    return text;
}

// Why the port map gives COM<port> no device.
std::string DescribeMapLink(int port) {
    const std::string com = ComName(port);
    const std::string link = ComPortMap::DefaultFolder() + "/com" + std::to_string(port);
    const ComPortMap map = ComPortMap::ForCurrentUser();
    const std::string target = map.LinkTarget(port);
    switch (map.State(port)) {
        case ComPortMap::LinkState::Absent:
            return "the device of " + com + " (" + target + ") is not present (unplugged?); " +
                   DescribePresentPorts();
        case ComPortMap::LinkState::OwnerEnded:
            return "the link " + link + " to " + target +
                   " was made by a program that has ended, so it no longer counts (qlxduo-cli ports"
                   " removes it)";
        case ComPortMap::LinkState::UnownedTerminal:
            return "the link " + link + " leads to the terminal " + target +
                   ", and a link to a terminal counts only with an owner mark naming the process that"
                   " holds it: see \"Owned links\" in docs/linux-ports.md";
        default:
            return com + " has no device in the port map folder " + ComPortMap::DefaultFolder() +
                   " (a link gives it one: ln -s DEVICE " + link + "); " + DescribePresentPorts();
    }
}

}  // namespace

bool HeldByAnotherProgram(const SerialOpenFailure& failure) {
    return failure.osError == EBUSY;
}

std::string DescribeOpenFailure(int port, const SerialOpenFailure& failure) {
    const std::string com = ComName(port);
    if (!IsComPortNumber(port)) return com + ": not a port number (1 to 255)";
    if (failure.devicePath.empty()) return DescribeMapLink(port);
    return com + " (" + failure.devicePath + ")" + ReasonAndRemedy(failure);
}

std::string DescribeDeviceOpenFailure(const SerialOpenFailure& failure) {
    return failure.devicePath + ReasonAndRemedy(failure);
}

}  // namespace platform
