// SPDX-License-Identifier: MIT
#include "app/qt/qlxduoapp.h"

#include "platform/instancelock.h"
#include "platform/userfolders.h"
#include "ui/qt/dialogtemplate.h"
#include "ui/qt/qlxduodlg.h"

CQlxduoApp::CQlxduoApp(int& argc, char** argv) : QApplication(argc, argv) {
    // The executable's base name names the settings file, the guard and every message box caption.
    setApplicationName(QString::fromStdString(platform::ExecutableBaseName()));
}

CQlxduoApp::~CQlxduoApp() = default;

int CQlxduoApp::InitInstance() {
    m_instanceLock = std::make_unique<platform::InstanceLock>(applicationName().toStdString());
    // A second copy ends silently; when no lock can be made at all the program runs unguarded.
    if (m_instanceLock->State() == platform::InstanceLockState::AlreadyRunning) return 0;
    // Every widget starts in the window's Japanese font, so the message boxes show Japanese glyph
    // forms too and the controls need not re-lay themselves out when they join the window.
    setFont(dlgtemplate::DialogFont(*res::FindDialogTemplate(IDD_QLXDUO_DIALOG)));
    dlgtemplate::UseListStyle();
    {
        CQlxduoDlg dlg;
        dlg.exec();
    }  // the dialog closes its serial port before its controls go
    return 0;
}
