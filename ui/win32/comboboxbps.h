// SPDX-License-Identifier: MIT
#pragma once
// CComboBoxBps: the baud-rate list as a Win32 drop-down list, each entry's baud code as its item
// data. Filled with every rate when bound to its template control; what it holds after that is the
// rule of CBaudList.

#include "ui/baudlist.h"
#include "ui/win32/dropdownlist.h"

class CComboBoxBps : public CDropDownList<CBaudList> {
protected:
    void OnAttached() override { FillAll(); }
};
