// SPDX-License-Identifier: MIT
#pragma once
// What a record of work carries and where it goes: the time on the wall clock with its zone, the
// name of this computer, and a record appended to a file durably and whole, so that a crash, a
// power cut or a full disk loses no record already reported and leaves no record in pieces.

#include <cstdint>
#include <string>

namespace platform {

// Now, in ISO 8601 with milliseconds and the local zone's offset: "2026-12-09T13:05:42.317+01:00".
std::string WallClockTime();

// This computer's name; empty when the system gives none.
std::string HostName();

// Appends one record, text, to the file at path (UTF-8; created when absent) in one write, and
// flushes it to disk before returning. A file that ends without a line end (a record cut short
// elsewhere) first gets one, the record's own (CR LF or LF). A record that cannot be written whole
// (a full disk, the file size limit) is taken back: the file is cut to its size before it. Empty,
// or why it failed; sizeBefore, when given, learns that size, for TakeBackRecord. An empty text
// only makes sure the file can be opened for it.
std::string AppendRecord(const std::string& path, const std::string& text,
                         std::uint64_t* sizeBefore = nullptr);

// Cuts the file at path back to size and flushes it to disk: a record kept in one file is taken
// back when another could not keep it. Empty, or why it failed.
std::string TakeBackRecord(const std::string& path, std::uint64_t size);

// Whether the file at path is absent or empty: a CSV file then begins with its header.
bool FileIsEmpty(const std::string& path);

}  // namespace platform
