// SPDX-License-Identifier: MIT
#include "ui/baudlist.h"

void CBaudList::FillAll() {
    Fill({unit::BaudTable.begin(), unit::BaudTable.end()});
}

void CBaudList::RefillForFirmware(int firmwareNumber) {
    if (firmwareNumber == m_firmwareNumber) return;
    m_firmwareNumber = firmwareNumber;
    Fill(unit::BaudRatesForFirmware(firmwareNumber));
}

void CBaudList::SelectCode(int code) {
    for (int index = 0; index < EntryCount(); ++index) {
        if (EntryData(index) != code) continue;
        SelectIndex(index);
        return;
    }
}

int CBaudList::GetSelectedCode() const {
    const int index = SelectedIndex();
    return index < 0 ? -1 : EntryData(index);
}

void CBaudList::Fill(const std::vector<unit::BaudEntry>& entries) {
    RemoveAllEntries();
    for (const unit::BaudEntry& entry : entries) AddEntry(entry.label, entry.code);
    SelectIndex(entries.empty() ? -1 : 0);
}
