#include "platform/comportmap.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "platform/userfolders.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

std::string LinkName(int port) {
    return "com" + std::to_string(port);
}

// "com7" -> 7; 0 for anything that is not exactly com<1..255> without leading zeros.
int PortOfLinkName(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 || !name.starts_with("com") || name[3] == '0') return 0;
    int port = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9') return 0;
        port = port * 10 + (c - '0');
    }
    return IsComPortNumber(port) ? port : 0;
}

std::string ReadLinkText(const std::string& path) {
    std::error_code ec;
    fs::path target = fs::read_symlink(path, ec);
    return ec ? std::string() : target.string();
}

// A link's target as a path that can be opened from anywhere (relative targets are relative to
// the link's folder).
std::string AbsoluteTarget(const std::string& folder, const std::string& target) {
    if (target.empty() || target[0] == '/') return target;
    return folder + "/" + target;
}

std::string Canonical(const std::string& path) {
    std::error_code ec;
    fs::path resolved = fs::canonical(path, ec);
    return ec ? std::string() : resolved.string();
}

std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// One link of the map: the number it holds and where it points.
struct MapLink {
    int port;
    std::string target;    // absolute target text; may dangle
    std::string resolved;  // canonical target; empty while it dangles
};

// Reads every com<N> entry; false when the folder cannot be read. Entries that are not links
// still hold their number, since no link can be made there.
bool ReadLinks(const std::string& folder, std::vector<MapLink>& links) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const int port = PortOfLinkName(name);
        if (port == 0) continue;
        const std::string target = AbsoluteTarget(folder, ReadLinkText(it->path().string()));
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
    if (!MakeMapFolder(m_roots.mapFolder) || !ReadLinks(m_roots.mapFolder, links)) return {};
    std::set<int> used;
    for (const MapLink& link : links) used.insert(link.port);
    for (const std::string& name : PresentDevices(m_roots)) {
        const std::string node = m_roots.devRoot + "/" + name;
        const std::string preferred = PreferredPath(m_roots, name);
        if (IsNamed(links, node, preferred)) continue;
        const int port = LowestFreePort(used);
        if (port == 0 || !Register(port, preferred)) continue;
        used.insert(port);
        links.push_back({port, preferred, Canonical(preferred)});
    }
    std::sort(links.begin(), links.end(), [](const MapLink& a, const MapLink& b) { return a.port < b.port; });
    std::vector<std::string> ports;
    for (const MapLink& link : links) {
        if (PathExists(link.target)) ports.push_back("COM" + std::to_string(link.port));
    }
    return ports;
}

std::string ComPortMap::DevicePath(int port) const {
    const std::string target = LinkTarget(port);
    return PathExists(target) ? target : std::string();
}

std::string ComPortMap::LinkTarget(int port) const {
    if (!IsComPortNumber(port) || m_roots.mapFolder.empty()) return {};
    return AbsoluteTarget(m_roots.mapFolder, ReadLinkText(m_roots.mapFolder + "/" + LinkName(port)));
}

bool ComPortMap::Register(int port, const std::string& device) const {
    if (!IsComPortNumber(port) || device.empty() || !MakeMapFolder(m_roots.mapFolder)) {
        return false;
    }
    // A link made aside and renamed over the old one: readers never see the number missing.
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

bool ComPortMap::Unregister(int port) const {
    if (!IsComPortNumber(port) || m_roots.mapFolder.empty()) return false;
    const std::string link = m_roots.mapFolder + "/" + LinkName(port);
    return unlink(link.c_str()) == 0 || errno == ENOENT;
}

}  // namespace platform
