#include "sim/codetext.h"

#include <charconv>

namespace sim {

bool ParseSixCodes(const std::string& text, unit::PortParameters& out) {
    int values[unit::kParameterCount];
    const char* cursor = text.data();
    const char* const end = text.data() + text.size();
    for (int i = 0; i < unit::kParameterCount; ++i) {
        if (i > 0 && (cursor == end || *cursor++ != ',')) return false;
        auto [next, error] = std::from_chars(cursor, end, values[i]);
        if (error != std::errc()) return false;
        cursor = next;
    }
    if (cursor != end) return false;
    out = {values[0], values[1], values[2], values[3], values[4], values[5]};
    return true;
}

std::string JoinCodes(const unit::PortParameters& p) {
    std::string text;
    for (int value : {p.format, p.flow, p.dataLength, p.baudCode, p.stopBits, p.parity}) {
        if (!text.empty()) text += ',';
        text += std::to_string(value);
    }
    return text;
}

}  // namespace sim
