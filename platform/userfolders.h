// SPDX-License-Identifier: MIT
#pragma once
// Per-user folders and the program's own file: what the application-data folder, the
// executable's path and the file-status lookup give on Windows.

#include <string>

namespace platform {

// The per-user application-data folder: $XDG_CONFIG_HOME, else $HOME/.config.
// Empty when neither variable is set (the caller reports that as a failure).
std::string AppDataFolder();

// Full path of the running executable; empty when it cannot be found.
std::string ExecutablePath();

// The executable's file name without its extension ("qlxduo" for /usr/bin/qlxduo).
std::string ExecutableBaseName();

// The characters that separate a path's folders: "/" on Linux, "\\/" on Windows.
extern const char* const kPathSeparators;

// A path's last component without its extension (what follows its last dot). A leading dot starts
// the name, not an extension, so ".qlxduo" stays whole; "." and ".." stay too.
std::string FileStem(const std::string& path);

// True when a file or folder of that name exists (links are followed).
bool PathExists(const std::string& path);

// Makes one folder level; false when it cannot be made.
bool MakeFolder(const std::string& path);

}  // namespace platform
