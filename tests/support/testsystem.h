// SPDX-License-Identifier: MIT
#pragma once
// What the shared test support asks of the operating system; one implementation per system
// (testenv_linux.cpp, testenv_win32.cpp).

#include <optional>
#include <string>

namespace testenv::system {

// The folder that temporary test roots are made in.
std::string TemporaryFolder();
// Makes a new folder with a unique name inside parent and returns its path; throws on failure.
std::string MakeUniqueFolder(const std::string& parent);

void SetVariable(const char* name, const std::optional<std::string>& value);

// True when permission bits do not stop this process (root on Linux; always on Windows, which has
// none), and why, for the skip note.
bool IgnoresPermissionBits();
std::string PermissionBitsNote();

// Run once by the shared main before any test: the program's per-user folders inside root, and
// anything else the system needs so that a test program reports its failures.
void IsolateProgram(const std::string& root);

}  // namespace testenv::system
