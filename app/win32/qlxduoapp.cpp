// SPDX-License-Identifier: MIT
#include "app/win32/qlxduoapp.h"

#include <windows.h>

#include <commctrl.h>

#include <exception>
#include <memory>

#include "platform/instancelock.h"
#include "platform/userfolders.h"
#include "ui/win32/qlxduodlg.h"

CQlxduoApp theApp;

bool CQlxduoApp::InitInstance() {
    // Held until the process ends: the system removes the mutex with the last process holding it.
    static std::unique_ptr<platform::InstanceLock> instanceLock;
    instanceLock = std::make_unique<platform::InstanceLock>(platform::ExecutableBaseName());
    // A second copy ends silently; when no mutex can be made at all the program runs unguarded.
    if (instanceLock->State() == platform::InstanceLockState::AlreadyRunning) return false;
    // The version 6 controls that the manifest asks for.
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                        ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    try {
        CQlxduoDlg dlg;
        dlg.DoModal();
    } catch (const std::exception&) {
        // The window could not be built (no brush for its labels): the program ends.
    }
    return false;
}
