// SPDX-License-Identifier: MIT
#include "ui/win32/comboboxcom.h"

#include "platform/portlist.h"

CComboBoxCom::CComboBoxCom(int bDetect) {
    if (bDetect == 0) {
        MarkAllPresent();
        return;
    }
    std::vector<std::string> names;
    for (const platform::SerialPortEntry& entry : platform::EnumerateSerialPorts())
        names.push_back(entry.name);
    MarkPresent(names);
}
