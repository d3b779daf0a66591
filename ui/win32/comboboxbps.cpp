// SPDX-License-Identifier: MIT
#include "ui/win32/comboboxbps.h"

void CComboBoxBps::ReplaceEntries(const std::vector<unit::BaudEntry>& entries) {
    ResetContent();
    for (const unit::BaudEntry& entry : entries) {
        const int index = AddString(entry.label);
        if (index >= 0) SetItemData(index, static_cast<DWORD_PTR>(entry.code));
    }
}
