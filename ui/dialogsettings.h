// SPDX-License-Identifier: MIT
#pragma once
// What the dialog base keeps outside the window system: where the settings file lives (its folder
// made level by level), the window position stored in it, and fitting a position into the work
// area.

#include <string>

namespace dlgsettings {

enum class LocateResult { Found, NoAppDataFolder, FolderNotMade };

// The message box text for a failure; nullptr for Found.
const char* LocateFailureMessage(LocateResult result);

struct SettingsLocation {
    LocateResult result;
    std::string filePath;  // empty unless found
};

// The settings file <appData>/<subFolder>/<baseName>.ini. The sub-folder is given with "\" as
// separators ("Kestrelan\QLX-DUO\"). Missing folder levels below appData are made one by one.
SettingsLocation LocateSettingsFile(const std::string& appDataFolder, const std::string& subFolder,
                                    const std::string& baseName);

// Left and Top of section "System"; -1 for a key that is absent (or an empty path).
struct StoredPosition {
    int left;
    int top;
};
StoredPosition ReadWindowPos(const std::string& settingsPath);
// Edits Left and Top in the file's lines and writes the file back; an empty path writes nothing.
void WriteWindowPos(const std::string& settingsPath, int left, int top);

// Where the window goes: the stored edge, or the current one where nothing (-1) is stored.
struct Position {
    int x;
    int y;
    bool operator==(const Position&) const = default;
};
Position PositionToRestore(const StoredPosition& stored, Position current);

// A window edge along one axis, kept inside [low, high): a window that does not fit is centred in
// the range. A window touching high exactly stays.
int FitIntoRange(int position, int size, int low, int high);
// The edge that centres a window of that size in [low, high).
int CentreInRange(int size, int low, int high);

// The desktop's work area; right and bottom are exclusive.
struct WorkArea {
    int left;
    int top;
    int right;
    int bottom;
};
// FitIntoRange on each axis on its own, for the window's outer (framed) size.
Position FitIntoWorkArea(Position position, int width, int height, const WorkArea& work);
// Where a window of that outer size stands centred in the work area.
Position CentredInWorkArea(int width, int height, const WorkArea& work);

}  // namespace dlgsettings
