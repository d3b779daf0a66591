// SPDX-License-Identifier: MIT
#include "link/linetrace.h"

#include <chrono>
#include <cstdio>

namespace linetrace {

double NowMs() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double, std::milli>(since).count();
}

std::string EscapeBytes(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            text += "\\r";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\\') {
            text += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7f) {
            text += c;
        } else {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            text += escape;
        }
    }
    return text;
}

std::string FormatLine(double ms, std::string_view port, Direction direction, std::string_view bytes) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%.3f", ms);
    return FormatLine(std::string_view(stamp), port, direction, bytes);
}

std::string FormatLine(std::string_view stamp, std::string_view port, Direction direction,
                       std::string_view bytes) {
    static constexpr const char* kMarks[] = {"->", "<-", "--"};
    return std::string(stamp) + " " + EscapeBytes(port) + " " + kMarks[static_cast<int>(direction)] + " " +
           EscapeBytes(bytes) + "\n";
}

}  // namespace linetrace
