// SPDX-License-Identifier: MIT
#include "ports/comportmap.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "platform/smallfiles_linux.h"
#include "platform/userfolders.h"
#include "ports/portname.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

std::string LinkName(int port) {
    return "com" + std::to_string(port);
}

constexpr std::string_view kMarkSuffix = ".owner";
// A mark holds a PID, a start time and a device path.
constexpr size_t kLongestMark = 4096;
// /proc/<pid>/stat is one line of some fifty numbers and a command name.
constexpr size_t kLongestProcessStat = 4096;

std::string MarkName(int port) {
    return LinkName(port) + std::string(kMarkSuffix);
}

// "com7" -> 7; 0 for anything that is not exactly the link name of a port (no other letter case,
// no leading zeros).
int PortOfLinkName(const std::string& name) {
    int port = 0;
    return ReadPortNumber(name, port) == PortText::Port && name == LinkName(port) ? port : 0;
}

std::string ReadLinkText(const std::string& path) {
    std::error_code ec;
    fs::path target = fs::read_symlink(path, ec);
    return ec ? std::string() : target.string();
}

// A link's target as a path that can be opened from anywhere (relative targets are relative to
// the link's folder). A network port's URL stands as it is.
std::string AbsoluteTarget(const std::string& folder, const std::string& target) {
    if (target.empty() || target[0] == '/' || IsNetworkPortPath(target)) return target;
    return folder + "/" + target;
}

std::string Canonical(const std::string& path) {
    std::error_code ec;
    fs::path resolved = fs::canonical(path, ec);
    return ec ? std::string() : resolved.string();
}

// The first line of a small system file (a sysfs attribute); empty when it cannot be read.
std::string FirstLine(const std::string& path) {
    constexpr size_t kLongestLine = 4096;
    std::string text = ReadSmallFile(path, kLongestLine).value_or("");
    return text.substr(0, text.find('\n'));
}

// The words of text, split at blanks and line ends.
std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    for (size_t at = 0; at < text.size();) {
        const size_t start = text.find_first_not_of(" \t\n", at);
        if (start == std::string_view::npos) break;
        const size_t end = std::min(text.find_first_of(" \t\n", start), text.size());
        words.push_back(text.substr(start, end - start));
        at = end;
    }
    return words;
}

// A whole word of decimal digits as a number.
template <class Number>
bool ReadNumber(std::string_view word, Number& number) {
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), number);
    return error == std::errc() && end == word.data() + word.size();
}

// When a running process started (clock ticks after boot, field 22 of /proc/<pid>/stat); nothing
// when the PID names no running process. A zombie has ended: its descriptors are closed already.
std::optional<unsigned long long> StartTimeOf(long pid) {
    if (pid <= 0) return std::nullopt;
    const auto stat = ReadSmallFile("/proc/" + std::to_string(pid) + "/stat", kLongestProcessStat);
    // The command name in parentheses may hold spaces; the fields after it do not.
    const size_t nameEnd = stat ? stat->rfind(')') : std::string::npos;
    if (nameEnd == std::string::npos) return std::nullopt;
    // The fields from the third on: the state first, the start time as field 22.
    const std::vector<std::string_view> fields = Words(std::string_view(*stat).substr(nameEnd + 1));
    constexpr size_t kStartField = 22 - 3;
    unsigned long long start = 0;
    if (fields.size() <= kStartField || !ReadNumber(fields[kStartField], start)) return std::nullopt;
    if (fields[0] == "Z" || fields[0] == "X") return std::nullopt;
    return start;
}

// The owner mark beside a link: which process made it, and for which device.
struct OwnerMark {
    long pid = 0;
    unsigned long long start = 0;
    std::string device;
};

std::optional<OwnerMark> ReadMark(const std::string& folder, int port) {
    // "PID START DEVICE", the device path up to the line's end.
    const std::string text = ReadSmallFile(folder + "/" + MarkName(port), kLongestMark).value_or("");
    const std::string_view line = std::string_view(text).substr(0, text.find('\n'));
    const size_t pidEnd = line.find(' ');
    if (pidEnd == std::string_view::npos) return std::nullopt;
    const size_t startEnd = line.find(' ', pidEnd + 1);
    OwnerMark mark;
    if (startEnd == std::string_view::npos || !ReadNumber(line.substr(0, pidEnd), mark.pid) ||
        !ReadNumber(line.substr(pidEnd + 1, startEnd - pidEnd - 1), mark.start)) {
        return std::nullopt;
    }
    mark.device = std::string(line.substr(startEnd + 1));
    if (mark.device.empty()) return std::nullopt;
    return mark;
}

bool OwnerRuns(const OwnerMark& mark) {
    return StartTimeOf(mark.pid) == mark.start;
}

