// SPDX-License-Identifier: MIT
#pragma once
// CComboBoxCom: the drop-down list of the serial ports present at start, "COM<n>" in ascending
// port order; each item's tooltip shows the device it stands for.

#include <QComboBox>
#include <functional>
#include <string>
#include <vector>

#include "ui/comportindex.h"

namespace platform {
class ComPortMap;
}

class CComboBoxCom : public QComboBox, public CComPortList {
public:
    using DevicePathOf = std::function<std::string(int port)>;

    // bDetect non-zero: the serial ports present now; 0: all 255 ports, the system not asked.
    explicit CComboBoxCom(int bDetect);
    // The ports a given map enumerates.
    explicit CComboBoxCom(const platform::ComPortMap& map);
    // The ports named by "COM<n>" texts, with a lookup for the tooltips (may be empty).
    CComboBoxCom(const std::vector<std::string>& comTexts, DevicePathOf devicePathOf);

protected:
    void AppendPortItem(const std::string& text, int port) override;
    int SelectedIndex() const override { return currentIndex(); }
    void SelectIndex(int index) override { setCurrentIndex(index); }

private:
    DevicePathOf m_devicePathOf;
};
