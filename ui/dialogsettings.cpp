// SPDX-License-Identifier: MIT
#include "ui/dialogsettings.h"

#include <algorithm>

#include "platform/userfolders.h"
#include "settings/iniacs.h"

namespace dlgsettings {
namespace {

constexpr const char* kSection = "System";
constexpr const char* kLeftKey = "Left";
constexpr const char* kTopKey = "Top";

constexpr const char* kNoAppDataMessage =
    "Windowsのバージョンの取得もしくは\r\nアプリケーションフォルダの取得に失敗しました。";
constexpr const char* kFolderNotMadeMessage = "ユーザアプリケーションフォルダの生成に失敗しました。";

std::string WithSlashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// Makes the levels of folder below appData that do not exist yet, top down.
bool MakeLevels(const std::string& appData, const std::string& folder) {
    const std::string target = folder.ends_with('/') ? folder : folder + "/";
    std::string current = appData;
    size_t position = appData.size();
    while (current + "/" != target) {
        position = target.find('/', position + 1);
        if (position == std::string::npos) return true;
        current = target.substr(0, position);
        if (!platform::PathExists(current) && !platform::MakeFolder(current)) return false;
    }
    return true;
}

}  // namespace

const char* LocateFailureMessage(LocateResult result) {
    switch (result) {
        case LocateResult::NoAppDataFolder:
            return kNoAppDataMessage;
        case LocateResult::FolderNotMade:
            return kFolderNotMadeMessage;
        case LocateResult::Found:
            break;
    }
    return nullptr;
}

SettingsLocation LocateSettingsFile(const std::string& appDataFolder, const std::string& subFolder,
                                    const std::string& baseName) {
    if (appDataFolder.empty()) return {LocateResult::NoAppDataFolder, {}};
    std::string folder = appDataFolder.ends_with('/') ? appDataFolder : appDataFolder + "/";
    folder += WithSlashes(subFolder);
    if (folder.ends_with('/')) folder.pop_back();
    if (!platform::PathExists(folder) && !MakeLevels(appDataFolder, folder)) {
        return {LocateResult::FolderNotMade, {}};
    }
    return {LocateResult::Found, folder + "/" + baseName + ".ini"};
}

StoredPosition ReadWindowPos(const std::string& settingsPath) {
    if (settingsPath.empty()) return {-1, -1};
    iniacs settings;
    settings.SetFile(settingsPath, 0);
    const int left = settings.ReadInt(kSection, kLeftKey);
    return {left, settings.ReadInt(kSection, kTopKey)};
}

void WriteWindowPos(const std::string& settingsPath, int left, int top) {
    if (settingsPath.empty()) return;
    iniacs settings;
    settings.SetFile(settingsPath, 1);
    settings.WriteInt(kSection, kLeftKey, left);
    settings.WriteInt(kSection, kTopKey, top);
}

Position PositionToRestore(const StoredPosition& stored, Position current) {
    return {stored.left == -1 ? current.x : stored.left, stored.top == -1 ? current.y : stored.top};
}

int FitIntoRange(int position, int size, int low, int high) {
    // In 64 bits: a stored position near the int limits must not overflow the sums.
    const long long start = position;
    const long long end = start + size;
    if (start >= low && end <= high) return position;
    return CentreInRange(size, low, high);
}

int CentreInRange(int size, int low, int high) {
    // Within the range, its low edge counted: a taskbar on the left moves the centre too.
    return static_cast<int>(low + (static_cast<long long>(high) - low - size) / 2);
}

Position FitIntoWorkArea(Position position, int width, int height, const WorkArea& work) {
    return {FitIntoRange(position.x, width, work.left, work.right),
            FitIntoRange(position.y, height, work.top, work.bottom)};
}

Position CentredInWorkArea(int width, int height, const WorkArea& work) {
    return {CentreInRange(width, work.left, work.right), CentreInRange(height, work.top, work.bottom)};
}

}  // namespace dlgsettings

bool CSettingsLocation::LocateSettingsAndRestorePosition() {
    const auto location = dlgsettings::LocateSettingsFile(platform::AppDataFolder(), m_appSubFolder,
                                                          platform::ExecutableBaseName());
    if (location.result != dlgsettings::LocateResult::Found) {
        ShowFailureMessage(dlgsettings::LocateFailureMessage(location.result));
        return false;
    }
    m_settingsFilePath = location.filePath;
    LoadWindowPos(m_settingsFilePath);
    return true;
}
