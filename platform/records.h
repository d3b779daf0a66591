// SPDX-License-Identifier: MIT
#pragma once
// What a record of work carries and where it goes: the time on the wall clock with its zone, the
// name of this computer, and a record appended to a file durably, so that a crash or a power cut
// loses no record already reported.

#include <string>

namespace platform {

// Now, in ISO 8601 with milliseconds and the local zone's offset: "2026-12-09T13:05:42.317+01:00".
std::string WallClockTime();

// This computer's name; empty when the system gives none.
std::string HostName();

// Appends text to the file at path (UTF-8; created when absent) in one write, and flushes it to
// disk before returning. Empty, or why it failed.
std::string AppendDurably(const std::string& path, const std::string& text);

// Whether the file at path is absent or empty: a CSV file then begins with its header.
bool FileIsEmpty(const std::string& path);

}  // namespace platform
