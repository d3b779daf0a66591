// SPDX-License-Identifier: MIT
#include "ui/dialogunits.h"

#include <algorithm>

namespace dlgunits {

int MulDiv(int value, int numerator, int denominator) {
    const long long scaled = static_cast<long long>(value) * numerator * 2;
    const long long rounded = scaled >= 0 ? scaled + denominator : scaled - denominator;
    return static_cast<int>(rounded / (2LL * denominator));
}

PixelRect MapDialogRect(const BaseUnits& units, int x, int y, int width, int height) {
    const int left = MulDiv(x, units.x, 4);
    const int top = MulDiv(y, units.y, 8);
    const int right = MulDiv(x + width, units.x, 4);
    const int bottom = MulDiv(y + height, units.y, 8);
    return {left, top, right - left, bottom - top};
}

int OpenedListHeight(const BaseUnits& units, int y, int height, int closedHeight) {
    return std::max(0, MapDialogRect(units, 0, y, 0, height).height - closedHeight);
}

}  // namespace dlgunits
