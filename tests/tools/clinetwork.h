// SPDX-License-Identifier: MIT
#pragma once
// Units behind a real serial-over-network server: simulated units' pseudo-terminals exposed by
// ser2net on 127.0.0.1, reached as rfc2217:// and socket:// ports, by the Linux tool and by the
// Windows tool under Wine.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "clirun.h"
#include "hostilepeer.h"
#include "testenv.h"

namespace clitest {

namespace network {

using Kind = testenv::Ser2netServer::Kind;

constexpr const char* kConnectWire = "I\r\nV\r\nAG A\r\nAG B\r\n";
constexpr const char* kWriteWire =
    "I\r\nV\r\nAG A\r\nAG B\r\nAS A 0,1,0,13,1,1\r\nAS B 0,0,0,33,0,0\r\nW 4172093615\r\nAG A\r\nAG B\r\n";
constexpr int kRfc2217Units = 8;
// A wait that must end, however slow the machine: a hang, not a speed, is what it catches.
constexpr auto kNoHang = std::chrono::milliseconds(testenv::kHangGuardMs);

struct NetworkCase {
    const char* name;
    // {R0} ... {R7}: units over RFC 2217 ({R0}'s identity holds two 0xFF bytes); {R4-BY-NAME}: {R4}
    // by the name localhost; {S0}, {S1}: units over raw TCP; {L}: a local unit; {MUTE}: a server that
    // never speaks; {DEAF}: a host that does not answer the connect; {NOBODY}: a port nobody listens
    // on; {SLOW}: a unit over RFC 2217 that holds its reply to "AS A" (and all after it).
    std::vector<std::string> args;
    int status;
    std::string outHas;
    std::string errHas;
    // What units received in this case.
    std::map<std::string, std::string> received;
    // Kills the server once the named unit has received this command (its reply held back, while
    // the tool waits for it).
    std::string killServerAt{};
    // A port that a client of the test's own holds during the case, as another program would.
    std::string held{};
};

}  // namespace network

// The cases above through run. local is a unit on a local port, named localName to the tool.
inline void CheckUnitsBehindSer2net(const ToolRun& run, const std::string& localName,
                                    testenv::SimProcess& local) {
    using namespace network;
    std::map<std::string, testenv::SimProcess*> units = {{"{L}", &local}};
    std::vector<std::unique_ptr<testenv::SimProcess>> owned;
    std::vector<std::pair<Kind, std::string>> exposed;
    std::vector<std::string> tokens;
    for (int i = 0; i < kRfc2217Units; ++i) {
        std::vector<std::string> options;
        if (i == 0)
            options = {"--identity",
                       "QLX-11\xff\xff"
                       "D"};
        tokens.push_back("{R" + std::to_string(i) + "}");
        units[tokens.back()] = owned.emplace_back(std::make_unique<testenv::SimProcess>(options)).get();
        exposed.emplace_back(Kind::Rfc2217, units[tokens.back()]->DevicePath());
    }
    for (const char* token : {"{S0}", "{S1}"}) {
        tokens.push_back(token);
        units[token] =
            owned.emplace_back(std::make_unique<testenv::SimProcess>(std::vector<std::string>{})).get();
        exposed.emplace_back(Kind::Raw, units[token]->DevicePath());
    }
    tokens.push_back("{SLOW}");
    units["{SLOW}"] =
        owned.emplace_back(std::make_unique<testenv::SimProcess>(std::vector<std::string>{"--hold", "AS A"}))
            .get();
    exposed.emplace_back(Kind::Rfc2217, units["{SLOW}"]->DevicePath());
    testenv::Ser2netServer server(exposed);
    ASSERT_EQ(server.Problem(), "");
    const testenv::MuteServer mute;
    const testenv::MuteServer deaf(false);
    std::map<std::string, std::string> names = {
        {"{L}", localName},
        {"{MUTE}", "rfc2217://127.0.0.1:" + std::to_string(mute.Port())},
        {"{DEAF}", "socket://127.0.0.1:" + std::to_string(deaf.Port())},
        {"{NOBODY}", "rfc2217://127.0.0.1:" + std::to_string(testenv::FreeTcpPort())},
    };
    for (size_t i = 0; i < tokens.size(); ++i) names[tokens[i]] = server.Url(i);
    names["{R4-BY-NAME}"] = Filled("{R4}", names).replace(std::string("rfc2217://").size(), 9, "localhost");

    const std::string written = " QLX-11D: parameters written (パラメータ書き込み成功)";
    const std::string normal = ": switched to normal mode (通常モードに切り替えました)";
    std::vector<std::string> batch = {"read"};
    std::map<std::string, std::string> batchWire = {{"{L}", kConnectWire}};
    for (int i = 0; i < kRfc2217Units; ++i) {
        batch.push_back("{R" + std::to_string(i) + "}");
        batchWire[batch.back()] = kConnectWire;
    }
    batch.push_back("{L}");
    const std::vector<NetworkCase> cases = {
        {"read over RFC 2217, traced",
         {"read", "{R1}", "--trace", "-"},
         0,
         "{R1}\nidentity: QLX-11D\n",
         "{R1} -- the server did not confirm RTS off; going on without it\n",
         {{"{R1}", kConnectWire}}},
        {"read over raw TCP", {"read", "{S0}"}, 0, "{S0}\nidentity: QLX-11D\n", "", {{"{S0}", kConnectWire}}},
        {"write and read back over RFC 2217",
         {"write", "{R2}", "--a", "0,1,0,13,1,1"},
         0,
         "{R2}" + written,
         "",
         {{"{R2}", kWriteWire}}},
        {"write and read back over raw TCP",
         {"write", "{S0}", "--a", "0,1,0,13,1,1"},
         0,
         "{S0}" + written,
         "",
         {{"{S0}", kWriteWire}}},
        {"eight network units and a local one at once", batch, 0, "{L} QLX-11D: firmware 1.03", "",
         batchWire},
        {"0xFF in a reply arrives as one byte",
         {"read", "{R0}", "--json"},
         0,
         R"("identity":"QLX-11\u00ff\u00ffD")",
         "",
         {{"{R0}", kConnectWire}}},
        {"a host name, resolved",
         {"read", "{R4-BY-NAME}"},
         0,
         "{R4-BY-NAME}\nidentity: QLX-11D\n",
         "",
         {{"{R4}", kConnectWire}}},
        {"normal over RFC 2217", {"normal", "{R3}"}, 0, "{R3}" + normal, "", {{"{R3}", "E\r\n"}}},
        {"normal over raw TCP", {"normal", "{S1}"}, 0, "{S1}" + normal, "", {{"{S1}", "E\r\n"}}},
        {"a server that never speaks",
         {"read", "{MUTE}"},
         cli::kExitOpenFailed,
         "",
         "{MUTE}: cannot open the port: the server did not agree to serial port control (RFC 2217)"
         " within 1000 ms\n",
         {}},
        {"a host that does not answer",
         {"read", "{DEAF}"},
         cli::kExitOpenFailed,
         "",
         "{DEAF}: cannot open the port: no answer from 127.0.0.1 port " + std::to_string(deaf.Port()) +
             " within 2000 ms\n",
         {}},
        {"nobody listens",
         {"read", "{NOBODY}"},
         cli::kExitOpenFailed,
         "",
         "{NOBODY}: cannot open the port: cannot connect to 127.0.0.1 port ",
         {}},
        {"a second client turned away in the server's words",
         {"read", "{R6}", "--json"},
         cli::kExitOpenFailed,
         R"("error":"open-failed","message":"cannot open the port: the server closed the connection: Port already in use")",
         "",
         {},
         "",
         "{R6}"},
        {"the server killed mid-write",
         {"write", "{SLOW}", "--a", "0,1,0,13,1,1"},
         cli::kExitUnitFailed,
         "",
         "the device went away (unplugged, or its line hung up)",
         {},
         "AS A"},
    };
    std::map<std::string, size_t> seen;
    for (const auto& [token, unit] : units) seen[token] = unit->ReceivedBytes().size();
    for (const NetworkCase& test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<std::string> args;
        for (const std::string& arg : test.args) args.push_back(Filled(arg, names));
        std::thread killer;
        if (!test.killServerAt.empty()) {
            killer = std::thread([&] {
                const auto until = std::chrono::steady_clock::now() + kNoHang;
                while (units["{SLOW}"]->ReceivedBytes().find(test.killServerAt) == std::string::npos &&
                       std::chrono::steady_clock::now() < until) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
                server.Signal(SIGKILL);
            });
        }
        std::unique_ptr<CHeldConnection> held;
        if (!test.held.empty()) {
            held = std::make_unique<CHeldConnection>(Filled(test.held, names));
            ASSERT_TRUE(held->Greeted(std::chrono::milliseconds(kNoHang).count()))
                << "the server did not take the first client";
        }
        const auto start = std::chrono::steady_clock::now();
        const CliRun result = run(args);
        held.reset();
        const auto elapsed = std::chrono::steady_clock::now() - start;
        if (killer.joinable()) killer.join();
        EXPECT_EQ(result.status, test.status) << result.out << result.err;
        EXPECT_NE(result.out.find(Filled(test.outHas, names)), std::string::npos) << result.out;
        EXPECT_NE(result.err.find(Filled(test.errHas, names)), std::string::npos) << result.err;
        EXPECT_LT(elapsed, kNoHang);
        for (const auto& [token, unit] : units) {
            const std::string bytes = unit->ReceivedBytes();
            const std::string now = bytes.substr(std::min(seen[token], bytes.size()));
            seen[token] = bytes.size();
            const auto expected = test.received.find(token);
            if (token == "{SLOW}") continue;  // cut short at a point that is not known exactly
            EXPECT_EQ(now, expected != test.received.end() ? expected->second : "") << token;
        }
    }
    // The killed server left the unit's line to anyone: no lock holds it. (What the unit answers is
    // another matter: replies to the cut-off write may still wait in the line.)
    EXPECT_TRUE(server.WaitExit(testenv::kHangGuardMs));
    const CliRun direct = clitest::Cli({"read", units["{SLOW}"]->DevicePath()});
    EXPECT_NE(direct.status, cli::kExitOpenFailed) << direct.err;
}

}  // namespace clitest
