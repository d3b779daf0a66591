// SPDX-License-Identifier: MIT
#pragma once
// CComboBoxBps: the baud-rate list on Qt Widgets. Filled with every rate when bound to its template
// control; what it holds after that is the rule of CBaudList.

#include "ui/baudlist.h"
#include "ui/qt/dialogtemplate.h"
#include "ui/qt/dropdownlist.h"

class CComboBoxBps : public CDropDownList<CBaudList>, public CBindable {
public:
    void OnBound() override { FillAll(); }
};
