// SPDX-License-Identifier: MIT
#pragma once
// CQlxduoWindow: the main window whatever toolkit draws it. It holds the controls and binds them to
// the template's ids, does the window operations of the connection workflow (CWindowOps) on them,
// runs the start-up after the dialog base's initialisation, and offers the operations the buttons
// and the close request run, and keeps the COM list to the ports present. A toolkit's CQlxduoDlg
// derives from its dialog base and from this, and does what only it can: enable and focus a
// control, ask with a message box, show the status line's tooltip and the port's device, wait for
// the system's news of ports in its event loop and close the window.
//
// Kit names the toolkit's classes of the controls: Static and Button (plain ones), List (a
// CChoiceList), BaudList (a CBaudList), ComList (a CComPortList made from bDetect) and ColourLabel
// (a CColourLabel); and Kit::ButtonFace(), the desktop's button-face colour now.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <type_traits>

#include "link/serialport.h"
#include "link/statustexts.h"
#include "ports/portwatch.h"
#include "res/resource.h"
#include "ui/baudlist.h"
#include "ui/choicelist.h"
#include "ui/colourlabel.h"
#include "ui/colours.h"
#include "ui/comportindex.h"
#include "ui/dialogsettings.h"
#include "ui/qlxduodlgrules.h"
#include "ui/windowops.h"
#include "ui/workflow.h"

template <class Kit>
class CQlxduoWindow : public CWindowOps {
    static_assert(std::is_base_of_v<CChoiceList, typename Kit::List>);
    static_assert(std::is_base_of_v<CBaudList, typename Kit::BaudList>);
    static_assert(std::is_base_of_v<CComPortList, typename Kit::ComList>);
    static_assert(std::is_base_of_v<CColourLabel, typename Kit::ColourLabel>);

public:
    // The workflow's operations, under the names the buttons and the close request use.
    void Connect() { m_workflow.Connect(); }
    void WriteParameters() { m_workflow.WriteParameters(); }
    void SwitchToNormalMode() { m_workflow.SwitchToNormalMode(); }
    void Disconnect() { m_workflow.Disconnect(); }
    bool IsConnected() const { return m_workflow.IsConnected(); }
    // Selects the remembered COM port in the port list (read from the settings file).
    void LoadComPort() { LoadComPortInto(m_com, m_settings.SettingsFilePath()); }
    // Brings the COM list to the ports present (CComPortList::Refresh), unless connected: as the
    // list is opened, and when the system tells of ports that came or went.
    void RefreshComList() {
        if (!IsConnected() && m_com.Refresh()) ShowComDevices();
    }
    // Once the event source given to WatchPorts has fired: the news is taken, the list refreshed.
    void TakePortNews() {
        if (!m_portWatch) return;
        m_portWatch->TakeChange();
        RefreshComList();
    }

    // CWindowOps, on the controls.
    void ShowStatus(const std::string& text, StatusOutcome outcome) override {
        m_status.SetLabelText(text);
        m_status.SetForeColor(colours::StatusColour(outcome), 1);
    }
    void SetFirmwareLabel(const std::string& text) override {
        m_firmware.SetLabelText(text);
        m_firmware.SetBackColor(colours::kFirmwareHighlight, 1);
    }
    void ClearFirmwareLabel() override {
        m_firmware.SetLabelText("");
        m_firmware.SetBackColor(Kit::ButtonFace(), 1);
    }
    int SelectedPosition(UnitPort port, PositionField field) const override {
        return PositionList(port, field).SelectedIndex();
    }
    void SelectPosition(UnitPort port, PositionField field, int position) override {
        CChoiceList& list = PositionList(port, field);
        list.SelectIndex(position >= 0 && position < list.EntryCount() ? position : -1);
    }
    int SelectedBaudCode(UnitPort port) const override {
        return (port == UnitPort::A ? m_bpsA : m_bpsB).GetSelectedCode();
    }
    void SelectBaudCode(UnitPort port, int code) override {
        (port == UnitPort::A ? m_bpsA : m_bpsB).SelectCode(code);
    }
    void RefillBaudLists(int firmwareNumber) override {
        m_bpsA.RefillForFirmware(firmwareNumber);
        m_bpsB.RefillForFirmware(firmwareNumber);
    }
    void EnableControl(WindowControl control, bool enable) override {
        for (int id : qlxduodlg::ControlIds(control)) EnableItem(id, enable);
    }
    int GetSelectedPort() const override { return m_com.GetSelectedPort(); }
    void SaveComPort() override { SaveComPortFrom(m_com, m_settings.SettingsFilePath()); }

protected:
    // The settings file is the dialog base's; its path is read when the COM port is loaded or saved.
    explicit CQlxduoWindow(const CSettingsLocation& settings)
        : m_com(1), m_settings(settings), m_workflow(*this, m_serialPort) {
        AttachControls([this](int id, auto& control) {
            if constexpr (std::is_same_v<std::remove_cvref_t<decltype(control)>, typename Kit::List>)
                m_positionLists[id] = &control;
        });
    }
    // The port goes first, while the controls the workflow reports to still exist.
    ~CQlxduoWindow() override { m_serialPort.Close(); }

