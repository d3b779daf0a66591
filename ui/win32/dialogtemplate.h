// SPDX-License-Identifier: MIT
#pragma once
// What the system's dialog manager does not take from the template by itself. The version 6
// drop-down lists open as tall as 30 items whatever the template's height: each list is kept to the
// height of its template rectangle, as the Qt window keeps it. And a list has no text of its own,
// so the system names it after the static text before it in the template: each list and button is
// given the name the Qt window gives it, by an annotation on its accessible object.

#include <windows.h>

#include <oleacc.h>

#include <vector>

#include "res/qlxduo_template.h"

namespace dlgtemplate {

// Limits each drop-down list of the template to the items that fit in the opened list's height.
void KeepOpenedListsToTemplate(HWND dialog, const res::DialogTemplate& tmpl);

}  // namespace dlgtemplate

// The names screen readers give the dialog's controls, annotated while the window lives: COM stays
// initialised on the window's thread until the annotations are cleared.
class CScreenReaderNames {
public:
    CScreenReaderNames() = default;
    ~CScreenReaderNames();
    CScreenReaderNames(const CScreenReaderNames&) = delete;
    CScreenReaderNames& operator=(const CScreenReaderNames&) = delete;

    // Names each list and button of the template (accessible::NameOf); false when the system's
    // annotation service could not be had or took none of them.
    bool Annotate(HWND dialog, const res::DialogTemplate& tmpl);
    // Before the controls go.
    void Clear();

private:
    bool m_comInitialised = false;
    IAccPropServices* m_services = nullptr;
    std::vector<HWND> m_named;
};
