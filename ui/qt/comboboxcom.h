// SPDX-License-Identifier: MIT
#pragma once
// CComboBoxCom: the drop-down list of the serial ports, "COM<n>" in ascending port order, filled
// with those present at start and kept to those present (CComPortList); each item's tooltip shows
// the device it stands for and its adapter, and so do the closed list's tooltip and its accessible
// description for the port selected.

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

    // bDetect non-zero: the serial ports present now, and at each refresh; 0: all 255 ports, the
    // system not asked.
    explicit CComboBoxCom(int bDetect);
    // The ports a given map enumerates, now and at each refresh.
    explicit CComboBoxCom(const platform::ComPortMap& map);
    // The ports named by "COM<n>" texts, with a lookup for the tooltips (may be empty).
    CComboBoxCom(const std::vector<std::string>& comTexts, DevicePathOf devicePathOf);

    // The item, with the port's device and adapter as its tooltip.
    void AddEntry(const std::string& text, int port) override;
    void InsertEntry(int index, const std::string& text, int port) override;

    // What runs as the list is about to open, before it shows its items.
    void OnOpening(std::function<void()> opening) { m_opening = std::move(opening); }
    // The items' tooltips, the closed list's tooltip and its description, from the devices noted.
    void ShowDevices();

    void showPopup() override;

private:
    // The closed list tells of the port selected.
    void FollowSelection();
    void ShowSelectedDevice();
    void ShowDevice(int index);

    DevicePathOf m_devicePathOf;
    std::function<void()> m_opening;
};
