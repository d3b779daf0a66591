// SPDX-License-Identifier: MIT
#pragma once
// CDropDownList: a Win32 drop-down list that supplies the list operations of the core to Rule —
// CChoiceList itself for a plain list, or a rule built on it (CBaudList, CComPortList). An
// entry's number is its item data.

#include <string>

#include "ui/win32/wnd.h"

template <class Rule>
class CDropDownList : public CComboBox, public Rule {
public:
    void AddEntry(const std::string& text, int data) override {
        const int index = AddString(text);
        if (index >= 0) SetItemData(index, static_cast<DWORD_PTR>(data));
    }
    void InsertEntry(int index, const std::string& text, int data) override {
        if (InsertString(index, text) >= 0) SetItemData(index, static_cast<DWORD_PTR>(data));
    }
    void RemoveEntry(int index) override { DeleteString(index); }
    void RemoveAllEntries() override { ResetContent(); }
    int EntryCount() const override { return GetCount(); }
    int EntryData(int index) const override { return static_cast<int>(GetItemData(index)); }
    int SelectedIndex() const override { return GetCurSel(); }
    void SelectIndex(int index) override { SetCurSel(index); }
};
