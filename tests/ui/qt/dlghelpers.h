// SPDX-License-Identifier: MIT
#pragma once
// Shared by the tests of the settings window: its controls by id, its settings file, the unit as
// COM1 (holding the values of the expected window), and message boxes answered without a user.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/userfolders.h"
#include "ports/comportmap.h"
#include "testenv.h"
#include "tests/ui/expectedwindow.h"
#include "ui/qt/dialogkn.h"
#include "ui/qt/messagebox.h"

namespace dlgtest {

using expectedwindow::kUnitA;
using expectedwindow::kUnitB;

template <class T>
T& Item(const CDialogKn& dlg, int id) {
    auto* item = dynamic_cast<T*>(dlg.GetDlgItem(id));
    if (item == nullptr)
        throw std::runtime_error("no control " + std::to_string(id) + " of the expected kind");
    return *item;
}

inline std::string SettingsFolder() {
    return platform::AppDataFolder() + "/Kestrelan/QLX-DUO";
}
inline std::string SettingsFile() {
    return SettingsFolder() + "/" + platform::ExecutableBaseName() + ".ini";
}

// Makes the unit COM1, the port the window falls back to when it remembers none.
inline void MakeCom1(const testenv::SimProcess& sim) {
    ASSERT_TRUE(platform::ComPortMap::ForCurrentUser().RegisterOwned(1, sim.DevicePath()));
}

// Every message box is answered here, and recorded.
struct AnsweredBoxes {
    explicit AnsweredBoxes(QMessageBox::StandardButton answer) {
        SetMessageBoxHook([this, answer](const MessageBoxRequest& request) {
            requests.push_back(request);
            return answer;
        });
    }
    ~AnsweredBoxes() { SetMessageBoxHook({}); }
    std::vector<MessageBoxRequest> requests;
};

}  // namespace dlgtest
