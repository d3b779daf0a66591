// SPDX-License-Identifier: MIT
#pragma once
// What the system's dialog manager does not take from the template by itself. The version 6
// drop-down lists open as tall as 30 items whatever the template's height: each list is kept to the
// height of its template rectangle, as the Qt window keeps it. And a list has no text of its own,
// so the system names it after the static text before it in the template: each list and button is
// given the name the Qt window gives it, by an annotation on its accessible object.

#include <windows.h>

#include <oleacc.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "res/qlxduo_template.h"

namespace dlgtemplate {

// Limits each drop-down list of the template to the items that fit in the opened list's height.
void KeepOpenedListsToTemplate(HWND dialog, const res::DialogTemplate& tmpl);

}  // namespace dlgtemplate

// The names screen readers give the dialog's controls, and the descriptions some have, annotated
// the first time another program asks the dialog or one of those controls for its accessible
// object (WM_GETOBJECT), as an assistive program does before it reads one: a window that no
// screen reader looks at loads neither the annotation service nor COM. COM stays initialised on
// the window's thread until the annotations are cleared.
class CScreenReaderNames {
public:
    using Describer = std::function<std::string()>;

    CScreenReaderNames() = default;
    ~CScreenReaderNames();
    CScreenReaderNames(const CScreenReaderNames&) = delete;
    CScreenReaderNames& operator=(const CScreenReaderNames&) = delete;

    // Names each list and button of the template (accessible::NameOf) once asked.
    void NameWhenAsked(HWND dialog, const res::DialogTemplate& tmpl);
    // Describes a control of the dialog by what describe gives, with the names and at each
    // Redescribe after them.
    void DescribeWhenAsked(HWND control, Describer describe);
    // Gives the descriptions anew once the names are given; nothing before.
    void Redescribe();
    // Before the controls go.
    void Clear();

private:
    static LRESULT CALLBACK AskedProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Watch(HWND hwnd);
    void StopWatching();
    // Names and describes the controls; without the system's annotation service nothing is.
    void Annotate();
    void NameControls();

    HWND m_dialog = nullptr;
    const res::DialogTemplate* m_template = nullptr;
    bool m_asked = false;
    std::vector<std::pair<HWND, Describer>> m_described;
    bool m_comInitialised = false;
    IAccPropServices* m_services = nullptr;
    std::vector<HWND> m_named;
};
