// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <utility>
#include <vector>

#include "link/linetrace.h"
#include "platform/uniquefd_linux.h"
#include "ports/comportmap.h"
#include "ports/portname.h"
#include "sim/simrun.h"

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;

// Even with nothing to do the loop wakes now and then, so no wait is unbounded.
constexpr int kIdleWaitMs = 1000;
// A unit answers one line at a time; a host that sends more without waiting for the answers is
// flooding, and the answers beyond these bounds are dropped (and logged) instead of piling up.
constexpr size_t kMostPendingReplies = 256;
constexpr size_t kMostUnsentBytes = 64 * 1024;

// Beyond this much log within a second (more than a real line at 115200 baud can bring at its
// busiest) the traffic is a flood: it is counted instead of logged line by line, so that the log
// of a flood does not grow with its size.
constexpr size_t kMostLogBytesPerSecond = 256 * 1024;
constexpr auto kFloodWindow = std::chrono::seconds(1);

// What a flood brought in one second, counted instead of logged.
struct FloodCounts {
    size_t received = 0;
    size_t sent = 0;
    size_t dropped = 0;
    size_t unanswered = 0;
};

// The trace of the line: what the unit received and sent, in the format of qlxduo-cli --trace,
// so the two can be laid side by side.
class Log {
public:
    // Writes to the file opened for it, or to standard error when there is none (fd -1).
    explicit Log(int fd) : m_file(fd < 0 ? stderr : fdopen(fd, "a")) {
        if (m_file == nullptr) close(fd);
    }
    ~Log() {
        if (m_file != nullptr && m_file != stderr) std::fclose(m_file);
    }
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;
    bool Ok() const { return m_file != nullptr; }
    // The port the lines name: the unit's COM number, or its terminal.
    void SetPort(const std::string& port) { m_port = port; }

    void Received(const std::string& bytes) {
        Traffic(linetrace::Direction::Received, bytes, m_counts.received);
    }
    void Sent(const std::string& bytes) { Traffic(linetrace::Direction::Sent, bytes, m_counts.sent); }
    void Dropped(const std::string& text) { Traffic(linetrace::Direction::Remark, text, m_counts.dropped); }
    void Unanswered(const std::string& text) {
        Traffic(linetrace::Direction::Remark, text, m_counts.unanswered);
    }
    // Always logged, flood or not.
    void Remark(const std::string& text) { Put(Format(linetrace::Direction::Remark, text)); }

    // Ends the second once it is over; during a flood, logs what it brought.
    void Tick(Clock::time_point now) {
        if (now - m_windowStart < kFloodWindow) return;
        if (m_flooding) {
            LogCounts();
            m_flooding = m_windowBytes > kMostLogBytesPerSecond;
            if (!m_flooding) Remark("flood over: logged line by line again");
        }
        m_windowStart = now;
        m_windowBytes = 0;
    }

    // Logs what the flood has brought since its last such line; nothing when there is none.
    void LogCounts() {
        const FloodCounts& c = m_counts;
        if (c.received + c.sent + c.dropped + c.unanswered == 0) return;
        Remark("flood: " + std::to_string(c.received) + " lines received, " + std::to_string(c.sent) +
               " replies sent, " + std::to_string(c.dropped) + " replies dropped, " +
               std::to_string(c.unanswered) + " lines unanswered, not logged one by one");
        m_counts = {};
    }

private:
    std::string Format(linetrace::Direction direction, const std::string& bytes) const {
        return linetrace::FormatLine(linetrace::NowMs(), m_port, direction, bytes);
    }
    void Put(const std::string& line) {
        std::fputs(line.c_str(), m_file);
        std::fflush(m_file);
    }

    void Traffic(linetrace::Direction direction, const std::string& bytes, size_t& count) {
        if (m_flooding) {
            // Only weighed, not formatted: the flood costs the unit little time too.
            m_windowBytes += kStampBytes + m_port.size() + bytes.size();
            ++count;
            return;
        }
        const std::string line = Format(direction, bytes);
        m_windowBytes += line.size();
        if (m_windowBytes <= kMostLogBytesPerSecond) {
            Put(line);
            return;
        }
        m_flooding = true;
        ++count;
        Remark("flood: more than " + std::to_string(kMostLogBytesPerSecond / 1024) +
               " KiB of log within a second; counted from here, one line a second");
    }

