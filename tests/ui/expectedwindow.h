// SPDX-License-Identifier: MIT
#pragma once
// The main window as it stands once it has connected at start to a unit of firmware 1.03 holding
// kUnitA and kUnitB: what each list shows, which controls are enabled, the caption, the firmware
// label and the bytes the unit received. The Qt window's tests and the Windows window's test under
// Wine both hold their window to it.

#include "res/resource.h"

namespace expectedwindow {

inline constexpr const char* kUnitA = "1,2,0,21,0,2";  // format 1, XON/XOFF, 8 bit, 9600 bps, 1 stop, even
inline constexpr const char* kUnitB = "0,0,1,33,1,1";  // none, no flow, 7 bit, 115200 bps, 2 stop, odd

inline constexpr const char* kCaption = "QLX-DUO設定ユーティリティ V1.03";
inline constexpr const char* kConnectWire = "I\r\nV\r\nAG A\r\nAG B\r\n";
inline constexpr const char* kFirmwareLabel = "V1.03";
// Firmware 1.03 offers every rate.
inline constexpr int kBaudRates = 28;

struct Selection {
    int id;
    const char* text;
};
// The entry each list shows: the unit's values, and the port connected to.
inline constexpr Selection kSelections[] = {
    {IDC_FORMAT_A, "フォーマット1"}, {IDC_FLOW_A, "XON/XOFF"}, {IDC_DATALEN_A, "8bit"},
    {IDC_BPS_A, "9600bps"},          {IDC_STOPBITS_A, "1bit"}, {IDC_PARITY_A, "even"},
    {IDC_FORMAT_B, "0:変換なし"},    {IDC_FLOW_B, "non"},      {IDC_DATALEN_B, "7bit"},
    {IDC_BPS_B, "115200bps"},        {IDC_STOPBITS_B, "2bit"}, {IDC_PARITY_B, "odd"},
};
// The COM list shows the port the unit was reached on, which each test chooses.

struct State {
    int id;
    bool enabled;
};
// Connected: the port choice closed, writing open; firmware 1.03 leaves the format group disabled.
inline constexpr State kEnabled[] = {
    {IDC_COM, false},         {IDC_CONNECT, false},    {IDC_WRITE, true},        {IDC_FORMAT_A, false},
    {IDC_FORMAT_B, false},    {IDC_LETTER_A, false},   {IDC_LETTER_B, false},    {IDC_ARROW_A_IN, false},
    {IDC_ARROW_A_OUT, false}, {IDC_ARROW_B_IN, false}, {IDC_ARROW_B_OUT, false},
};

}  // namespace expectedwindow
