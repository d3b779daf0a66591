// SPDX-License-Identifier: MIT
#pragma once
// The COM port list's two tables, port number <-> list position, and the remembered port in the
// settings file. Free of any window system; CComboBoxCom puts it on screen.

#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ports/portlist.h"
#include "ui/choicelist.h"

class CComPortIndex {
public:
    static constexpr int kPortMax = platform::kHighestComPort;

    CComPortIndex();  // every port absent

    void MarkAllPresent();
    // Marks the ports that "COM<n>" texts name: three characters skipped, the rest read as atoi
    // does; numbers outside 1..255 and texts shorter than four characters name no port.
    void MarkPresent(const std::vector<std::string>& comTexts);

    // Gives each present port its list position, in ascending port order; returns the ports in
    // list order. Numbering happens once; later calls return nothing.
    std::vector<int> NumberPresentPorts();
    // Numbers the list again as it holds these ports now, in ascending order; every other port is
    // absent.
    void NumberListedPorts(const std::vector<int>& ports);
    // The ports in list order.
    std::vector<int> ListedPorts() const;

    // List position of a port 1..255; -1 when it is absent (or out of range).
    int ListIndexOfPort(int port) const;
    // Port shown at a list position; -1 outside 0..PortCount()-1.
    int PortOfListIndex(int index) const;
    int PortCount() const { return m_portCount; }

protected:
    // Before numbering: 0 present, -1 absent. After: a present port's list position, -1 absent.
    std::array<int, kPortMax> m_listIndexOfPort;
    std::array<int, kPortMax> m_portOfListIndex;
    int m_portCount;

private:
    bool m_numbered;
};

// The COM port list as a window shows it: the tables above, filled into a list control at start
// and read back from its selection, then kept to the ports present. A window's list control
// derives from it and supplies the list operations of CChoiceList; each item "COM<n>" carries its
// port number n as data. The tables rely on the order items are added in.
class CComPortList : public CComPortIndex, public CChoiceList {
public:
    // The ports present now, with their devices.
    using PortLister = std::function<std::vector<platform::SerialPortEntry>()>;
    // The adapter behind a device, for a lister that leaves the adapters to be read later.
    using AdapterLookup = std::function<platform::SerialAdapter(const std::string& device)>;

    // The ports present at start, as the list control's constructor takes bDetect: non-zero, the
    // ports lister gives (the system's, EnumerateSerialPorts, when none is given), with their
    // devices noted, and the lister is kept for Refresh; 0, all 255 ports, the system not asked.
    // With a lookup, a port's adapter is looked up only when its text is first wanted, and again
    // at each refresh once it was; the entries' own adapters are not read.
    void Detect(int bDetect, PortLister lister = {}, AdapterLookup lookup = {});
    // Fills the list (once) and selects the port, or the first item when the port is absent.
    // 0 without touching the list when the port is outside 1..255, else 1 (also for no ports).
    int FillAndSelect(int port);
    // Port of the current selection; -1 when nothing is selected. Asks the list every time.
    int GetSelectedPort() const;

    // Brings a filled list to the ports the lister gives now, in ascending order: a port that
    // came is put at its place, one that went is dropped unless it is the one selected, which
    // stays listed and selected. When nothing was selected, the port FillAndSelect was given is
    // selected if listed now, else the first. True when the items or a listed port's device text
    // changed (with a lookup, the text of a port that was wanted); the list is left untouched when
    // it was never filled, FillAndSelect refused it, or it lists all 255 ports.
    bool Refresh();

    // What each listed port stands for (PortDeviceText), which the list shows as tooltips and as its
    // accessible description while the list itself shows "COM<n>" only. True when a text changed.
    bool NoteDevices(const std::vector<platform::SerialPortEntry>& entries);
    void NoteDevice(int port, const std::string& text) { m_deviceTexts[port] = text; }
    // The text noted for a port (with a lookup, made now when it was not yet); empty when none was.
    std::string DeviceText(int port) const;
    std::string SelectedDeviceText() const { return DeviceText(GetSelectedPort()); }

private:
    // Inserts and removes items until the list holds the ports wanted, in that order.
    void EditInto(const std::vector<int>& wanted);
    // Selects the port's item, or the first item when the port is not listed; nothing in an empty list.
    void SelectPortOrFirst(int port);

    // Made as they are wanted when the adapters are looked up.
    mutable std::map<int, std::string> m_deviceTexts;
    std::map<int, std::string> m_devices;
    PortLister m_lister;
    AdapterLookup m_lookup;
    int m_fillPort = -1;  // the port FillAndSelect was given; -1 until it filled the list
};

// A port's device and what is known of its adapter, a line each: "/dev/ttyUSB0", "FTDI FT232R USB
// UART A1B2C3 (0403:6001)", "/dev/serial/by-id/..."; the device alone when nothing more is known.
std::string PortDeviceText(const std::string& device, const platform::SerialAdapter& adapter);

// The port to preselect for a stored value: -1 (nothing stored), 0 and below, and above 255 all
// become port 1.
int CorrectRememberedPort(int stored);

// Section "com", key "com" of the settings file; -1 when nothing is stored or the path is empty.
int ReadRememberedPort(const std::string& settingsPath);
// Stores the port (may be -1); with an empty path nothing is written.
void WriteRememberedPort(const std::string& settingsPath, int port);

// Reads the remembered port from the settings file (empty path: nothing stored), corrects it and
// fills and selects the list.
void LoadComPortInto(CComPortList& list, const std::string& settingsPath);
// Stores the selected port (-1 when none) in the settings file; an empty path stores nothing.
void SaveComPortFrom(const CComPortList& list, const std::string& settingsPath);
