// SPDX-License-Identifier: MIT
// The unit's codes and texts: firmware numbers, the rates each firmware offers, "AG" data parsing
// and "AS" formatting.
#include <gtest/gtest.h>

#include <climits>
#include <set>

#include "link/protocol.h"

namespace {

TEST(Firmware, NumberFromVersionText) {
    struct Case {
        const char* version;
        int number;
    };
    for (const Case& c : {Case{"1.03", 103}, Case{"2.10", 210}, Case{"0.06", 6}, Case{"1.00", 100},
                          Case{"1.03 build 7", 103}, Case{"1.0", 0}, Case{"", 0}}) {
        EXPECT_EQ(unit::FirmwareNumber(c.version), c.number) << '"' << c.version << '"';
    }
}

TEST(Firmware, RatesOffered) {
    struct Case {
        int firmware;
        size_t count;
        bool has200;
        bool has10400;
    };
    for (const Case& c : {Case{101, 26, false, false}, Case{102, 27, true, false}, Case{103, 28, true, true},
                          Case{210, 28, true, true}, Case{99, 0, false, false}}) {
        std::vector<unit::BaudEntry> rates = unit::BaudRatesForFirmware(c.firmware);
        std::set<int> codes;
        for (const unit::BaudEntry& e : rates) codes.insert(e.code);
        EXPECT_EQ(rates.size(), c.count) << c.firmware;
        EXPECT_EQ(codes.count(43) == 1, c.has200) << c.firmware;
        EXPECT_EQ(codes.count(44) == 1, c.has10400) << c.firmware;
        // Offered in table order: each entry's position in the table rises.
        for (size_t i = 1; i < rates.size(); ++i) {
            EXPECT_LT(unit::FindBaudCode(rates[i - 1].code), unit::FindBaudCode(rates[i].code));
        }
    }
}

TEST(BaudTable, CodesAreUniqueAndFound) {
    std::set<int> codes;
    for (const unit::BaudEntry& e : unit::BaudTable) codes.insert(e.code);
    EXPECT_EQ(codes.size(), unit::BaudTable.size());
    struct Case {
        int code;
        const char* label;
    };
    for (const Case& c : {Case{8, "110bps"}, Case{21, "9600bps"}, Case{43, "200bps"}, Case{44, "10400bps"},
                          Case{33, "115200bps"}, Case{34, nullptr}, Case{-1, nullptr}}) {
        const unit::BaudEntry* entry = unit::FindBaudCode(c.code);
        if (c.label == nullptr) {
            EXPECT_EQ(entry, nullptr) << c.code;
        } else {
            ASSERT_NE(entry, nullptr) << c.code;
            EXPECT_STREQ(entry->label, c.label);
        }
    }
}

TEST(Parameters, ParsedFromReplyData) {
    const unit::PortParameters before{7, 7, 7, 7, 7, 7};
    struct Case {
        const char* data;
        int stored;
        unit::PortParameters after;
    };
    for (const Case& c : {
             Case{"1,2,0,21,0,2", 6, {1, 2, 0, 21, 0, 2}},
             Case{"1,2,0", 3, {1, 2, 0, 7, 7, 7}},
             Case{"", 0, before},
             Case{"garbage", 1, {0, 7, 7, 7, 7, 7}},
             Case{" 5", 1, {5, 7, 7, 7, 7, 7}},
             Case{"3x,-1", 2, {3, -1, 7, 7, 7, 7}},
             Case{"1,,2", 3, {1, 0, 2, 7, 7, 7}},
             Case{"0,0,1,44,1,1,9,9", 6, {0, 0, 1, 44, 1, 1}},
             // Beyond int: held at its ends, never wrapped into a code (4294967317 is 2^32 + 21).
             Case{"4294967317,-99999999999", 2, {INT_MAX, INT_MIN, 7, 7, 7, 7}},
         }) {
        unit::PortParameters p = before;
        EXPECT_EQ(unit::ParseParameters(c.data, p), c.stored) << '"' << c.data << '"';
        EXPECT_EQ(p, c.after) << '"' << c.data << '"';
    }
}

TEST(Parameters, ReplyDataNamesTheListEntries) {
    unit::PortParameters p;
    ASSERT_EQ(unit::ParseParameters("1,2,0,21,0,2", p), 6);
    const std::vector<std::string> texts = {"フォーマット1", "XON/XOFF", "8bit", "9600bps", "1bit", "even"};
    for (size_t i = 0; i < texts.size(); ++i) {
        const unit::ParameterField& field = unit::kParameterFields.at(i);
        EXPECT_EQ(unit::ListText(field, p.*field.member), texts[i]) << field.key;
    }
}

TEST(Commands, LinesByteForByte) {
    struct Case {
        std::string line;
        const char* expected;
    };
    for (const Case& c : {
             Case{unit::FormatSetCommand('A', {1, 2, 0, 21, 0, 2}), "AS A 1,2,0,21,0,2\r\n"},
             Case{unit::FormatSetCommand('B', {-1, 0, -1, 33, 0, -1}), "AS B -1,0,-1,33,0,-1\r\n"},
             Case{unit::GetCommand('A'), "AG A\r\n"},
             Case{unit::GetCommand('B'), "AG B\r\n"},
             Case{unit::kStoreCommand, "W 4172093615\r\n"},
         }) {
        EXPECT_EQ(c.line, c.expected);
    }
}

TEST(Identity, FirstSixCharactersDecide) {
    struct Case {
        const char* identity;
        bool unit;
    };
    for (const Case& c : {Case{"QLX-11", true}, Case{"QLX-11DUO rev2", true}, Case{"QLX-1", false},
                          Case{"qlx-11", false}, Case{" QLX-11", false}, Case{"", false}}) {
        EXPECT_EQ(unit::IsUnitIdentity(c.identity), c.unit) << '"' << c.identity << '"';
    }
}

}  // namespace
