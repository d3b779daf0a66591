// SPDX-License-Identifier: MIT
#pragma once
// The one rule for text that the tool prints: whatever a unit, an adapter's descriptor, a port map
// link or a command line holds, no byte of it can move the cursor, clear the screen, ring the bell,
// reorder the line or start a formula. Every line of text and every message in JSON goes through
// it; JSON itself escapes the same characters in its own way.

#include <string>
#include <string_view>

namespace cli {

// The text with each control character (C0, DEL, C1 U+0080 to U+009F and the bidirectional
// controls U+202A to U+202E and U+2066 to U+2069) written as \uNNNN, as JSON writes it, and each
// byte that is no part of a UTF-8 character as \xNN. Every other character stays as it is, so
// Printable(Printable(text)) is Printable(text).
std::string Printable(std::string_view text);

}  // namespace cli