    // About what a line takes in the log besides its port and bytes: time stamp, direction, spaces.
    static constexpr size_t kStampBytes = 16;

    FILE* m_file;
    std::string m_port = "-";
    Clock::time_point m_windowStart = Clock::now();
    size_t m_windowBytes = 0;  // what this second's traffic takes, or would take, in the log
    bool m_flooding = false;
    FloodCounts m_counts;
};

// The file that standard output or error already is, whatever it is (/dev/stderr names it).
bool IsStandardStream(const struct stat& file) {
    for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat stream {};
        if (fstat(fd, &stream) == 0 && stream.st_dev == file.st_dev && stream.st_ino == file.st_ino)
            return true;
    }
    return false;
}

// The files the unit writes its log and wire to: a regular file, a terminal, the null device, or
// what its standard output or error already is. A FIFO would hold the unit in the open until a
// reader comes, and in every write whenever its reader stops reading.
bool AcceptedOutput(int fd, const struct stat& file) {
    const bool null = S_ISCHR(file.st_mode) && file.st_rdev == makedev(1, 3);
    return S_ISREG(file.st_mode) || null || isatty(fd) || IsStandardStream(file);
}

std::string Refusal(mode_t mode) {
    const char* kind = S_ISFIFO(mode)   ? "a FIFO"
                       : S_ISSOCK(mode) ? "a socket"
                                        : "a device that is neither a terminal nor /dev/null";
    return std::string(kind) +
           "; the log and the wire file may be regular files, terminals, /dev/null or the "
           "standard error";
}

// Opens path for appending, never waiting in the open (a FIFO without a reader refuses a writer
// that does not wait); -1 with the reason in problem when it cannot be opened or is not accepted.
int OpenOutput(const std::string& path, std::string& problem) {
    platform::CUniqueFd fd(
        open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644));
    const int error = errno;
    struct stat file {};
    if (fd.Get() < 0) {
        const bool named =
            stat(path.c_str(), &file) == 0 && (S_ISFIFO(file.st_mode) || S_ISSOCK(file.st_mode));
        problem = named ? Refusal(file.st_mode) : strerror(error);
        return -1;
    }
    if (fstat(fd.Get(), &file) != 0) {
        problem = strerror(errno);
    } else if (!AcceptedOutput(fd.Get(), file)) {
        problem = Refusal(file.st_mode);
    } else if (fcntl(fd.Get(), F_SETFL, fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK) != 0) {
        problem = strerror(errno);
    }
    return problem.empty() ? fd.Release() : -1;
}

// Opens the file an option names into fd, or says on standard error why it will not; true when
// the option names none.
bool OpenOption(const char* option, const std::string& path, platform::CUniqueFd& fd) {
    if (path.empty()) return true;
    std::string problem;
    fd.Reset(OpenOutput(path, problem));
    if (fd.Get() >= 0) return true;
    std::fprintf(stderr, "qlxduo-sim: %s %s: %s\n", option, path.c_str(), problem.c_str());
    return false;
}

struct PendingReply {
    Clock::time_point due;
    std::string bytes;
};

// The pseudo-terminal the unit sits on: the controller side it talks through, and its own handle to
// the device side, which keeps the terminal alive while the client closes and reopens the port.
struct UnitTerminal {
    platform::CUniqueFd controller;
    platform::CUniqueFd device;
    std::string path;
};

bool OpenTerminal(UnitTerminal& terminal) {
    terminal.controller.Reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    const int fd = terminal.controller.Get();
    if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname(fd) == nullptr) return false;
    terminal.path = ptsname(fd);
    terminal.device.Reset(open(terminal.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    termios line{};
    if (terminal.device.Get() < 0 || tcgetattr(terminal.device.Get(), &line) != 0) return false;
    // Raw until the client sets its own line: an echoing terminal would feed replies back in.
    cfmakeraw(&line);
    return tcsetattr(terminal.device.Get(), TCSANOW, &line) == 0;
}

// Every signal that would end the process and can be caught, so the port map link is removed
// whatever ends the unit; SIGUSR1 is the mode switch, SIGUSR2 releases held replies. A signal ignored at
// start (nohup, a background job) stays ignored. Faults (SIGSEGV and the like) are left to end the process:
// the link's owner mark then shows that its owner is gone.
int SignalDescriptor() {
    sigset_t mask;
    sigemptyset(&mask);
    std::vector<int> taken = {SIGHUP,  SIGINT,    SIGQUIT, SIGTERM, SIGPIPE, SIGALRM,  SIGPOLL,
                              SIGPROF, SIGVTALRM, SIGXCPU, SIGXFSZ, SIGPWR,  SIGSTKFLT};
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) taken.push_back(s);
    for (int s : taken) {
        struct sigaction now {};
        if (sigaction(s, nullptr, &now) == 0 && now.sa_handler != SIG_IGN) sigaddset(&mask, s);
    }
    sigaddset(&mask, SIGUSR1);
    sigaddset(&mask, SIGUSR2);
    if (sigprocmask(SIG_BLOCK, &mask, nullptr) != 0) return -1;
    return signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK);
}

