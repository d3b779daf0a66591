// SPDX-License-Identifier: MIT
#pragma once
// A stand-in for the main window that behaves like its controls where the workflow can tell
// (lists with fixed sizes, baud lists refilled per firmware number, out-of-range positions leaving
// nothing selected) and records every call in order.

#include <array>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "link/protocol.h"
#include "ui/qlxduodlgrules.h"
#include "ui/windowops.h"

struct RecordedStatus {
    std::string text;
    StatusOutcome outcome;
    bool operator==(const RecordedStatus&) const = default;
};

class CRecordingWindow : public CWindowOps {
public:
    // What the test sets up: the COM port chosen and the answer to the close question.
    int selectedPort = -1;
    bool answerOk = true;

    // What the workflow did.
    std::vector<RecordedStatus> statuses;
    std::string statusDetails;
    std::string firmwareLabel;
    bool labelHighlighted = false;
    std::map<WindowControl, bool> enabled = {{WindowControl::ComList, true},
                                             {WindowControl::ConnectButton, true},
                                             {WindowControl::WriteButton, false},
                                             {WindowControl::FormatGroup, false}};
    std::vector<std::string> questions;
    int saves = 0;
    int closes = 0;
    std::vector<std::string> calls;

    CRecordingWindow() {
        // Bound lists start with the whole table.
        for (PortLists& lists : m_lists) FillBaudList(lists, std::numeric_limits<int>::max());
    }

    void ShowStatus(const std::string& text, StatusOutcome outcome) override {
        statuses.push_back({text, outcome});
        calls.push_back("status " + text);
    }
    void ShowStatusDetails(const std::string& details) override { statusDetails = details; }
    void SetFirmwareLabel(const std::string& text) override {
        firmwareLabel = text;
        labelHighlighted = true;
        calls.push_back("label " + text);
    }
    void ClearFirmwareLabel() override {
        firmwareLabel.clear();
        labelHighlighted = false;
        calls.push_back("label cleared");
    }
    int SelectedPosition(UnitPort port, PositionField field) const override {
        return Lists(port).positions.at(static_cast<size_t>(field));
    }
    void SelectPosition(UnitPort port, PositionField field, int position) override {
        const size_t index = static_cast<size_t>(field);
        const bool inside = position >= 0 && position < ListSize(field);
        Lists(port).positions.at(index) = inside ? position : -1;
    }
    int SelectedBaudCode(UnitPort port) const override {
        const PortLists& lists = Lists(port);
        return lists.baudSelected < 0 ? -1 : lists.baudCodes.at(static_cast<size_t>(lists.baudSelected));
    }
    void SelectBaudCode(UnitPort port, int code) override {
        PortLists& lists = Lists(port);
        for (size_t i = 0; i < lists.baudCodes.size(); ++i) {
            if (lists.baudCodes[i] == code) {
                lists.baudSelected = static_cast<int>(i);
                return;
            }
        }
    }
    void RefillBaudLists(int firmwareNumber) override {
        calls.push_back("refill " + std::to_string(firmwareNumber));
        for (PortLists& lists : m_lists) {
            if (lists.filledFor == firmwareNumber) continue;
            lists.filledFor = firmwareNumber;
            FillBaudList(lists, firmwareNumber);
        }
    }
    void EnableControl(WindowControl control, bool enable) override {
        enabled[control] = enable;
        calls.push_back(std::string(enable ? "enable " : "disable ") + ControlName(control));
    }
    void FocusConnectButton() override { calls.push_back("focus connect"); }
    bool AskOkCancel(const std::string& question) override {
        questions.push_back(question);
        return answerOk;
    }
    int GetSelectedPort() const override { return selectedPort; }
    void SaveComPort() override { ++saves; }
    void CloseWindow() override { ++closes; }

    size_t BaudEntries(UnitPort port) const { return Lists(port).baudCodes.size(); }

private:
    static int ListSize(PositionField field) {
        return static_cast<int>(qlxduodlg::FieldOf(field).listTexts.size());
    }

    struct PortLists {
        std::array<int, 5> positions = {-1, -1, -1, -1, -1};
        std::vector<int> baudCodes;
        int baudSelected = -1;
        int filledFor = -1;
    };

    // Fills with the rates of that firmware number and selects the first, as the real list does.
    static void FillBaudList(PortLists& lists, int firmwareNumber) {
        lists.baudCodes.clear();
        for (const unit::BaudEntry& entry : unit::BaudRatesForFirmware(firmwareNumber)) {
            lists.baudCodes.push_back(entry.code);
        }
        lists.baudSelected = lists.baudCodes.empty() ? -1 : 0;
    }
    static const char* ControlName(WindowControl control) {
        switch (control) {
            case WindowControl::ComList:
                return "com-list";
            case WindowControl::ConnectButton:
                return "connect";
            case WindowControl::WriteButton:
                return "write";
            case WindowControl::FormatGroup:
                return "format-group";
        }
        return "?";
    }
    PortLists& Lists(UnitPort port) { return m_lists[port == UnitPort::A ? 0 : 1]; }
    const PortLists& Lists(UnitPort port) const { return m_lists[port == UnitPort::A ? 0 : 1]; }

    std::array<PortLists, 2> m_lists;
};
