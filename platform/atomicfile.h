// SPDX-License-Identifier: MIT
#pragma once
// Whole-file access for the settings file: reading it in one piece, and replacing it in one piece
// so that a crash or a kill at any moment leaves either the old contents or the new ones.
//
// Only a regular file (a link is followed to what it names) of at most kMaxFileSize bytes is ever
// read or written. Anything else at the path (a FIFO, a socket, a device, a folder) or a larger
// file is refused by every function here: it is never opened in a way that can block, never read
// past the limit, never written and never replaced.

#include <cstddef>
#include <string>

namespace platform {

// A settings file holds a handful of lines; this is generous.
constexpr std::size_t kMaxFileSize = 1024 * 1024;

enum class FileRead {
    Read,     // contents hold the whole file
    Absent,   // no such file (or no folder)
    Refused,  // not a regular file, or larger than kMaxFileSize
    Failed,   // any other error, also part-way through
};

// Reads the whole file at path into contents. Contents are only changed on Read.
FileRead ReadWholeFile(const std::string& path, std::string& contents);

// Opens the file at path for reading and writing, creating it empty when absent, and reads it
// whole; so a file that may not be written fails here, before anything is edited. False on any
// failure, also part-way through, and for a file that ReadWholeFile refuses; contents are then
// unchanged.
bool ReadWholeFileForUpdate(const std::string& path, std::string& contents);

// Replaces the file at path with contents: a temporary file in the same folder is written, flushed
// to disk and put in place of the file in one step. A file that may not be written (Windows: one
// marked read-only) is refused. On any failure the temporary file is removed, the old contents
// stay byte for byte and the result is false.
//
// Linux: the temporary file is given the old file's owner, group and permission bits and renamed
// over the file, then the folder is flushed; a symbolic link is kept and its target replaced.
// Windows: ReplaceFileW keeps the old file's attributes and security.
//
// Written in place instead (emptied, written, flushed; not proof against a crash, but the only way
// to keep the edit): when the folder refuses a new file while the file itself may be written, and
// on Linux when the temporary file cannot be given the old file's owner and group (replacing would
// hand another user's file to this one). A failed write in place puts the old contents back.
//
// A save killed part-way leaves its temporary file behind. Linux: those of writers that no longer
// run are removed after a replace, those of running processes are never touched. Windows: the
// temporary file has one fixed name per settings file, so there is at most one, and the next save
// takes it over.
bool ReplaceWholeFile(const std::string& path, const std::string& contents);

}  // namespace platform
