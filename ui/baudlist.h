// SPDX-License-Identifier: MIT
#pragma once
// CBaudList: what a baud-rate list does whatever draws it — every entry carries its baud code, the
// list holds every rate once bound and only a firmware's rates after a refill for it, and a refill
// for the number it was last filled for changes nothing (the user's choice stays). A window's list
// control derives from it and supplies the list operations of CChoiceList.

#include <vector>

#include "link/protocol.h"
#include "ui/choicelist.h"

class CBaudList : public CChoiceList {
public:
    // All 28 rates, "110bps" selected: the fill when the list is bound to its template control.
    void FillAll();
    // The rates that firmware number offers, the first selected; nothing happens when the list was
    // last filled for the same number.
    void RefillForFirmware(int firmwareNumber);
    // Selects the first entry carrying the code; no such entry leaves the selection as it is.
    void SelectCode(int code);
    // The code of the selected entry; -1 when nothing is selected.
    int GetSelectedCode() const;

    // The number of the last refill; -1 before the first.
    int FirmwareNumber() const { return m_firmwareNumber; }

private:
    // Empties the list, adds the entries in order, each with its code as data, and selects the first.
    void Fill(const std::vector<unit::BaudEntry>& entries);

    int m_firmwareNumber = -1;
};
