// SPDX-License-Identifier: MIT
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomicfile.h"
#include "platform/profile.h"

// The file is taken as Windows reads INI files: lines end in CR LF, LF or CR alone; leading and
// trailing blanks are ignored; names compare without regard to letter case. Writes change only the
// bytes of the one line they target, so everything else a user or another program put in the file
// survives exactly.

namespace platform {
namespace {

constexpr size_t kNone = std::string_view::npos;

struct Line {
    size_t begin;
    size_t textEnd;  // where the line end starts
    size_t end;      // after the line end
};

enum class LineKind { Blank, Comment, Header, Key };

struct ParsedLine {
    LineKind kind;
    std::string_view name;
    std::string_view value;
};

// Where a key is, or where it would go.
struct Location {
    bool sectionFound = false;
    size_t keyLine = kNone;
    size_t lastNonBlank = kNone;
    std::string_view value;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char FoldCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    return true;
}

std::vector<Line> SplitLines(const std::string& contents) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < contents.size()) {
        size_t stop = contents.find_first_of("\r\n", pos);
        if (stop == std::string::npos) {
            lines.push_back({pos, contents.size(), contents.size()});
            break;
        }
        size_t end = stop + 1;
        if (contents[stop] == '\r' && end < contents.size() && contents[end] == '\n') ++end;
        lines.push_back({pos, stop, end});
        pos = end;
    }
    return lines;
}

ParsedLine ParseLine(std::string_view text) {
    text = Trim(text.substr(0, text.find('\0')));
    if (text.empty()) return {LineKind::Blank, {}, {}};
    if (text.front() == ';') return {LineKind::Comment, {}, {}};
    size_t close = text.front() == '[' ? text.find(']') : kNone;
    if (close != kNone) return {LineKind::Header, Trim(text.substr(1, close - 1)), {}};
    size_t equals = text.find('=');
    if (equals == kNone) return {LineKind::Key, text, {}};
    return {LineKind::Key, Trim(text.substr(0, equals)), Trim(text.substr(equals + 1))};
}

// The first key line of key in the first section named section; a later copy of the section is
// not searched.
Location Locate(const std::string& contents, const std::vector<Line>& lines, std::string_view section,
                std::string_view key) {
    Location at;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        ParsedLine parsed =
            ParseLine(std::string_view(contents).substr(line.begin, line.textEnd - line.begin));
        if (parsed.kind == LineKind::Header) {
            if (at.sectionFound) break;
            at.sectionFound = EqualsIgnoringCase(parsed.name, section);
            if (at.sectionFound) at.lastNonBlank = i;
            continue;
        }
        if (!at.sectionFound || parsed.kind == LineKind::Blank) continue;
        at.lastNonBlank = i;
        if (parsed.kind == LineKind::Key && EqualsIgnoringCase(parsed.name, key)) {
            at.keyLine = i;
            at.value = parsed.value;
            break;
        }
    }
    return at;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return -1;
}

unsigned RadixOf(std::string_view& text) {
    if (text.size() < 2 || text[0] != '0') return 10;
    const unsigned radix = text[1] == 'x' ? 16 : text[1] == 'o' ? 8 : text[1] == 'b' ? 2 : 0;
    if (radix != 0) text.remove_prefix(2);
    return radix != 0 ? radix : 10;
}

// Sign, optional radix prefix and digits up to the first character that is not one; wraps
// modulo 2^32 as Windows does.
unsigned ParseInteger(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
    const unsigned radix = RadixOf(text);
    unsigned result = 0;
    for (char c : text) {
        int digit = DigitValue(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= radix) break;
        result = result * radix + static_cast<unsigned>(digit);
    }
    return negative ? 0u - result : result;
}

// Puts text directly after line, giving the line a line end first when it has none.
void InsertAfter(std::string& contents, const Line& line, const std::string& text) {
    contents.insert(line.end, line.end == line.textEnd ? "\r\n" + text : text);
}

void AppendSection(std::string& contents, std::string_view section, const std::string& keyLine) {
    if (!contents.empty() && contents.back() != '\n' && contents.back() != '\r') contents += "\r\n";
    contents.append("[").append(section).append("]\r\n").append(keyLine);
}

}  // namespace

unsigned GetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* path) {
    const unsigned fallback = static_cast<unsigned>(defaultValue);
    std::string contents;
    if (section == nullptr || key == nullptr || path == nullptr ||
        ReadWholeFile(path, contents) != FileRead::Read)
        return fallback;
    const Location at = Locate(contents, SplitLines(contents), section, key);
    if (at.keyLine == kNone) return fallback;
    const std::string_view value = Unquote(at.value);
    return value.empty() ? fallback : ParseInteger(value);
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* path) {
    if (section == nullptr || key == nullptr || value == nullptr || path == nullptr || *path == '\0')
        return false;
    std::string contents;
    const FileRead read = ReadWholeFile(path, contents);
    if (read != FileRead::Read && read != FileRead::Absent) return false;
    std::string_view text(value);
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    const std::string keyLine = std::string(key).append("=").append(text);
    const std::vector<Line> lines = SplitLines(contents);
    const Location at = Locate(contents, lines, section, key);
    if (at.keyLine != kNone) {
        if (at.value == text) return true;
        const Line& line = lines[at.keyLine];
        contents.replace(line.begin, line.textEnd - line.begin, keyLine);
    } else if (at.sectionFound) {
        InsertAfter(contents, lines[at.lastNonBlank], keyLine + "\r\n");
    } else {
        AppendSection(contents, section, keyLine + "\r\n");
    }
    return ReplaceWholeFile(path, contents);
}

}  // namespace platform
