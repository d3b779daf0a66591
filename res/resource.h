// SPDX-License-Identifier: MIT
// The ids of the program's resources and of the main window's controls, read by the resource script
// (qlxduo.rc) and by the C++ code alike. Plain #defines: the resource compiler reads nothing else.
#ifndef QLXDUO_RES_RESOURCE_H
#define QLXDUO_RES_RESOURCE_H

#define IDI_QLXDUO 128         // the application icon
#define IDD_QLXDUO_DIALOG 102  // the main window's template

#ifndef IDC_STATIC
#define IDC_STATIC (-1)  // a control nobody addresses
#endif
#define IDC_BPS_A 1000
#define IDC_DATALEN_A 1001
#define IDC_PARITY_A 1002
#define IDC_STOPBITS_A 1003
#define IDC_FLOW_A 1004
#define IDC_BPS_B 1005
#define IDC_DATALEN_B 1006
#define IDC_PARITY_B 1007
#define IDC_STOPBITS_B 1008
#define IDC_FLOW_B 1009
#define IDC_WRITE 1011
#define IDC_COM 1013
#define IDC_FORMAT_A 1014
#define IDC_FORMAT_B 1015
#define IDC_CONNECT 1016
#define IDC_STATUS 1019
#define IDC_FIRMWARE 1020
#define IDC_LETTER_A 1022
#define IDC_ARROW_A_IN 1023  // Ａ → list 1014
#define IDC_ARROW_B_IN 1024  // Ａ ← list 1015
#define IDC_LETTER_B 1025
#define IDC_ARROW_A_OUT 1026  // list 1014 → Ｂ
#define IDC_ARROW_B_OUT 1027  // list 1015 ← Ｂ

#endif
