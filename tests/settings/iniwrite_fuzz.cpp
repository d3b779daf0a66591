// SPDX-License-Identifier: MIT
// Arbitrary file contents through both write paths of the settings file. Checks, besides the
// sanitizers: every line of the old file that the write did not target is still there, in order,
// a private-profile write reads back as written, and the key's line is what each writer promises.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "settings/iniacs.h"

namespace {

const char* const kSections[] = {"System", "com", "S", "system"};
const char* const kKeys[] = {"Left", "Top", "com", "L"};

// A folder of its own for the whole run, removed at exit; in memory where there is such a file
// system, since every write is flushed to disk.
class Folder {
public:
    Folder() {
        const char* parent = getenv("TMPDIR")                ? getenv("TMPDIR")
                             : access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                                                             : "/tmp";
        std::string pattern = std::string(parent) + "/iniwrite-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) abort();
        m_path = pattern;
    }
    ~Folder() {
        unlink(File().c_str());
        rmdir(m_path.c_str());
    }
    std::string File() const { return m_path + "/f.ini"; }

private:
    std::string m_path;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Lines as the writer sees them: the private-profile functions end lines at CR LF, LF or CR; the
// line editor at LF, a CR before it belonging to the line end.
std::vector<std::string> Lines(const std::string& text, bool profile) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t stop = text.find_first_of(profile ? "\r\n" : "\n", pos);
        if (stop == std::string::npos) stop = text.size();
        size_t end = stop + 1;
        if (profile && stop < text.size() && text[stop] == '\r' && end < text.size() && text[end] == '\n')
            ++end;
        if (!profile && stop > pos && text[stop - 1] == '\r') --stop;
        lines.push_back(text.substr(pos, stop - pos));
        pos = end;
    }
    return lines;
}

// Whether line may be the key's line that the write replaced: for the private-profile functions
// the name before "=" without blanks, in any letter case; for the line editor the exact name
// followed by nothing, "=", a blank or a tab.
bool IsKeyLine(std::string line, const char* key, bool profile) {
    const size_t length = strlen(key);
    if (!profile) {
        return line.compare(0, length, key) == 0 &&
               (line.size() == length || memchr("= \t", line[length], 3) != nullptr);
    }
    line = line.substr(0, line.find('\0'));
    line = line.substr(0, line.find('='));
    const size_t first = line.find_first_not_of(" \t"), last = line.find_last_not_of(" \t");
    return first != std::string::npos && last - first + 1 == length &&
           strncasecmp(line.c_str() + first, key, length) == 0;
}

// The write replaces at most one line, which must be a line of the key, and inserts lines at one
// place; so the common head and tail of old and new must cover all old lines but that one.
void CheckLinesKept(const std::string& before, const std::string& after, bool profile, const char* key) {
    const auto old = Lines(before, profile), now = Lines(after, profile);
    size_t head = 0;
    while (head < old.size() && head < now.size() && old[head] == now[head]) ++head;
    size_t tail = 0;
    while (tail < old.size() - head && tail < now.size() - head &&
           old[old.size() - 1 - tail] == now[now.size() - 1 - tail])
        ++tail;
    const size_t lost = old.size() - head - tail;
    if (lost > 1 || (lost == 1 && !IsKeyLine(old[head], key, profile))) abort();
}

// The line editor always leaves "<key>=<value>" as a line of its own. The private-profile write
// leaves a file that already holds the value alone, whatever the letter case of its key line and
// the blanks around "=" (the read-back shows the value); when it changes the file, it writes that
// line too.
void CheckKeyLine(const std::string& before, const std::string& after, bool profile,
                  const std::string& keyLine) {
    if (profile && after == before) return;
    const auto lines = Lines(after, profile);
    if (std::find(lines.begin(), lines.end(), keyLine) == lines.end()) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Folder folder;
    if (size < 5) return 0;
    const bool profile = data[0] & 1;
    const char* section = kSections[(data[0] >> 1) & 3];
    const char* key = kKeys[(data[0] >> 3) & 3];
    int32_t value;
    memcpy(&value, data + 1, sizeof value);
    const std::string before(reinterpret_cast<const char*>(data + 5), size - 5);
    const std::string path = folder.File();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << before;

    if (profile) {
        if (!platform::WritePrivateProfileString(section, key, std::to_string(value).c_str(), path.c_str()))
            abort();
        if (static_cast<int32_t>(platform::GetPrivateProfileInt(section, key, -1, path.c_str())) != value)
            abort();
    } else {
        iniacs ini;
        ini.SetFile(path, 1);
        if (ini.WriteInt(section, key, value) != 1) abort();
    }
    const std::string after = ReadAll(path);
    CheckLinesKept(before, after, profile, key);
    CheckKeyLine(before, after, profile, std::string(key) + "=" + std::to_string(value));
    return 0;
}