class UnitLoop {
public:
    // wire: where every received byte goes; -1 for nowhere.
    UnitLoop(const SimOptions& options, int controller, int wire, Log& log)
        : m_unit(options.unit), m_controller(controller), m_wire(wire), m_log(log) {}

    // Runs until a stop signal arrives on the signal descriptor; false when waiting fails. Every
    // pass does a bounded amount of work and never waits in a write, so a signal is taken at once
    // even while a client floods the unit and reads nothing.
    bool Run(int signals) {
        while (!m_stop) {
            const short events = static_cast<short>(POLLIN | (m_unsent.empty() ? 0 : POLLOUT));
            pollfd fds[2] = {{m_controller, events, 0}, {signals, POLLIN, 0}};
            if (poll(fds, 2, WaitMs()) < 0 && errno != EINTR) return false;
            // One reading of the clock a pass: on some machines reading it is no cheaper than a line.
            const auto now = Clock::now();
            m_log.Tick(now);
            if (fds[1].revents & POLLIN) TakeSignal(signals);
            if (m_stop) break;
            if (fds[0].revents & POLLIN) ReceiveBytes(now);
            QueueDueReplies(now);
            if (!m_unsent.empty()) SendUnsent();
        }
        return true;
    }

private:
    int WaitMs() const {
        if (m_pending.empty() || m_holding) return kIdleWaitMs;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_pending.front().due - Clock::now());
        return static_cast<int>(std::clamp<long long>(left.count(), 0, kIdleWaitMs));
    }

    void TakeSignal(int fd) {
        signalfd_siginfo info{};
        while (read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            const int number = static_cast<int>(info.ssi_signo);
            if (number == SIGUSR1) {
                m_unit.ReturnToSettingMode();
                m_log.Remark("mode switch: setting mode");
            } else if (number == SIGUSR2) {
                m_log.Remark(m_holding ? "held replies released" : "release: nothing held");
                m_holding = false;
            } else {
                m_log.Remark(std::string("stop: ") + strsignal(number));
                m_stop = true;
            }
        }
    }

    void ReceiveBytes(Clock::time_point now) {
        char buffer[512];
        const ssize_t n = read(m_controller, buffer, sizeof buffer);
        if (n <= 0) return;
        if (m_wire >= 0) RecordWire(buffer, n);
        for (const ReceivedLine& line : m_assembler.Feed(buffer, static_cast<size_t>(n))) Answer(line, now);
    }

    // A failure is logged once, not once per read, until a write succeeds again.
    void RecordWire(const char* bytes, ssize_t count) {
        const bool failed = write(m_wire, bytes, static_cast<size_t>(count)) != count;
        if (failed && !m_wireFailed) m_log.Remark("wire file write failed; it misses bytes from here");
        m_wireFailed = failed;
    }

    void Answer(const ReceivedLine& line, Clock::time_point now) {
        m_log.Received(line.bytes);
        const std::string& hold = m_unit.Options().hold;
        if (!m_holding && !hold.empty() && line.text.starts_with(hold)) {
            m_holding = true;
            m_log.Remark("holding the replies from here until SIGUSR2");
        }
        const auto reply = m_unit.Answer(line.text);
        if (!reply) {
            m_log.Unanswered(m_unit.InNormalMode() ? "no reply (normal mode)" : "no reply (silent)");
            return;
        }
        if (m_pending.size() >= kMostPendingReplies) {
            Drop("too many replies waiting for their delay", *reply);
            return;
        }
        const auto delay = std::chrono::milliseconds(m_unit.Options().replyDelayMs);
        m_pending.push_back({now + delay, *reply});
    }

    void QueueDueReplies(Clock::time_point now) {
        while (!m_holding && !m_pending.empty() && m_pending.front().due <= now) {
            const std::string& reply = m_pending.front().bytes;
            if (m_unsent.size() + reply.size() + 2 > kMostUnsentBytes) {
                Drop("the client is not reading", reply);
            } else {
                m_unsent += reply + "\r\n";
                m_log.Sent(reply + "\r\n");
            }
            m_pending.pop_front();
        }
    }

    // Hands the client what its side of the terminal takes now; the rest waits for room.
    void SendUnsent() {
        const ssize_t n = write(m_controller, m_unsent.data(), m_unsent.size());
        if (n > 0) m_unsent.erase(0, static_cast<size_t>(n));
    }

    void Drop(const char* why, const std::string& reply) {
        m_log.Dropped(std::string("reply dropped (") + why + "): " + reply);
    }

    SimUnit m_unit;
    int m_controller;
    int m_wire;
    bool m_wireFailed = false;
    Log& m_log;
    LineAssembler m_assembler;
    std::deque<PendingReply> m_pending;  // replies not yet due, in order
    std::string m_unsent;                // due replies the client has not taken yet
    bool m_stop = false;
    bool m_holding = false;  // replies wait for SIGUSR2 (--hold)
};

