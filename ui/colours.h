// SPDX-License-Identifier: MIT
#pragma once
// The colours the main window paints its labels in, as 0x00BBGGRR values (a Windows COLORREF: red
// in the low byte), and which outcome shows in which. Free of any window system.

#include <cstdint>

#include "ui/windowops.h"

namespace colours {

using ColourRef = std::uint32_t;

constexpr ColourRef FromRgb(int red, int green, int blue) {
    return static_cast<ColourRef>(red & 0xFF) | static_cast<ColourRef>(green & 0xFF) << 8 |
           static_cast<ColourRef>(blue & 0xFF) << 16;
}
constexpr int Red(ColourRef colour) {
    return static_cast<int>(colour & 0xFF);
}
constexpr int Green(ColourRef colour) {
    return static_cast<int>(colour >> 8 & 0xFF);
}
constexpr int Blue(ColourRef colour) {
    return static_cast<int>(colour >> 16 & 0xFF);
}

inline constexpr ColourRef kBlack = FromRgb(0, 0, 0);
inline constexpr ColourRef kGreen = FromRgb(0, 255, 0);
inline constexpr ColourRef kRed = FromRgb(255, 0, 0);
inline constexpr ColourRef kYellow = FromRgb(255, 255, 0);

// The status line: text in the outcome's colour on black.
inline constexpr ColourRef kStatusBackground = kBlack;
constexpr ColourRef StatusColour(StatusOutcome outcome) {
    switch (outcome) {
        case StatusOutcome::Success:
            return kGreen;
        case StatusOutcome::Failure:
            return kRed;
        case StatusOutcome::Neutral:
            break;
    }
    return kYellow;
}

// The firmware label while it shows a version (cleared, it takes the system's button face).
inline constexpr ColourRef kFirmwareHighlight = kGreen;

}  // namespace colours
