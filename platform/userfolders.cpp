// SPDX-License-Identifier: MIT
// What the program's own file gives alike on every system.
#include <filesystem>

#include "platform/userfolders.h"

namespace platform {

std::string ExecutableBaseName() {
    const std::string path = ExecutablePath();
    // Through UTF-8: Windows would read a char path in its ANSI code page. stem() splits at the
    // system's separators and keeps a leading dot, as a name like ".qlxduo" has no extension.
    const std::u8string stem =
        std::filesystem::path(std::u8string(path.begin(), path.end())).stem().u8string();
    return std::string(stem.begin(), stem.end());
}

}  // namespace platform
