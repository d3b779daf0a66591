// SPDX-License-Identifier: MIT
#pragma once
// Every text the status line and the firmware label can show, so a window can check that each one
// fits its label whole. Free of any window system.

#include <string>
#include <vector>

#include "link/statustexts.h"
#include "ports/comportmap.h"

namespace labeltexts {

// The template's first text, every status of the connection workflow, and the open failure for
// every COM number.
inline std::vector<std::string> StatusLineTexts() {
    std::vector<std::string> texts = {
        "切断中",
        status::kNotInSettingMode,
        status::kCommunicationError,
        status::kReadFailed,
        status::kReadSucceeded,
        status::kWriteFailed,
        status::kWriteSucceeded,
        status::kNormalModeOn,
        status::kNormalModeFailed,
        status::kDisconnected,
    };
    for (int port = platform::kLowestComPort; port <= platform::kHighestComPort; ++port)
        texts.push_back(status::OpenFailedText(port));
    return texts;
}

// "V" and a firmware version as the unit reports it: a digit, a point and two digits.
inline std::vector<std::string> FirmwareLabelTexts() {
    std::vector<std::string> texts;
    for (int number = 0; number <= 999; ++number) {
        const std::string digits = std::to_string(1000 + number).substr(1);
        texts.push_back("V" + digits.substr(0, 1) + "." + digits.substr(1));
    }
    return texts;
}

}  // namespace labeltexts
