// SPDX-License-Identifier: MIT
#include "settings/iniacs.h"

#include <cstdio>

#include "platform/atomicfile.h"
#include "platform/profile.h"

namespace {

std::string DecimalText(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return text;
}

bool StartsWith(const std::string& line, const std::string& prefix) {
    return line.compare(0, prefix.size(), prefix) == 0;
}

// A key's line begins with the key name followed by nothing, "=", a blank or a tab; so "LeftX=1" is
// another key's line and is never taken for "Left".
bool IsKeyLine(const std::string& line, const std::string& key) {
    if (!StartsWith(line, key)) return false;
    if (line.size() == key.size()) return true;
    const char next = line[key.size()];
    return next == '=' || next == ' ' || next == '\t';
}

// Lines end at LF; a CR directly before the LF belongs to the line end. A last line without a
// line end is still a line.
std::vector<std::string> SplitLines(const std::string& contents) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < contents.size()) {
        size_t stop = contents.find('\n', pos);
        if (stop == std::string::npos) stop = contents.size();
        size_t textEnd = stop > pos && contents[stop - 1] == '\r' ? stop - 1 : stop;
        lines.push_back(contents.substr(pos, textEnd - pos));
        pos = stop + 1;
    }
    return lines;
}

}  // namespace

iniacs::iniacs() : mode(0), loaded(0) {}

iniacs::~iniacs() {
    if (loaded) SaveLines();
}

void iniacs::SetFile(const std::string& filePath, int fileMode) {
    path = filePath;
    mode = fileMode;
}

void iniacs::SetFile(const char* filePath, int fileMode) {
    SetFile(std::string(filePath ? filePath : ""), fileMode);
}

int iniacs::ReadInt(const char* section, const char* key) {
    return static_cast<int>(platform::GetPrivateProfileInt(section, key, -1, path.c_str()));
}

int iniacs::WriteInt(const char* section, const char* key, int value) {
    const std::string text = DecimalText(value);
    if (mode != 0) return EditValue(section, key, text.c_str());
    platform::WritePrivateProfileString(section, key, text.c_str(), path.c_str());
    return 1;
}

int iniacs::EditValue(const char* section, const char* key, const char* text) {
    if (!loaded) {
        if (!LoadLines()) return 0;
        loaded = 1;
    }
    int index = -1;
    bool keyFound = false;
    const std::string keyLine = std::string(key) + "=" + text;
    if (!FindEntry(section, key, index, keyFound)) {
        lines.push_back(std::string("[") + section + "]");
        lines.push_back(keyLine);
    } else if (keyFound) {
        lines[static_cast<size_t>(index)] = keyLine;
    } else {
        lines.insert(lines.begin() + index, keyLine);
    }
    return 1;
}

int iniacs::FindEntry(const char* section, const char* key, int& index, bool& keyFound) const {
    index = -1;
    keyFound = false;
    const std::string header = std::string("[") + section + "]";
    size_t at = 0;
    while (at < lines.size() && !StartsWith(lines[at], header)) ++at;
    if (at == lines.size()) return 0;
    for (++at; at < lines.size(); ++at) {
        keyFound = IsKeyLine(lines[at], key);
        if (keyFound || StartsWith(lines[at], "[")) break;
    }
    index = static_cast<int>(at);
    return 1;
}

int iniacs::LoadLines() {
    std::string contents;
    if (!platform::ReadWholeFileForUpdate(path, contents)) return 0;
    std::vector<std::string> read = SplitLines(contents);
    lines.insert(lines.end(), read.begin(), read.end());
    return 1;
}

void iniacs::SaveLines() {
    std::string contents;
    for (const std::string& line : lines) contents.append(line).append("\r\n");
    platform::ReplaceWholeFile(path, contents);
}
