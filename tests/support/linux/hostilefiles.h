// SPDX-License-Identifier: MIT
#pragma once
// The things that can stand where a program expects a small file of its own (a settings file, a
// configuration file, a unit's state): a FIFO, a socket, devices, a folder, links to them, and
// files past a size limit. One catalogue, which every reader's test walks.

#include <functional>
#include <string>
#include <vector>

namespace testenv {

struct HostileFile {
    const char* name;
    // Makes it at path, with what it needs (a FIFO a link names) beside it in folder; false when
    // it cannot be made here (devices need root).
    std::function<bool(const std::string& folder, const std::string& path)> make;
};

// The catalogue. overLimit is the whole contents of a file just past the reader's size limit;
// sparseStart starts a sparse file of 1 GiB. Both should read as acceptable if they were read, so
// that a reader that does not refuse them shows.
std::vector<HostileFile> HostileFiles(const std::string& overLimit, const std::string& sparseStart);

// Makes each in a fresh temporary folder, as "<folder>/file", and runs check on it under the
// entry's name (SCOPED_TRACE). Returns what could not be made here, as a note for GTEST_SKIP once
// the test is through; empty when every entry ran.
std::string ForEachHostileFile(
    const std::vector<HostileFile>& files,
    const std::function<void(const std::string& folder, const std::string& path)>& check);

}  // namespace testenv
