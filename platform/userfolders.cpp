// SPDX-License-Identifier: MIT
// What the program's own file gives alike on every system. Plain string work, not
// std::filesystem::path: on Windows that pulls the C++ library's locale and stream machinery, a
// third of the window program's size, into every program for this one name.
#include "platform/userfolders.h"

namespace platform {

std::string FileStem(const std::string& path) {
    // npos + 1 is 0: a path without separators is its own last component.
    const std::string name = path.substr(path.find_last_of(kPathSeparators) + 1);
    if (name == "..") return name;
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string ExecutableBaseName() {
    return FileStem(ExecutablePath());
}

}  // namespace platform