    // Hands each control with its template id to attach(id, control), in member order.
    template <class Attach>
    void AttachControls(Attach attach) {
        attach(IDC_LETTER_A, m_letterA);
        attach(IDC_ARROW_A_IN, m_arrowAIn);
        attach(IDC_FORMAT_A, m_formatA);
        attach(IDC_ARROW_A_OUT, m_arrowAOut);
        attach(IDC_ARROW_B_IN, m_arrowBIn);
        attach(IDC_FORMAT_B, m_formatB);
        attach(IDC_ARROW_B_OUT, m_arrowBOut);
        attach(IDC_LETTER_B, m_letterB);
        attach(IDC_FIRMWARE, m_firmware);
        attach(IDC_STATUS, m_status);
        attach(IDC_BPS_A, m_bpsA);
        attach(IDC_DATALEN_A, m_dataLenA);
        attach(IDC_PARITY_A, m_parityA);
        attach(IDC_STOPBITS_A, m_stopBitsA);
        attach(IDC_FLOW_A, m_flowA);
        attach(IDC_BPS_B, m_bpsB);
        attach(IDC_DATALEN_B, m_dataLenB);
        attach(IDC_PARITY_B, m_parityB);
        attach(IDC_STOPBITS_B, m_stopBitsB);
        attach(IDC_FLOW_B, m_flowB);
        attach(IDC_WRITE, m_write);
        attach(IDC_CONNECT, m_connect);
        attach(IDC_COM, m_com);
    }

    // Once the dialog base has bound the controls: the status line black and "disconnected", the
    // remembered COM port selected, the fixed lists filled, then one connect attempt. From the
    // list's fill on, the system's news of ports that come and go is waited for.
    void StartUp() {
        m_status.SetBackColor(colours::kStatusBackground, 1);
        ShowStatus(status::kDisconnected, StatusOutcome::Neutral);
        LoadComPort();
        m_portWatch = std::make_unique<platform::CSerialPortWatch>();
        WatchPorts(m_portWatch->EventSource());
        FillFixedLists();
        Connect();
    }
    // The window's close request.
    void CloseRequest() { m_workflow.OnClose(); }
    // The process is told to end: the unit goes back to normal mode, as closing with OK does.
    void ProcessEndRequest() { m_workflow.OnProcessEnd(); }

    // Enables or disables the control of that template id.
    virtual void EnableItem(int id, bool enable) = 0;
    // Has the window's event loop wait for the system's news of ports that came or went besides
    // its other events (CSerialPortWatch::EventSource; -1: no news will come) and call
    // TakePortNews each time it comes. The watch lives as long as this window.
    virtual void WatchPorts(std::intptr_t eventSource) = 0;
    // The COM list's items changed, or what a listed port stands for: whatever shows the selected
    // port's device follows.
    virtual void ShowComDevices() = 0;

    // The format-conversion group: Ａ → list → Ｂ and Ａ ← list ← Ｂ.
    typename Kit::Static m_letterA;
    typename Kit::Static m_arrowAIn;
    typename Kit::List m_formatA;
    typename Kit::Static m_arrowAOut;
    typename Kit::Static m_arrowBIn;
    typename Kit::List m_formatB;
    typename Kit::Static m_arrowBOut;
    typename Kit::Static m_letterB;
    typename Kit::ColourLabel m_firmware;
    typename Kit::ColourLabel m_status;
    typename Kit::BaudList m_bpsA;
    typename Kit::List m_dataLenA;
    typename Kit::List m_parityA;
    typename Kit::List m_stopBitsA;
    typename Kit::List m_flowA;
    typename Kit::BaudList m_bpsB;
    typename Kit::List m_dataLenB;
    typename Kit::List m_parityB;
    typename Kit::List m_stopBitsB;
    typename Kit::List m_flowB;
    typename Kit::Button m_write;
    typename Kit::Button m_connect;
    typename Kit::ComList m_com;

private:
    CChoiceList& PositionList(UnitPort port, PositionField field) const {
        return *m_positionLists.at(qlxduodlg::PositionListId(port, field));
    }

    void FillFixedLists() {
        for (const UnitPort port : {UnitPort::A, UnitPort::B}) {
            for (const qlxduodlg::FixedList& fixed : qlxduodlg::kFixedLists) {
                CChoiceList& list = PositionList(port, fixed.field);
                int code = 0;
                for (const char* text : fixed.texts) list.AddEntry(text, code++);
                list.SelectIndex(-1);
            }
        }
    }

    const CSettingsLocation& m_settings;
    CSerialPort m_serialPort;
    // Holds the connected flag; drives m_serialPort and these controls.
    CConnectionWorkflow m_workflow;
    // The lists chosen by position, by template id.
    std::map<int, CChoiceList*> m_positionLists;
    std::unique_ptr<platform::CSerialPortWatch> m_portWatch;
};
