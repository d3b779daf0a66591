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
        if (EntryCode(index) != code) continue;
        SelectIndex(index);
        return;
    }
}

int CBaudList::GetSelectedCode() const {
    const int index = SelectedIndex();
    return index < 0 ? -1 : EntryCode(index);
}

void CBaudList::Fill(const std::vector<unit::BaudEntry>& entries) {
    ReplaceEntries(entries);
    SelectIndex(entries.empty() ? -1 : 0);
}
