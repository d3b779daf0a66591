// SPDX-License-Identifier: MIT
#pragma once
// CQlxduoDlg: the utility's only window as a Win32 dialog from template 102. Shows the COM port
// choice, both unit ports' parameters side by side, the firmware and a coloured status line;
// drives the unit through the connection workflow, for which it supplies the window operations.

#include "link/serialport.h"
#include "ui/win32/comboboxbps.h"
#include "ui/win32/comboboxcom.h"
#include "ui/win32/dialogkn.h"
#include "ui/win32/staticex.h"
#include "ui/windowops.h"
#include "ui/workflow.h"

class CQlxduoDlg : public CDialogKn2, public CWindowOps {
public:
    explicit CQlxduoDlg(HWND parent = nullptr);
    ~CQlxduoDlg() override;

    // The workflow's operations, under the names the buttons and the close request use.
    void Connect();
    void WriteParameters();
    void SwitchToNormalMode();
    void Disconnect();
    bool IsConnected() const { return m_workflow.IsConnected(); }
    // Selects the remembered COM port in the port list (read from the settings file).
    void LoadComPort();

    // CWindowOps
    void ShowStatus(const std::string& text, StatusOutcome outcome) override;
    void ShowStatusDetails(const std::string& details) override;
    void SetFirmwareLabel(const std::string& text) override;
    void ClearFirmwareLabel() override;
    int SelectedPosition(UnitPort port, PositionField field) const override;
    void SelectPosition(UnitPort port, PositionField field, int position) override;
    int SelectedBaudCode(UnitPort port) const override;
    void SelectBaudCode(UnitPort port, int code) override;
    void RefillBaudLists(int firmwareNumber) override;
    void EnableControl(WindowControl control, bool enable) override;
    void FocusConnectButton() override;
    bool AskOkCancel(const std::string& question) override;
    int GetSelectedPort() const override;
    void SaveComPort() override;
    void CloseWindow() override;

protected:
    BOOL OnInitDialog() override;
    void OnClose() override;
    void OnEndSession(bool ending) override;
    bool OnCommand(int id, int notification) override;

private:
    void AttachControls();
    void FillFixedLists();
    void SetIcons();
    void MakeStatusTooltip();
    CComboBox& PositionList(UnitPort port, PositionField field) const;
    CComboBoxBps& BaudList(UnitPort port) { return port == UnitPort::A ? m_bpsA : m_bpsB; }
    const CComboBoxBps& BaudList(UnitPort port) const { return port == UnitPort::A ? m_bpsA : m_bpsB; }

    // The format-conversion group: Ａ → list → Ｂ and Ａ ← list ← Ｂ.
    CStatic m_letterA;
    CStatic m_arrowAIn;
    CComboBox m_formatA;
    CStatic m_arrowAOut;
    CStatic m_arrowBIn;
    CComboBox m_formatB;
    CStatic m_arrowBOut;
    CStatic m_letterB;
    CStaticEx m_firmware;
    CStaticEx m_status;
    CComboBoxBps m_bpsA;
    CComboBox m_dataLenA;
    CComboBox m_parityA;
    CComboBox m_stopBitsA;
    CComboBox m_flowA;
    CComboBoxBps m_bpsB;
    CComboBox m_dataLenB;
    CComboBox m_parityB;
    CComboBox m_stopBitsB;
    CComboBox m_flowB;
    CButton m_write;
    CButton m_connect;
    CComboBoxCom m_com;
    HICON m_hIcon;
    CSerialPort m_serialPort;
    // Holds the connected flag; drives m_serialPort and this window's controls.
    CConnectionWorkflow m_workflow;
    // The status line's tooltip: why a port would not open, or that the device went away.
    HWND m_statusTip = nullptr;
    std::wstring m_statusTipText;
};
