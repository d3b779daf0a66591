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

// Where a dialog base keeps its settings file: found (its folder made) when the window is
// initialised, empty until then and after a failure. A window system's dialog base (CDialogKn2)
// derives from it, restores and saves its window's position, and shows the failure message in its
// message box.
class CSettingsLocation {
public:
    // subFolder: below the per-user application-data folder, "\" separated (null: none).
    explicit CSettingsLocation(const char* subFolder)
        : m_appSubFolder(subFolder != nullptr ? subFolder : "") {}
    virtual ~CSettingsLocation() = default;

    // Empty until the settings folder was found or made.
    const std::string& SettingsFilePath() const { return m_settingsFilePath; }

protected:
    // The dialog base's part of the window's initialisation, once its controls are bound: finds or
    // makes the settings folder below the per-user application-data folder, names the file after
    // the program, then restores the window's position from it. False after the failure message;
    // the window then stays where it stands.
    bool LocateSettingsAndRestorePosition();

    virtual void LoadWindowPos(const std::string& path) = 0;
    // A message box with OK only, the application's name as caption and the exclamation icon.
    virtual void ShowFailureMessage(const std::string& message) = 0;

private:
    std::string m_appSubFolder;
    std::string m_settingsFilePath;
};
