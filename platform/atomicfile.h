#pragma once
// Whole-file access for the settings file: reading it in one piece, and replacing it in one piece
// so that a crash or a kill at any moment leaves either the old contents or the new ones.

#include <string>

namespace platform {

enum class FileRead { Read, Absent, Failed };

// Reads the whole file at path into contents. Absent when there is no such file (or no folder);
// Failed on any other error, also part-way through. Contents are only changed on Read.
FileRead ReadWholeFile(const std::string& path, std::string& contents);

// Opens the file at path for reading and writing, creating it empty when absent, and reads it
// whole; so a file that may not be written fails here, before anything is edited. False on any
// failure, also part-way through; contents are then unchanged.
bool ReadWholeFileForUpdate(const std::string& path, std::string& contents);

// Replaces the file at path with contents: a temporary file in the same folder is written, flushed
// to disk, given the old file's permission bits and renamed over the file, then the folder is
// flushed. A symbolic link is kept and its target replaced. A file that may not be written is
// refused. On any failure the temporary file is removed, the old contents stay byte for byte and
// the result is false.
bool ReplaceWholeFile(const std::string& path, const std::string& contents);

}  // namespace platform
