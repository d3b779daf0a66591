// SPDX-License-Identifier: MIT
#pragma once
// CComboBoxBps: the baud-rate list as a Win32 drop-down list, each entry's baud code as its item
// data. Filled with every rate when bound to its template control; what it holds after that is the
// rule of CBaudList.

#include "ui/baudlist.h"
#include "ui/win32/wnd.h"

class CComboBoxBps : public CComboBox, public CBaudList {
protected:
    void OnAttached() override { FillAll(); }

    void ReplaceEntries(const std::vector<unit::BaudEntry>& entries) override;
    int EntryCount() const override { return GetCount(); }
    int EntryCode(int index) const override { return static_cast<int>(GetItemData(index)); }
    int SelectedIndex() const override { return GetCurSel(); }
    void SelectIndex(int index) override { SetCurSel(index); }
};
