// SPDX-License-Identifier: MIT
// The baud list's rule without a window: every rate once bound, a firmware's rates after a refill,
// no refill for the number it was last filled for, selection by code. Runs on both systems.
#include "ui/baudlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fakelist.h"

namespace {

using FakeBaudList = CFakeList<CBaudList>;

bool Holds(const FakeBaudList& list, const std::string& label) {
    return std::find(list.texts.begin(), list.texts.end(), label) != list.texts.end();
}

TEST(BaudList, FillsWithEveryRateAndNarrowsPerFirmware) {
    FakeBaudList list;
    EXPECT_EQ(list.GetSelectedCode(), -1) << "nothing selected before the fill";
    list.FillAll();
    ASSERT_EQ(list.EntryCount(), 28);
    EXPECT_EQ(list.texts.front(), "110bps");
    EXPECT_EQ(list.GetSelectedCode(), 8);
    EXPECT_EQ(list.FirmwareNumber(), -1) << "the fill on binding is for no firmware";

    struct Step {
        int firmware;
        int count;
        bool has200, has10400;
        bool refilled;
    };
    const Step steps[] = {
        {101, 26, false, false, true}, {101, 26, false, false, false}, {102, 27, true, false, true},
        {103, 28, true, true, true},   {210, 28, true, true, true},    {99, 0, false, false, true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.firmware);
        list.SelectCode(21);  // the user's choice, kept only when nothing is refilled
        const int before = list.emptied;
        list.RefillForFirmware(step.firmware);
        EXPECT_EQ(list.emptied - before, step.refilled ? 1 : 0);
        EXPECT_EQ(list.EntryCount(), step.count);
        EXPECT_EQ(Holds(list, "200bps"), step.has200);
        EXPECT_EQ(Holds(list, "10400bps"), step.has10400);
        EXPECT_EQ(list.FirmwareNumber(), step.firmware);
        if (step.count == 0) {
            EXPECT_EQ(list.GetSelectedCode(), -1);
        } else {
            EXPECT_EQ(list.GetSelectedCode(), step.refilled ? 8 : 21);
        }
    }
}

TEST(BaudList, SelectsByCodeOrLeavesTheSelection) {
    FakeBaudList list;
    list.FillAll();
    for (const auto& [code, selected] : std::vector<std::pair<int, int>>{
             {21, 21}, {44, 44}, {43, 43}, {7, 43}, {34, 43}, {-1, 43}, {33, 33}}) {
        list.SelectCode(code);
        EXPECT_EQ(list.GetSelectedCode(), selected) << code;
    }
    list.RefillForFirmware(101);
    list.SelectCode(44);  // 10400 bps is not offered by 1.01
    EXPECT_EQ(list.GetSelectedCode(), 8);
}

}  // namespace
