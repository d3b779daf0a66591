#include "ui/comboboxbps.h"

void CComboBoxBps::OnBound() {
    Fill({unit::BaudTable.begin(), unit::BaudTable.end()});
}

void CComboBoxBps::RefillForFirmware(int firmwareNumber) {
    if (firmwareNumber == m_firmwareNumber) return;
    m_firmwareNumber = firmwareNumber;
    Fill(unit::BaudRatesForFirmware(firmwareNumber));
}

void CComboBoxBps::SelectCode(int code) {
    const int index = findData(code);
    if (index >= 0) setCurrentIndex(index);
}

int CComboBoxBps::GetSelectedCode() const {
    return currentIndex() < 0 ? -1 : currentData().toInt();
}

void CComboBoxBps::Fill(const std::vector<unit::BaudEntry>& entries) {
    clear();
    for (const unit::BaudEntry& entry : entries) addItem(QString::fromUtf8(entry.label), entry.code);
    setCurrentIndex(count() > 0 ? 0 : -1);
}