// Written beside and renamed into place, so a reader never sees half a mark.
bool WriteMark(const std::string& folder, int port, const std::string& device) {
    const auto start = StartTimeOf(getpid());
    if (!start) return false;
    const std::string text = std::to_string(getpid()) + " " + std::to_string(*start) + " " + device + "\n";
    CFileBeside mark(folder + "/" + MarkName(port), 0644);
    return mark.Fd() >= 0 && WriteWhole(mark.Fd(), text) && mark.PutInPlace();
}

void RemoveMark(const std::string& folder, int port) {
    unlink((folder + "/" + MarkName(port)).c_str());
}

// Terminals that people and programs type into: pseudo-terminals, virtual consoles (tty0..63),
// the controlling terminal (/dev/tty) and the console. Their numbers pass to the next terminal
// window or login, so an unowned link to one may lead anywhere.
bool IsInteractiveTerminal(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    struct statfs filesystem {};
    if (statfs(path.c_str(), &filesystem) == 0 && filesystem.f_type == DEVPTS_SUPER_MAGIC) return true;
    const unsigned kind = major(st.st_rdev);
    const unsigned index = minor(st.st_rdev);
    constexpr unsigned kPtyFirstMajor = 136, kPtyMajors = 8, kVtMajor = 4, kVts = 64, kTtyAuxMajor = 5;
    return (kind >= kPtyFirstMajor && kind < kPtyFirstMajor + kPtyMajors) ||
           (kind == kVtMajor && index < kVts) || (kind == kTtyAuxMajor && index < 2);
}

// Whether COM<port> may be opened through its link to target (absolute, empty for no link): the
// target exists, and an owned link's owner still runs, or an unowned link leads to no interactive
// terminal.
ComPortMap::LinkState StateOf(const std::string& folder, int port, const std::string& target) {
    using State = ComPortMap::LinkState;
    if (target.empty()) return State::NoLink;
    // Whether a network port is there shows only when it is connected to.
    if (IsNetworkPortPath(target)) return State::Usable;
    if (!PathExists(target)) return State::Absent;
    const auto mark = ReadMark(folder, port);
    if (mark && AbsoluteTarget(folder, mark->device) == target)
        return OwnerRuns(*mark) ? State::Usable : State::OwnerEnded;
    return IsInteractiveTerminal(target) ? State::UnownedTerminal : State::Usable;
}

std::string LinkTarget(const std::string& folder, int port) {
    return AbsoluteTarget(folder, ReadLinkText(folder + "/" + LinkName(port)));
}

// Removes the mark of com<port> when its owner has ended, and the link too while the mark names it.
void PruneIfEnded(const std::string& folder, int port) {
    const auto mark = ReadMark(folder, port);
    if (mark && OwnerRuns(*mark)) return;
    if (mark && LinkTarget(folder, port) == AbsoluteTarget(folder, mark->device)) {
        unlink((folder + "/" + LinkName(port)).c_str());
    }
    RemoveMark(folder, port);
}

// Removes the marks of processes that have ended, and each link that its mark still names.
void PruneEndedOwners(const std::string& folder) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    std::vector<int> ports;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.ends_with(kMarkSuffix)) continue;
        const int port = PortOfLinkName(name.substr(0, name.size() - kMarkSuffix.size()));
        if (port != 0) ports.push_back(port);
    }
    for (int port : ports) PruneIfEnded(folder, port);
}

// The devices the kernel writes its console to (ttyS0 on many servers): a connect attempt would
// write into the system console, so they get a number only by hand.
std::set<std::string> ConsoleDevices(const ComPortMapRoots& roots) {
    const std::string line = FirstLine(roots.sysClassTty + "/console/active");
    std::set<std::string> devices;
    for (const std::string_view name : Words(line)) devices.emplace(name);
    return devices;
}

// One link of the map: the number it holds and where it points.
struct MapLink {
    int port;
    std::string target;    // absolute target text; may dangle
    std::string resolved;  // canonical target; empty while it dangles
};

void SortByPort(std::vector<MapLink>& links) {
    std::sort(links.begin(), links.end(), [](const MapLink& a, const MapLink& b) { return a.port < b.port; });
}

// Reads every com<N> entry; false when the folder cannot be read. Entries that are not links
// still hold their number, since no link can be made there.
bool ReadLinks(const std::string& folder, std::vector<MapLink>& links) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const int port = PortOfLinkName(name);
        if (port == 0) continue;
        const std::string target = LinkTarget(folder, port);
        links.push_back({port, target, target.empty() ? std::string() : Canonical(target)});
    }
    return !ec;
}

