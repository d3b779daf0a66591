// SPDX-License-Identifier: MIT
// Port numbers as a person writes them, in every spelling the programs take. How a listed port's text is read
// is the COM list's test (comportindex_test).
#include "platform/portname.h"

#include <gtest/gtest.h>

namespace {

TEST(PortName, TextsReadAsPortNumbers) {
    using platform::PortText;
    struct Case {
        const char* text;
        PortText read;
        int port;  // on Port
    };
    const Case cases[] = {
        {"7", PortText::Port, 7},
        {"COM7", PortText::Port, 7},
        {"com7", PortText::Port, 7},
        {"cOm255", PortText::Port, 255},
        {"COM007", PortText::Port, 7},
        {"\\\\.\\COM7", PortText::Port, 7},
        {"\\\\.\\com12", PortText::Port, 12},
        {"0", PortText::OutOfRange, 0},
        {"COM256", PortText::OutOfRange, 0},
        {"-7", PortText::OutOfRange, 0},
        {"99999999999", PortText::OutOfRange, 0},
        {"\\\\.\\COM0", PortText::OutOfRange, 0},
        {"", PortText::NotANumber, 0},
        {"COM", PortText::NotANumber, 0},
        {"7x", PortText::NotANumber, 0},
        {" 7", PortText::NotANumber, 0},
        {"COM 7", PortText::NotANumber, 0},
        {"COM+7", PortText::NotANumber, 0},
        {"CON7", PortText::NotANumber, 0},
        {"\\\\.\\7", PortText::NotANumber, 0},
        {"\\\\.\\COM", PortText::NotANumber, 0},
        {"\\\\?\\COM7", PortText::NotANumber, 0},
    };
    for (const Case& c : cases) {
        int port = 0;
        EXPECT_EQ(platform::ReadPortNumber(c.text, port), c.read) << c.text;
        EXPECT_EQ(port, c.port) << c.text;
    }
}

}  // namespace