// Registers the unit's terminal as com<N>, owned by this process, for the life of the object. It
// takes only a free number (or one whose owner has ended), and removes the link only while it is
// still its own, so a link someone made by hand is never replaced nor removed. Should the process
// be killed, the owner mark keeps the link from leading anyone into the next program that gets
// this terminal.
class ComRegistration {
public:
    ComRegistration(int port, const std::string& path)
        : m_map(platform::ComPortMap::ForCurrentUser()), m_port(port), m_path(path) {
        m_ok = port == 0 || m_map.ClaimOwned(port, path);
    }
    ~ComRegistration() {
        if (m_port != 0 && m_ok) m_map.UnregisterOwn(m_port, m_path);
    }
    ComRegistration(const ComRegistration&) = delete;
    ComRegistration& operator=(const ComRegistration&) = delete;
    bool Ok() const { return m_ok; }

    // Why the number could not be had, for the message.
    std::string Problem() const {
        const std::string com = "COM" + std::to_string(m_port);
        const std::string link = m_map.Roots().mapFolder + "/com" + std::to_string(m_port);
        struct stat st {};
        if (lstat(link.c_str(), &st) != 0)
            return "cannot register " + com + " in the port map (" + link + ")";
        const std::string target = m_map.LinkTarget(m_port);
        return com + " is taken: " + link + (target.empty() ? "" : " -> " + target) +
               " is not the link of a unit that has ended; choose another number, or remove that link "
               "if it is no longer needed";
    }

private:
    platform::ComPortMap m_map;
    int m_port;
    std::string m_path;
    bool m_ok;
};

}  // namespace

int RunSimulatedUnit(const SimOptions& options) {
    // Opened before anything else and without waiting, so a file it refuses leaves no trace.
    platform::CUniqueFd logFile;
    platform::CUniqueFd wireFile;
    if (!OpenOption("--log", options.logFile, logFile) || !OpenOption("--wire", options.wireFile, wireFile)) {
        return 1;
    }
    Log log(logFile.Release());
    // Stop signals are taken from here on, so the port map link is always removed.
    platform::CUniqueFd signals(SignalDescriptor());
    UnitTerminal terminal;
    if (signals.Get() < 0 || !log.Ok() || !OpenTerminal(terminal)) {
        std::fprintf(stderr, "qlxduo-sim: cannot watch signals, open the log or make the pseudo-terminal\n");
        return 1;
    }
    ComRegistration registration(options.com, terminal.path);
    if (!registration.Ok()) {
        std::fprintf(stderr, "qlxduo-sim: %s\n", registration.Problem().c_str());
        return 1;
    }
    log.SetPort(options.com != 0 ? platform::ComName(options.com) : terminal.path);
    std::printf("%s\n", terminal.path.c_str());
    std::fflush(stdout);
    log.Remark("unit on " + terminal.path);
    UnitLoop loop(options, terminal.controller.Get(), wireFile.Get(), log);
    const bool ok = loop.Run(signals.Get());
    log.LogCounts();
    log.Remark(ok ? "stopped" : "waiting failed");
    return ok ? 0 : 1;
}

}  // namespace sim
