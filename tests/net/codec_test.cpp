// SPDX-License-Identifier: MIT
// The network port's protocols byte by byte, with no connection: Telnet's framing and option
// negotiation as a server may send them, split anywhere; and the COM port control option's
// requests and the answers matched with them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/rfc2217.h"
#include "net/telnet.h"

namespace {

using platform::CComPortControl;
using platform::CTelnetCodec;
using Subnegotiations = std::vector<CTelnetCodec::Subnegotiation>;

constexpr unsigned char kComPort = CComPortControl::kOption;

// What a codec made of the bytes it was given.
struct Decoded {
    std::string data;
    Subnegotiations subnegotiations{};
    std::string answers{};
    bool comPortOn = false;
    bool comPortRefused = false;
    bool operator==(const Decoded&) const = default;
};

// A codec as the network port makes one, having offered its options, given the bytes in the pieces
// that the cuts (ascending offsets) make of them.
Decoded Decode(const std::string& bytes, const std::vector<size_t>& cuts) {
    CTelnetCodec codec({platform::telnet::kBinary, platform::telnet::kSuppressGoAhead, kComPort},
                       {platform::telnet::kBinary, platform::telnet::kSuppressGoAhead});
    codec.Offer();
    Decoded decoded;
    size_t from = 0;
    for (size_t cut : cuts) {
        codec.Decode(std::string_view(bytes).substr(from, cut - from), decoded.data, decoded.subnegotiations);
        from = cut;
    }
    codec.Decode(std::string_view(bytes).substr(from), decoded.data, decoded.subnegotiations);
    decoded.answers = codec.TakeAnswers();
    decoded.comPortOn = codec.OursOn(kComPort);
    decoded.comPortRefused = codec.OursRefused(kComPort);
    return decoded;
}

std::string Repeated(const std::string& bytes, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) all += bytes;
    return all;
}

std::string Hex(const std::string& bytes) {
    std::string text;
    for (const char byte : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02x ", static_cast<unsigned char>(byte));
        text += pair;
    }
    return text;
}