// Orders device names by driver family, then number: ttyS2, ttyS10, ttyUSB0, ttyACM0, then any
// other family by its name.
struct NaturalKey {
    int familyRank;
    std::string family;
    unsigned long number;
    std::string name;
    auto operator<=>(const NaturalKey&) const = default;
};

NaturalKey KeyOf(const std::string& name) {
    size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
    const std::string family = name.substr(0, digits);
    const std::string number = name.substr(digits);
    static const std::map<std::string, int> kRanks = {{"ttyS", 0}, {"ttyUSB", 1}, {"ttyACM", 2}};
    auto rank = kRanks.find(family);
    return {rank == kRanks.end() ? 3 : rank->second, family,
            number.empty() ? 0 : std::strtoul(number.substr(0, 9).c_str(), nullptr, 10), name};
}

// The 8250 driver makes placeholder ports that have no hardware behind them: type 0.
bool IsPlaceholder(const std::string& ttyFolder) {
    const std::string driverPath = Canonical(ttyFolder + "/device");
    return driverPath.find("serial8250") != std::string::npos && FirstLine(ttyFolder + "/type") == "0";
}

// Serial devices present now, in natural order.
std::vector<std::string> PresentDevices(const ComPortMapRoots& roots) {
    std::vector<NaturalKey> keys;
    std::error_code ec;
    fs::directory_iterator it(roots.sysClassTty, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string folder = it->path().string();
        std::error_code linkError;
        if (!fs::is_symlink(folder + "/device", linkError) || IsPlaceholder(folder)) continue;
        if (PathExists(roots.devRoot + "/" + name)) keys.push_back(KeyOf(name));
    }
    std::sort(keys.begin(), keys.end());
    std::vector<std::string> names;
    for (const NaturalKey& key : keys) names.push_back(key.name);
    return names;
}

// The stable name of a device: its /dev/serial/by-id link when one exists (the first by name),
// else /dev/<name>.
std::string PreferredPath(const ComPortMapRoots& roots, const std::string& name) {
    const std::string node = roots.devRoot + "/" + name;
    const std::string resolvedNode = Canonical(node);
    std::vector<std::string> matches;
    std::error_code ec;
    fs::directory_iterator it(roots.devRoot + "/serial/by-id", ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        if (Canonical(it->path().string()) == resolvedNode) matches.push_back(it->path().string());
    }
    if (matches.empty()) return node;
    return *std::min_element(matches.begin(), matches.end());
}

bool IsNamed(const std::vector<MapLink>& links, const std::string& node, const std::string& preferred) {
    const std::string resolvedNode = Canonical(node);
    return std::any_of(links.begin(), links.end(), [&](const MapLink& link) {
        return link.target == node || link.target == preferred ||
               (!link.resolved.empty() && link.resolved == resolvedNode);
    });
}

// "COM<N>" for each link that may be opened, in number order.
std::vector<std::string> UsablePorts(const std::string& folder, std::vector<MapLink>& links) {
    SortByPort(links);
    std::vector<std::string> ports;
    for (const MapLink& link : links) {
        if (StateOf(folder, link.port, link.target) == ComPortMap::LinkState::Usable)
            ports.push_back(ComName(link.port));
    }
    return ports;
}

bool MakeMapFolder(const std::string& folder) {
    std::error_code ec;
    if (folder.empty()) return false;
    fs::create_directories(folder, ec);
    return !ec;
}

int LowestFreePort(const std::set<int>& used) {
    for (int port = kLowestComPort; port <= kHighestComPort; ++port) {
        if (!used.contains(port)) return port;
    }
    return 0;
}

}  // namespace

ComPortMap::ComPortMap(ComPortMapRoots roots) : m_roots(std::move(roots)) {}

std::string ComPortMap::DefaultFolder() {
    const std::string appData = AppDataFolder();
    return appData.empty() ? std::string() : appData + "/Kestrelan/QLX-DUO/ports";
}

ComPortMap ComPortMap::ForCurrentUser() {
    return ComPortMap(ComPortMapRoots{DefaultFolder()});
}

std::vector<std::string> ComPortMap::Enumerate() {
    std::vector<MapLink> links;
    if (!MakeMapFolder(m_roots.mapFolder)) return {};
    PruneEndedOwners(m_roots.mapFolder);
    if (!ReadLinks(m_roots.mapFolder, links)) return {};
    std::set<int> used;
    for (const MapLink& link : links) used.insert(link.port);
    const std::set<std::string> consoles = ConsoleDevices(m_roots);
    for (const std::string& name : PresentDevices(m_roots)) {
        const std::string node = m_roots.devRoot + "/" + name;
        const std::string preferred = PreferredPath(m_roots, name);
        if (consoles.contains(name) || IsNamed(links, node, preferred)) continue;
        const int port = LowestFreePort(used);
        if (port == 0 || !Register(port, preferred)) continue;
        used.insert(port);
        links.push_back({port, preferred, Canonical(preferred)});
    }
    return UsablePorts(m_roots.mapFolder, links);
}

