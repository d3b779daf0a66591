// SPDX-License-Identifier: MIT
#pragma once
// CWindowOps: everything the connection workflow needs from the main window, and nothing more.
// The main dialog implements it with its controls; tests implement it with a recording double.
// The workflow never sees a widget, so it stays free of any user-interface toolkit.

#include <string>

enum class StatusOutcome { Success, Failure, Neutral };

enum class UnitPort : char { A = 'A', B = 'B' };

// The five parameter lists of a unit port that are chosen by position (the position is the code
// sent to the unit). The baud list is chosen by baud code instead.
enum class PositionField { Format, Flow, DataLength, StopBits, Parity };

// The controls the workflow enables and disables. FormatGroup is the two format-conversion lists
// with their port letters and arrows, switched as one.
enum class WindowControl { ComList, ConnectButton, WriteButton, FormatGroup };

class CWindowOps {
public:
    virtual ~CWindowOps() = default;

    // Replaces the status line text, coloured by outcome.
    virtual void ShowStatus(const std::string& text, StatusOutcome outcome) = 0;
    // Background detail for the status just shown (a tooltip): why a port would not open. The
    // workflow passes it after every status, empty when there is nothing to add.
    virtual void ShowStatusDetails(const std::string& details) = 0;

    // Firmware label: the text shown highlighted, or empty and plain.
    virtual void SetFirmwareLabel(const std::string& text) = 0;
    virtual void ClearFirmwareLabel() = 0;

    // Selected position of a list, -1 when nothing is selected. Selecting a position outside the
    // list leaves the list with nothing selected.
    virtual int SelectedPosition(UnitPort port, PositionField field) const = 0;
    virtual void SelectPosition(UnitPort port, PositionField field, int position) = 0;
    // Baud code of the selected baud entry, -1 when nothing is selected. Selecting a code that no
    // entry carries leaves the selection as it was.
    virtual int SelectedBaudCode(UnitPort port) const = 0;
    virtual void SelectBaudCode(UnitPort port, int code) = 0;
    // Refills the port A baud list, then the port B one, with the rates that firmware number
    // offers; a list already filled for that number is left alone.
    virtual void RefillBaudLists(int firmwareNumber) = 0;

    virtual void EnableControl(WindowControl control, bool enable) = 0;
    virtual void FocusConnectButton() = 0;

    // Asks with OK and Cancel; true for OK.
    virtual bool AskOkCancel(const std::string& question) = 0;

    // COM number chosen in the port list, -1 when none.
    virtual int GetSelectedPort() const = 0;
    // Remembers the chosen COM number in the settings file.
    virtual void SaveComPort() = 0;
    // Closes the window the ordinary way.
    virtual void CloseWindow() = 0;
};