TEST(TelnetCodec, TakesBytesApartWhereverTheyAreSplit) {
    using S = std::string;
    const S iac = "\xff", sb = "\xff\xfa", se = "\xff\xf0", nop = "\xff\xf1", ga = "\xff\xf9";
    const S confirmation = sb + "\x2c\x65" + S("\x00\x01\xc2\x00", 4) + se;
    const S longest(CTelnetCodec::kLongestSubnegotiation, 'x');
    struct Case {
        const char* name;
        std::string bytes;
        Decoded decoded;
    };
    const Case cases[] = {
        {"plain data", "OK,QLX-11D\r\n", {"OK,QLX-11D\r\n"}},
        {"IAC IAC is one data byte",
         "QLX-11" + iac + iac + iac + iac + "D",
         {"QLX-11\xff\xff"
          "D"}},
        {"no operation and go ahead inside a reply",
         "OK" + nop + ",1.0" + ga + "3\r" + nop + "\n",
         {"OK,1.03\r\n"}},
        {"a confirmation", confirmation, {"", {{kComPort, S("\x65\x00\x01\xc2\x00", 5)}}}},
        {"IAC IAC inside a subnegotiation",
         sb + "\x2c\x65" + S("\x00\x00", 2) + iac + iac + "\x01" + se,
         {"", {{kComPort, S("\x65\x00\x00\xff\x01", 5)}}}},
        {"no operation and go ahead inside a subnegotiation",
         sb + "\x2c\x66" + nop + "\x08" + ga + se + "A",
         {"A", {{kComPort, "\x66\x08"}}}},
        {"data and a confirmation between",
         "O" + confirmation + "K",
         {"OK", {{kComPort, S("\x65\x00\x01\xc2\x00", 5)}}}},
        {"an unterminated subnegotiation swallows what follows", sb + "\x2c\x65OK,QLX-11D\r\n", {}},
        {"an unterminated subnegotiation ended late",
         sb +
             "\x2c\x66"
             "OK" +
             se + "\r\n",
         {"\r\n", {{kComPort, "\x66OK"}}}},
        {"a subnegotiation cut short by a negotiation is dropped",
         sb + "\x2c\x66\x08" + iac + "\xfb\x01OK",
         {"OK", {}, "\xff\xfe\x01"}},
        {"the longest subnegotiation", sb + "\x63" + longest + se, {"", {{0x63, longest}}}},
        {"one byte longer is dropped whole", sb + "\x63" + longest + "x" + se + "OK", {"OK"}},
        {"stray commands mean nothing", se + "O" + iac + "\x41" + "K" + iac + "\xf2", {"OK"}},
        {"an unknown option offered is refused once",
         Repeated(iac + "\xfb\x63", 3),
         {"", {}, "\xff\xfe\x63"}},
        {"an unknown option asked for is refused once",
         Repeated(iac + "\xfd\x63", 3),
         {"", {}, "\xff\xfc\x63"}},
        {"a refusal again once the peer changed its mind",
         Repeated(iac + "\xfb\x63" + iac + "\xfc\x63", 2),
         {"", {}, "\xff\xfe\x63\xff\xfe\x63"}},
        {"ser2net's greeting",
         S("\xff\xfb\x03\xff\xfd\x03\xff\xfb\x01\xff\xfe\x01\xff\xfd\x00\xff\xfb\x00\xff\xfd\x2c", 21),
         {"", {}, "\xff\xfe\x01", true}},
        {"the option agreed twice is answered never",
         iac + "\xfd\x2c" + iac + "\xfd\x2c",
         {"", {}, "", true}},
        {"the option turned down", iac + "\xfe\x2c", {"", {}, "", false, true}},
        {"the option taken back after agreeing",
         iac + "\xfd\x2c" + iac + "\xfe\x2c",
         {"", {}, S("\xff\xfc\x2c", 3), false, true}},
        {"a flood of changes gets a bounded answer queue",
         Repeated(iac + "\xfb\x63" + iac + "\xfc\x63", 2000),
         {"", {}, Repeated("\xff\xfe\x63", CTelnetCodec::kMostAnswers / 3)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded whole = Decode(c.bytes, {});
        EXPECT_EQ(whole.data, c.decoded.data);
        EXPECT_EQ(whole.subnegotiations, c.decoded.subnegotiations);
        EXPECT_EQ(Hex(whole.answers), Hex(c.decoded.answers));
        EXPECT_EQ(whole.comPortOn, c.decoded.comPortOn);
        EXPECT_EQ(whole.comPortRefused, c.decoded.comPortRefused);
        // Split in two at every byte, and byte by byte: the same.
        std::vector<size_t> everyByte;
        for (size_t cut = 1; cut < c.bytes.size(); ++cut) {
            if (c.bytes.size() < 200) {
                EXPECT_EQ(Decode(c.bytes, {cut}), whole) << "split at " << cut;
            }
            everyByte.push_back(cut);
        }
        EXPECT_EQ(Decode(c.bytes, everyByte), whole) << "byte by byte";
    }
}

TEST(TelnetCodec, OffersAndEscapes) {
    CTelnetCodec codec({0, 3, kComPort}, {0, 3});
    EXPECT_EQ(Hex(codec.Offer()), "ff fb 00 ff fb 03 ff fb 2c ff fd 00 ff fd 03 ");
    EXPECT_EQ(codec.Offer(), "") << "offered once";
    EXPECT_EQ(CTelnetCodec::Escaped(std::string("a\xff\xff"
                                                "b",
                                                4)),
              std::string("a\xff\xff\xff\xff"
                          "b",
                          6));
    EXPECT_EQ(Hex(CTelnetCodec::Framed(kComPort, std::string("\x01\x00\xff", 3))),
              "ff fa 2c 01 00 ff ff ff f0 ");
}

// The requests as they go out, and what the answers make of them: a server that answers all, one
// in front of a pseudo-terminal (no RTS, no DTR), one that sets other values, one that says nothing.
TEST(ComPortControl, MatchesAnswersWithRequests) {
    using S = std::string;
    const S rate = S("\x65\x00\x01\xc2\x00", 5), size = "\x66\x08", parity = "\x67\x01", stop = "\x68\x01";
    const S outFlow = "\x69\x01", inFlow = "\x69\x0e", rtsOff = "\x69\x0c", dtrOff = "\x69\x09";
    struct Case {
        const char* name;
        platform::SerialLineFormat format;
        std::vector<std::string> answers;
        bool awaited;
        std::string disagreement{};
        std::vector<std::string> remarks{};
    };
    const platform::SerialLineFormat unitFormat{115200, 8, 0, 0};
    const Case cases[] = {
        {"every request answered",
         unitFormat,
         {outFlow, inFlow, rtsOff, dtrOff, rate, size, parity, stop},
         false},
        {"in front of a pseudo-terminal",
         unitFormat,
         {outFlow, inFlow, rate, size, parity, stop},
         false,
         "",
         {"the server did not confirm RTS off; going on without it",
          "the server did not confirm DTR off; going on without it"}},
        {"notifications and answers to nothing asked are let go",
         unitFormat,
         {"\x6b\x30", "\x6a\x00", outFlow, inFlow, rtsOff, dtrOff, rate, rate, S("\x65\x00\x00\x25\x80", 5),
          size, "\x6b\x00", parity, stop},
         false},
        {"another rate",
         unitFormat,
         {S("\x65\x00\x00\x25\x80", 5)},
         true,
         "the server set the rate to 9600, not 115200",
         {"the server did not confirm no outbound flow control; going on without it",
          "the server did not confirm no inbound flow control; going on without it",
          "the server did not confirm RTS off; going on without it",
          "the server did not confirm DTR off; going on without it"}},
        {"another data size",
         unitFormat,
         {outFlow, inFlow, rtsOff, dtrOff, rate, "\x66\x07", parity, stop},
         false,
         "the server set 7 data bits, not 8"},
        {"another parity",
         {9600, 7, 2, 0},
         {outFlow, inFlow, rtsOff, dtrOff, S("\x65\x00\x00\x25\x80", 5), "\x66\x07", "\x67\x01", stop},
         false,
         "the server set the parity to none, not even"},
        {"other stop bits",
         {9600, 8, 0, 1},
         {outFlow, inFlow, rtsOff, dtrOff, S("\x65\x00\x00\x25\x80", 5), size, parity, "\x68\x02"},
         false,
         "the server set 2 stop bits, not 1.5"},
        {"the first of two differences",
         unitFormat,
         {rate, "\x66\x07", "\x67\x03"},
         true,
         "the server set 7 data bits, not 8",
         {"the server did not confirm no outbound flow control; going on without it",
          "the server did not confirm no inbound flow control; going on without it",
          "the server did not confirm RTS off; going on without it",
          "the server did not confirm DTR off; going on without it"}},
        {"a line control set otherwise",
         unitFormat,
         {"\x69\x03", inFlow, rtsOff, dtrOff, rate, size, parity, stop},
         false,
         "",
         {"the server set hardware outbound flow control, not no outbound flow control; going on"}},
        {"an answer of the wrong length is none",
         unitFormat,
         {outFlow, inFlow, rtsOff, dtrOff, S("\x65\x00\x25\x80", 4), size, parity, stop},
         false,
         "",
         {"the server did not confirm the rate 115200; going on without it"}},
        {"no answer at all", unitFormat, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CComPortControl control;
        control.AskLineFormat(c.format);
        for (const std::string& answer : c.answers) control.Answer(answer);
        EXPECT_EQ(control.FormatAwaited(), c.awaited);
        EXPECT_EQ(control.Disagreement(), c.disagreement);
        EXPECT_EQ(control.TakeRemarks(), c.remarks);
        EXPECT_TRUE(control.TakeRemarks().empty()) << "each remark once";
    }
}

TEST(ComPortControl, AsksForALineOnlyToChangeIt) {
    using Setting = CComPortControl::Setting;
    CComPortControl control;
    // 115200 8N1 and the lines off; a rate with IAC bytes in it is escaped.
    EXPECT_EQ(
        Hex(control.AskLineFormat({115200, 8, 0, 0})),
        "ff fa 2c 05 01 ff f0 ff fa 2c 05 0e ff f0 ff fa 2c 05 0c ff f0 ff fa 2c 05 09 ff f0 "
        "ff fa 2c 01 00 01 c2 00 ff f0 ff fa 2c 02 08 ff f0 ff fa 2c 03 01 ff f0 ff fa 2c 04 01 ff f0 ");
    EXPECT_EQ(Hex(control.AskLine(Setting::Rts, true)), "ff fa 2c 05 0b ff f0 ");
    EXPECT_EQ(control.AskLine(Setting::Rts, true), "");
    EXPECT_EQ(control.AskLine(Setting::Dtr, false), "");
    EXPECT_EQ(Hex(control.AskLine(Setting::Dtr, true)), "ff fa 2c 05 08 ff f0 ");
    // The lines are asked for anew with each line format, as a driver may move them with it.
    EXPECT_EQ(Hex(control.AskLineFormat({0x00ff00ff, 5, 4, 2})),
              "ff fa 2c 05 01 ff f0 ff fa 2c 05 0e ff f0 ff fa 2c 05 0c ff f0 ff fa 2c 05 09 ff f0 "
              "ff fa 2c 01 00 ff ff 00 ff ff ff f0 ff fa 2c 02 05 ff f0 ff fa 2c 03 05 ff f0 ff fa 2c 04 02 "
              "ff f0 ");
    // Given up at the deadline, each told once.
    control.GiveUpFormat(1000);
    EXPECT_FALSE(control.FormatAwaited());
    const std::vector<std::string> remarks = control.TakeRemarks();
    ASSERT_EQ(remarks.size(), 8u);
    EXPECT_EQ(remarks.back(), "the server did not confirm 2 stop bits within 1000 ms; going on without it");
}

}  // namespace
