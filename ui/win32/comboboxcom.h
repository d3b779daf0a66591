// SPDX-License-Identifier: MIT
#pragma once
// CComboBoxCom: the drop-down list of the serial ports that the system's registry lists, "COM<n>"
// in ascending port order, filled at start and kept to the ports listed, each port's device and
// adapter noted for the window to show. The tables, the fill and the refresh are CComPortList's.

#include "ui/comportindex.h"
#include "ui/win32/dropdownlist.h"

class CComboBoxCom : public CDropDownList<CComPortList> {
public:
    // bDetect non-zero: the ports the registry lists now, and at each refresh; 0: all 255 ports,
    // the registry not read. An adapter is looked up once its port's device is shown: the window
    // starts without the system's device information.
    explicit CComboBoxCom(int bDetect) {
        Detect(
            bDetect,
            [] {
                return platform::EnumerateSerialPorts(platform::PortListing::NumberNewDevices,
                                                      platform::PortAdapters::Later);
            },
            platform::SerialAdapterOf);
    }
};
