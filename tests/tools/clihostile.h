// SPDX-License-Identifier: MIT
#pragma once
// Network ports against servers of the test's own (hostilepeer.h) that flood Telnet commands at full
// speed, turn the tool away, or set another rate than asked: by the Linux tool and by the Windows tool
// under Wine. Whatever the peer sends, the tool ends within its deadlines, with bounded memory, and
// says what the server did.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "clirun.h"
#include "hostilepeer.h"
#include "testenv.h"
#include "tools/cli.h"

namespace clitest {

namespace hostile {

// A connection may outlast the deadlines that apply to it by this much: a hang guard against a
// tool that reads on while the peer floods (it used to run for 11 s to forever), not a speed.
constexpr double kSlackMs = 4000;
// A wait that must end, however slow the machine.
constexpr int kNoHangMs = testenv::kHangGuardMs;
// What a flood may add to the tool's largest resident set, against the same tool with a silent peer.
constexpr long kMostGrowthKb = 8 * 1024;
// The deadlines: the server's agreement to serial port control, and one reply.
constexpr double kNegotiationMs = 1000;
constexpr double kReplyMs = 200;

struct HostileCase {
    std::string name;
    CHostilePeer::Conduct conduct;
    std::vector<std::string> args;  // {PEER} stands for the peer's URL, {UNIT} for a unit's port
    int status;
    std::string outHas;
    std::string errHas;
    double deadlineMs;  // what the deadlines allow the connection
    bool flood = false;
};

inline std::vector<HostileCase> Cases() {
    const std::string noReply = "{PEER}: no accepted reply to \"I\"";
    const std::string noAgreement =
        "{PEER}: cannot open the port: the server did not agree to serial port control (RFC 2217) within "
        "1000 ms\n";
    struct Flood {
        const char* name;
        std::string bytes;
    };
    const Flood floods[] = {
        {"IAC NOP", "\xff\xf1"},
        {"IAC WILL 99", "\xff\xfb\x63"},
        {"IAC DO 99", "\xff\xfd\x63"},
        {"IAC SB with no end", "\xff\xfa\x2c" + std::string(4093, 'x')},
    };
    std::vector<HostileCase> cases = {
        // First: the silent peer whose memory the floods are measured against.
        {"a silent unit", {.agrees = true}, {"read", "{PEER}"}, cli::kExitUnitFailed, "", noReply, kReplyMs},
    };
    for (const Flood& flood : floods) {
        cases.push_back({std::string(flood.name) + " before the server agrees",
                         {.flood = flood.bytes},
                         {"read", "{PEER}"},
                         cli::kExitOpenFailed,
                         "",
                         noAgreement,
                         kNegotiationMs,
                         true});
        cases.push_back({std::string(flood.name) + " during a read",
                         {.agrees = true, .flood = flood.bytes},
                         {"read", "{PEER}"},
                         cli::kExitUnitFailed,
                         "",
                         noReply,
                         kReplyMs,
                         true});
    }
    const std::string inUse = "Port already in use\r\n";
    cases.insert(
        cases.end(),
        {
            {"a flooding peer does not hide the unit found",
             {.agrees = true, .flood = "\xff\xf1"},
             {"find", "{PEER}", "{UNIT}"},
             cli::kExitSuccess,
             ": QLX-11D, firmware 1.03\n",
             "",
             kReplyMs,
             true},
            {"a server that turns the tool away",
             {.greeting = "\xff\xfb\x03\xff\xfd\x03\xff\xfd\x2c" + inUse, .closes = true},
             {"read", "{PEER}", "--json"},
             cli::kExitOpenFailed,
             R"("error":"open-failed","message":"cannot open the port: the server closed the connection: Port already in use")",
             "",
             0},
            {"a server that sets another rate",
             {.agrees = true, .rate = 9600},
             {"read", "{PEER}"},
             cli::kExitOpenFailed,
             "",
             "{PEER}: cannot open the port: the server set the rate to 9600, not 115200\n",
             0},
        });
    return cases;
}

}  // namespace hostile

// The cases through run; unit is a port with a unit in setting mode, as the tool names it.
inline void CheckHostilePeers(const ToolRun& run, const std::string& unit) {
    using namespace hostile;
    long silentKb = 0;
    for (const HostileCase& test : Cases()) {
        SCOPED_TRACE(test.name);
        CHostilePeer peer(test.conduct);
        const std::map<std::string, std::string> names = {{"{PEER}", peer.Url()}, {"{UNIT}", unit}};
        std::vector<std::string> args;
        for (const std::string& arg : test.args) args.push_back(Filled(arg, names));
        const testenv::FinishedRun result = run(args);
        EXPECT_EQ(result.status, test.status) << result.out << result.err;
        EXPECT_NE(result.out.find(Filled(test.outHas, names)), std::string::npos) << result.out;
        EXPECT_NE(result.err.find(Filled(test.errHas, names)), std::string::npos) << result.err;
        // The tool has ended: its connection ends with it, once the peer has seen it close.
        const std::vector<double> lasted = peer.Lasted(kNoHangMs);
        ASSERT_EQ(lasted.size(), 1u) << "the tool connects once, and its connection has ended";
        EXPECT_LT(lasted.front(), test.deadlineMs + kSlackMs);
        if (silentKb == 0) silentKb = result.peakMemoryKb;
        if (test.flood) {
            EXPECT_LT(result.peakMemoryKb - silentKb, kMostGrowthKb);
        }
        std::printf("%-55s %8.0f ms connected, %6ld kB at most (%+ld kB)\n", test.name.c_str(),
                    lasted.front(), result.peakMemoryKb, result.peakMemoryKb - silentKb);
    }
}

}  // namespace clitest
