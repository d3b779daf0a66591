// SPDX-License-Identifier: MIT
#include "ui/qt/comboboxbps.h"

void CComboBoxBps::ReplaceEntries(const std::vector<unit::BaudEntry>& entries) {
    clear();
    for (const unit::BaudEntry& entry : entries) addItem(QString::fromUtf8(entry.label), entry.code);
}
