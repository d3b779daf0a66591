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
            return a ? res::IDC_FORMAT_A : res::IDC_FORMAT_B;
        case PositionField::Flow:
            return a ? res::IDC_FLOW_A : res::IDC_FLOW_B;
        case PositionField::DataLength:
            return a ? res::IDC_DATALEN_A : res::IDC_DATALEN_B;
        case PositionField::StopBits:
            return a ? res::IDC_STOPBITS_A : res::IDC_STOPBITS_B;
        case PositionField::Parity:
            break;
    }
    return a ? res::IDC_PARITY_A : res::IDC_PARITY_B;
}

int BaudListId(UnitPort port) {
    return port == UnitPort::A ? res::IDC_BPS_A : res::IDC_BPS_B;
}

}  // namespace qlxduodlg