std::vector<std::string> ComPortMap::Listed() const {
    std::vector<MapLink> links;
    if (m_roots.mapFolder.empty() || !ReadLinks(m_roots.mapFolder, links)) return {};
    return UsablePorts(m_roots.mapFolder, links);
}

std::vector<std::string> ComPortMap::Absent() const {
    std::vector<MapLink> links;
    if (m_roots.mapFolder.empty() || !ReadLinks(m_roots.mapFolder, links)) return {};
    SortByPort(links);
    std::vector<std::string> ports;
    for (const MapLink& link : links) {
        if (!link.target.empty() && !IsNetworkPortPath(link.target) && !PathExists(link.target))
            ports.push_back(ComName(link.port));
    }
    return ports;
}

std::vector<std::string> ComPortMap::UnnumberedConsoles() const {
    std::vector<MapLink> links;
    if (!m_roots.mapFolder.empty()) ReadLinks(m_roots.mapFolder, links);
    const std::set<std::string> consoles = ConsoleDevices(m_roots);
    std::vector<std::string> found;
    for (const std::string& name : PresentDevices(m_roots)) {
        const std::string node = m_roots.devRoot + "/" + name;
        if (consoles.contains(name) && !IsNamed(links, node, PreferredPath(m_roots, name)))
            found.push_back(node);
    }
    return found;
}

std::string ComPortMap::DevicePath(int port) const {
    const std::string target = LinkTarget(port);
    return StateOf(m_roots.mapFolder, port, target) == LinkState::Usable ? target : std::string();
}

ComPortMap::LinkState ComPortMap::State(int port) const {
    return StateOf(m_roots.mapFolder, port, LinkTarget(port));
}

std::string ComPortMap::LinkTarget(int port) const {
    return IsComPortNumber(port) && !m_roots.mapFolder.empty() ? platform::LinkTarget(m_roots.mapFolder, port)
                                                               : "";
}

bool ComPortMap::CanRegister(int port, const std::string& device) const {
    return IsComPortNumber(port) && !device.empty() && MakeMapFolder(m_roots.mapFolder);
}

// A link made aside and renamed over the old one: readers never see the number missing.
bool ComPortMap::PlaceLink(int port, const std::string& device) const {
    const std::string link = m_roots.mapFolder + "/" + LinkName(port);
    const std::string aside = m_roots.mapFolder + "/." + LinkName(port) + "." + std::to_string(getpid());
    unlink(aside.c_str());
    if (symlink(device.c_str(), aside.c_str()) != 0) return false;
    if (rename(aside.c_str(), link.c_str()) != 0) {
        unlink(aside.c_str());
        return false;
    }
    return true;
}

bool ComPortMap::Register(int port, const std::string& device) const {
    if (!CanRegister(port, device) || !PlaceLink(port, device)) return false;
    RemoveMark(m_roots.mapFolder, port);
    return true;
}

// The mark comes first, so the link is never seen without it.
bool ComPortMap::RegisterOwned(int port, const std::string& device) const {
    if (!CanRegister(port, device) || !WriteMark(m_roots.mapFolder, port, device)) return false;
    if (PlaceLink(port, device)) return true;
    RemoveMark(m_roots.mapFolder, port);
    return false;
}

bool ComPortMap::ClaimOwned(int port, const std::string& device) const {
    if (!CanRegister(port, device)) return false;
    PruneIfEnded(m_roots.mapFolder, port);
    struct stat st {};
    if (lstat((m_roots.mapFolder + "/" + LinkName(port)).c_str(), &st) == 0 || errno != ENOENT) return false;
    return RegisterOwned(port, device);
}

bool ComPortMap::UnregisterOwn(int port, const std::string& device) const {
    if (!IsComPortNumber(port) || m_roots.mapFolder.empty()) return false;
    const auto mark = ReadMark(m_roots.mapFolder, port);
    const bool own = mark && mark->pid == getpid() && StartTimeOf(getpid()) == mark->start &&
                     mark->device == device &&
                     ReadLinkText(m_roots.mapFolder + "/" + LinkName(port)) == device;
    return own && Unregister(port);
}

bool ComPortMap::Unregister(int port) const {
    if (!IsComPortNumber(port) || m_roots.mapFolder.empty()) return false;
    const std::string link = m_roots.mapFolder + "/" + LinkName(port);
    const bool removed = unlink(link.c_str()) == 0 || errno == ENOENT;
    RemoveMark(m_roots.mapFolder, port);
    return removed;
}

}  // namespace platform
