// SPDX-License-Identifier: MIT
#include "tools/printable.h"

#include <cstdio>

namespace cli {
namespace {

// One UTF-8 character at the start of text: its code point and length; length 0 when the bytes
// are none (a stray continuation byte, a character cut short, an overlong form, a surrogate or a
// code point beyond U+10FFFF).
struct Decoded {
    char32_t point = 0;
    size_t length = 0;
};

Decoded Decode(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) return {lead, 1};
    const size_t length = lead >= 0xf8 ? 0 : lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 0;
    if (length == 0 || length > text.size()) return {};
    char32_t point = lead & (0x7f >> length);
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xc0) != 0x80) return {};
        point = (point << 6) | (next & 0x3f);
    }
    constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool surrogate = point >= 0xd800 && point <= 0xdfff;
    if (point < kShortest[length] || surrogate || point > 0x10ffff) return {};
    return {point, length};
}

bool IsControl(char32_t point) {
    return point < 0x20 || (point >= 0x7f && point <= 0x9f) || (point >= 0x202a && point <= 0x202e) ||
           (point >= 0x2066 && point <= 0x2069);
}

std::string Escape(const char* format, unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

std::string Printable(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    while (!text.empty()) {
        const Decoded c = Decode(text);
        if (c.length == 0) {
            shown += Escape("\\x%02X", static_cast<unsigned char>(text[0]));
            text.remove_prefix(1);
            continue;
        }
        if (IsControl(c.point))
            shown += Escape("\\u%04x", static_cast<unsigned>(c.point));
        else
            shown += text.substr(0, c.length);
        text.remove_prefix(c.length);
    }
    return shown;
}

}  // namespace cli
