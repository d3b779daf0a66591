// SPDX-License-Identifier: MIT
#pragma once
// CComboBoxCom: the drop-down list of the serial ports present at start, "COM<n>" in ascending
// port order; each item's tooltip shows the device it stands for and its adapter, and so do the
// closed list's tooltip and its accessible description for the port selected.

#include <functional>
#include <string>
#include <vector>

#include "ui/comportindex.h"
#include "ui/qt/dropdownlist.h"

namespace platform {
class ComPortMap;
}

class CComboBoxCom : public CDropDownList<CComPortList> {
public:
    using DevicePathOf = std::function<std::string(int port)>;

    // bDetect non-zero: the serial ports present now; 0: all 255 ports, the system not asked.
    explicit CComboBoxCom(int bDetect);
    // The ports a given map enumerates.
    explicit CComboBoxCom(const platform::ComPortMap& map);
    // The ports named by "COM<n>" texts, with a lookup for the tooltips (may be empty).
    CComboBoxCom(const std::vector<std::string>& comTexts, DevicePathOf devicePathOf);

    // The item, with the port's device and adapter as its tooltip.
    void AddEntry(const std::string& text, int port) override;

private:
    // The closed list tells of the port selected.
    void FollowSelection();

    DevicePathOf m_devicePathOf;
};
