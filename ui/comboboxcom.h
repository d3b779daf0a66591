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

class CComboBoxCom : public QComboBox, public CComPortIndex {
public:
    using DevicePathOf = std::function<std::string(int port)>;

    // bDetect non-zero: the serial ports present now; 0: all 255 ports, the system not asked.
    explicit CComboBoxCom(int bDetect);
    // The ports a given map enumerates.
    explicit CComboBoxCom(const platform::ComPortMap& map);
    // The ports named by "COM<n>" texts, with a lookup for the tooltips (may be empty).
    CComboBoxCom(const std::vector<std::string>& comTexts, DevicePathOf devicePathOf);

    // Fills the list (once) and selects the port, or the first item when the port is absent.
    // 0 without touching the list when the port is outside 1..255, else 1.
    int FillAndSelect(int port);
    // Port of the current selection; -1 when nothing is selected.
    int GetSelectedPort() const;

private:
    DevicePathOf m_devicePathOf;
};

// Reads the remembered port from the settings file (empty path: nothing stored), corrects it and
// fills and selects the list.
void LoadComPortInto(CComboBoxCom& list, const std::string& settingsPath);
// Stores the selected port (-1 when none) in the settings file; an empty path stores nothing.
void SaveComPortFrom(const CComboBoxCom& list, const std::string& settingsPath);
