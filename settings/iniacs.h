// SPDX-License-Identifier: MIT
#pragma once
// iniacs: the one gateway to the settings file. Reads integers through the private-profile
// function; writes either at once through the private-profile function (profile mode, 0) or into
// an in-memory copy of the file's lines that is written back when the accessor is destroyed
// (line-editor mode, 1). Made on the caller's stack for one settings operation. A path that is
// not a regular file, or a file larger than platform::kMaxFileSize, reads as absent and is never
// written by either mode.

#include <string>
#include <vector>

class iniacs {
public:
    iniacs();
    virtual ~iniacs();
    iniacs(const iniacs&) = delete;
    iniacs& operator=(const iniacs&) = delete;

    void SetFile(const std::string& filePath, int fileMode);
    void SetFile(const char* filePath, int fileMode);  // null: empty path

    int ReadInt(const char* section, const char* key);
    int WriteInt(const char* section, const char* key, int value);

private:
    int EditValue(const char* section, const char* key, const char* text);
    int FindEntry(const char* section, const char* key, int& index, bool& keyFound) const;
    int LoadLines();
    void SaveLines();

    std::string path;
    int mode;
    int loaded;
    std::vector<std::string> lines;
};
