// SPDX-License-Identifier: MIT
#include "ui/qlxduodlgrules.h"

#include "qlxduo_version.h"

namespace qlxduodlg {

std::string CaptionWithVersion(const char* templateCaption) {
    return std::string(templateCaption) + " V" QLXDUO_VERSION;
}

int PositionListId(UnitPort port, PositionField field) {
    const bool a = port == UnitPort::A;
    switch (field) {
        case PositionField::Format:
            return a ? IDC_FORMAT_A : IDC_FORMAT_B;
        case PositionField::Flow:
            return a ? IDC_FLOW_A : IDC_FLOW_B;
        case PositionField::DataLength:
            return a ? IDC_DATALEN_A : IDC_DATALEN_B;
        case PositionField::StopBits:
            return a ? IDC_STOPBITS_A : IDC_STOPBITS_B;
        case PositionField::Parity:
            break;
    }
    return a ? IDC_PARITY_A : IDC_PARITY_B;
}

std::span<const int> ControlIds(WindowControl control) {
    static constexpr int kComList[] = {IDC_COM};
    static constexpr int kConnect[] = {IDC_CONNECT};
    static constexpr int kWrite[] = {IDC_WRITE};
    struct Switched {
        WindowControl control;
        std::span<const int> ids;
    };
    static constexpr Switched kSwitched[] = {
        {WindowControl::ComList, kComList},
        {WindowControl::ConnectButton, kConnect},
        {WindowControl::WriteButton, kWrite},
        {WindowControl::FormatGroup, kFormatGroupIds},
    };
    for (const Switched& switched : kSwitched) {
        if (switched.control == control) return switched.ids;
    }
    return {};
}

}  // namespace qlxduodlg
