// SPDX-License-Identifier: MIT
#include "ui/win32/comboboxcom.h"

#include "ports/portlist.h"

CComboBoxCom::CComboBoxCom(int bDetect) {
    if (bDetect == 0) {
        MarkAllPresent();
        return;
    }
    std::vector<std::string> names;
    const std::vector<platform::SerialPortEntry> entries = platform::EnumerateSerialPorts();
    for (const platform::SerialPortEntry& entry : entries) names.push_back(entry.name);
    MarkPresent(names);
    NoteDevices(entries);
}
