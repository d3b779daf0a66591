// SPDX-License-Identifier: MIT
// The trace line format that the tool's --trace and the simulated unit's log share.
#include "link/linetrace.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(LineTrace, BytesAreEscapedToOnePrintableLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"I\r\n", "I\\r\\n"},
        {"OK,1,2,0,21,0,2\r\n", "OK,1,2,0,21,0,2\\r\\n"},
        {std::string("a\0b", 3), "a\\x00b"},
        {"\x11\x13\t\x7f", "\\x11\\x13\\x09\\x7F"},
        {"\xff\xfe\x80", "\\xFF\\xFE\\x80"},
        {"back\\slash", "back\\\\slash"},
        {" ~", " ~"},
        {"", ""},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(linetrace::EscapeBytes(bytes), text) << text;
}

TEST(LineTrace, LineCarriesTimePortDirectionAndBytes) {
    using linetrace::Direction;
    EXPECT_EQ(linetrace::FormatLine(52341.2071, "COM7", Direction::Sent, "I\r\n"),
              "52341.207 COM7 -> I\\r\\n\n");
    EXPECT_EQ(linetrace::FormatLine(0.5, "/dev/pts/3", Direction::Received, "OK\r\n"),
              "0.500 /dev/pts/3 <- OK\\r\\n\n");
    EXPECT_EQ(linetrace::FormatLine(12, "COM255", Direction::Remark, "no reply\n"),
              "12.000 COM255 -- no reply\\n\n");
}

TEST(LineTrace, ClockIsMonotonicMilliseconds) {
    const double first = linetrace::NowMs();
    const double second = linetrace::NowMs();
    EXPECT_GE(second, first);
    EXPECT_GT(first, 0);
}

}  // namespace
