#pragma once
// CComboBoxBps: a baud-rate list whose items carry the unit's baud codes. Filled with every rate
// when bound to its template control; narrowed to what a firmware offers on request.

#include <QComboBox>
#include <vector>

#include "link/protocol.h"
#include "ui/dialogtemplate.h"

class CComboBoxBps : public QComboBox, public CBindable {
public:
    CComboBoxBps() = default;

    // Fills the list with all 28 rates and selects "110bps".
    void OnBound() override;

    // Refills with the rates that firmware number offers and selects the first; nothing happens
    // when the list was last filled for the same number.
    void RefillForFirmware(int firmwareNumber);
    // Selects the first entry carrying the code; no such entry leaves the selection as it is.
    void SelectCode(int code);
    // The code of the selected entry; -1 when nothing is selected.
    int GetSelectedCode() const;

    int FirmwareNumber() const { return m_firmwareNumber; }

private:
    void Fill(const std::vector<unit::BaudEntry>& entries);

    int m_firmwareNumber = -1;
};
