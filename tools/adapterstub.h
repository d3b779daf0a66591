// SPDX-License-Identifier: MIT
#pragma once
// Stand-in for the adapter lookup of platform/portlist.h until it is merged; removed then.
#include <string>

namespace platform {
struct SerialAdapter {
    std::string vendorId, productId, manufacturer, product, serial, stableName, description;
};
inline SerialAdapter SerialAdapterOf(const std::string&) {
    return {};
}
inline std::string DescribeAdapter(const SerialAdapter&) {
    return {};
}
}  // namespace platform
