// SPDX-License-Identifier: MIT
#pragma once
// CQlxduoDlg: the utility's only window. Shows the COM port choice, both unit ports' parameters
// side by side, the firmware and a coloured status line; drives the unit through the connection
// workflow, for which it supplies the window operations.

#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "link/serialport.h"
#include "ui/qt/comboboxbps.h"
#include "ui/qt/comboboxcom.h"
#include "ui/qt/dialogkn.h"
#include "ui/qt/staticex.h"
#include "ui/windowops.h"
#include "ui/workflow.h"

class CQlxduoDlg : public CDialogKn2, public CWindowOps {
    Q_OBJECT

public:
    explicit CQlxduoDlg(QWidget* parent = nullptr);
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
    bool OnInitDialog() override;
    void OnClose() override;

private:
    void AttachControls();
    void FillFixedLists();
    // On the thread of a process told to end: has this window's thread leave the connection.
    void LeaveBeforeProcessEnd();
    const QComboBox& PositionList(UnitPort port, PositionField field) const;
    QComboBox& PositionList(UnitPort port, PositionField field);
    const CComboBoxBps& BaudList(UnitPort port) const { return port == UnitPort::A ? m_bpsA : m_bpsB; }
    CComboBoxBps& BaudList(UnitPort port) { return port == UnitPort::A ? m_bpsA : m_bpsB; }

    // The format-conversion group: Ａ → list → Ｂ and Ａ ← list ← Ｂ.
    QLabel m_letterA;
    QLabel m_arrowAIn;
    QComboBox m_formatA;
    QLabel m_arrowAOut;
    QLabel m_arrowBIn;
    QComboBox m_formatB;
    QLabel m_arrowBOut;
    QLabel m_letterB;
    CStaticEx m_firmware;
    CStaticEx m_status;
    CComboBoxBps m_bpsA;
    QComboBox m_dataLenA;
    QComboBox m_parityA;
    QComboBox m_stopBitsA;
    QComboBox m_flowA;
    CComboBoxBps m_bpsB;
    QComboBox m_dataLenB;
    QComboBox m_parityB;
    QComboBox m_stopBitsB;
    QComboBox m_flowB;
    QPushButton m_write;
    QPushButton m_connect;
    CComboBoxCom m_com;
    QIcon m_icon;
    CSerialPort m_serialPort;
    // Holds the connected flag; drives m_serialPort and this window's controls.
    CConnectionWorkflow m_workflow;
};
