// SPDX-License-Identifier: MIT
#pragma once
// CQlxduoDlg: the utility's only window on Qt Widgets. The window itself (its controls, the
// workflow's window operations, the start-up) is CQlxduoWindow's; here is what only Qt does.

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QSocketNotifier>
#include <memory>

#include "ui/qlxduowindow.h"
#include "ui/qt/comboboxbps.h"
#include "ui/qt/comboboxcom.h"
#include "ui/qt/dialogkn.h"
#include "ui/qt/dropdownlist.h"
#include "ui/qt/staticex.h"

// The Qt classes the window's controls are made of.
struct QtControls {
    using Static = QLabel;
    using Button = QPushButton;
    using List = CDropDownList<CChoiceList>;
    using BaudList = CComboBoxBps;
    using ComList = CComboBoxCom;
    using ColourLabel = CStaticEx;
    static COLORREF ButtonFace() { return SysColor(QPalette::Button); }
};

class CQlxduoDlg : public CDialogKn2, public CQlxduoWindow<QtControls> {
    Q_OBJECT

public:
    explicit CQlxduoDlg(QWidget* parent = nullptr);
    ~CQlxduoDlg() override;

    // CWindowOps
    void ShowStatusDetails(const std::string& details) override;
    void FocusConnectButton() override;
    bool AskOkCancel(const std::string& question) override;
    void CloseWindow() override;

protected:
    bool OnInitDialog() override;
    void OnClose() override;
    void EnableItem(int id, bool enable) override;
    void WatchPorts(std::intptr_t eventSource) override;
    void ShowComDevices() override;

private:
    // On the thread of a process told to end: has this window's thread leave the connection.
    void LeaveBeforeProcessEnd();

    QIcon m_icon;
    // Goes before the watch whose descriptor it watches.
    std::unique_ptr<QSocketNotifier> m_portNews;
};
