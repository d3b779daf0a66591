#pragma once
// The private-profile functions: integer reads and string writes of INI files, behaving as the
// Windows functions of the same names do, so that files written there read the same here.

namespace platform {

// The value of key in section of the INI file at path, or defaultValue when the file, the section
// or the key is absent or the value is empty. Parsed as Windows does; wraps modulo 2^32. A path
// that is not a regular file, or a file larger than kMaxFileSize (atomicfile.h), reads as absent.
unsigned GetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* path);

// Stores value as key's value in section, creating the file, section or key where absent, and
// leaving every other byte of the file as it was. The file is replaced atomically and is on disk
// when this returns (written in place in the cases ReplaceWholeFile names). False when the file
// cannot be written, and for a path that is not a regular file or a file larger than
// kMaxFileSize: nothing is then changed.
bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* path);

}  // namespace platform
