// SPDX-License-Identifier: MIT
#pragma once
// The private-profile functions: integer reads and string writes of INI files. On Windows they
// are the system's own functions; on Linux a stand-in behaves as those do, so that files written
// there read the same here. On both, the settings-file checks of atomicfile.h come first.

namespace platform {

// The value of key in section of the INI file at path, or defaultValue when the file, the section
// or the key is absent or the value is empty. Parsed as Windows does; wraps modulo 2^32. A path
// that is not a regular file, or a file larger than kMaxFileSize (atomicfile.h), reads as absent;
// so does an empty path.
unsigned GetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* path);

// Stores value as key's value in section, creating the file, section or key where absent. False
// when the file cannot be written, for an empty path, and for a path that is not a regular file or
// a file larger than kMaxFileSize: nothing is then changed.
//
// On Linux every other byte of the file stays as it was, an unchanged value is not written again,
// and the file is replaced atomically and is on disk when this returns (written in place in the
// cases ReplaceWholeFile names). On Windows the system writes the file as it always does.
bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* path);

}  // namespace platform
