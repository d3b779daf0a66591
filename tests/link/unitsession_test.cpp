// SPDX-License-Identifier: MIT
// The unit session against the simulated unit and scripted peers on pseudo-terminals: for every
// step, the bytes on the wire, which step failed and how, and what was read.
#include "link/unitsession.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "testenv.h"

namespace unit {
void PrintTo(const SessionResult& r, std::ostream* out) {
    *out << "{step " << static_cast<int>(r.step) << ", failure " << static_cast<int>(r.failure) << ", \""
         << r.command << "\"}";
}
}  // namespace unit

namespace {

using unit::CUnitSession;
using unit::SessionFailure;
using unit::SessionResult;
using unit::SessionStep;

// How long a script waits for each command line before it gives up: a hang guard.
constexpr int kLineWaitMs = testenv::kHangGuardMs;

// The far end of the line: the simulated unit, or a script.
struct Far {
    std::unique_ptr<testenv::SimProcess> sim;
    std::unique_ptr<testenv::PtyPair> pty;
    std::unique_ptr<testenv::ScriptedPeer> script;
    std::string Path() const { return sim ? sim->DevicePath() : pty->DevicePath(); }
    std::string Wire() const { return sim ? sim->ReceivedBytes() : script->ReceivedBytes(); }
    // What it received, once that is `expected` (or the hang guard passed).
    std::string Wire(const std::string& expected) const {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(testenv::kHangGuardMs);
        std::string got = Wire();
        while (got != expected && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            got = Wire();
        }
        return got;
    }
};

Far Sim(const std::vector<std::string>& options) {
    return {std::make_unique<testenv::SimProcess>(options), nullptr, nullptr};
}
Far Script(const std::vector<std::string>& replies) {
    auto pty = std::make_unique<testenv::PtyPair>();
    auto script = std::make_unique<testenv::ScriptedPeer>(*pty, testenv::ReplySteps(replies), kLineWaitMs);
    return {nullptr, std::move(pty), std::move(script)};
}

constexpr const char* kRead = "I\r\nV\r\nAG A\r\nAG B\r\n";
SessionResult Read(CUnitSession& session) {
    return session.Read();
}

TEST(UnitSession, EachStepSendsItsBytesAndTellsWhereAndHowItFailed) {
    const unit::PortParameters a{2, 1, 1, 44, 1, 1};
    const unit::PortParameters b{0, 0, 1, 8, 0, 2};
    auto write = [&](CUnitSession& session) { return session.Write(a, b); };
    auto normal = [](CUnitSession& session) { return session.SwitchToNormalMode(); };
    const std::string asA = "AS A 2,1,1,44,1,1\r\n";
    const std::string asB = "AS B 0,0,1,8,0,2\r\n";
    const std::string store = "W 4172093615\r\n";
    struct Case {
        const char* name;
        std::function<Far()> far;
        std::function<SessionResult(CUnitSession&)> operation;
        SessionResult result;
        std::string wire;
    };
    const std::vector<Case> cases = {
        {"read", [] { return Sim({}); }, Read, {SessionStep::Read, SessionFailure::None, ""}, kRead},
        {"silent unit",
         [] { return Sim({"--silent"}); },
         Read,
         {SessionStep::Identify, SessionFailure::NoReply, "I\r\n"},
         "I\r\n"},
        {"I refused",
         [] {
             return Sim({"--reject", "I"});
         },
         Read,
         {SessionStep::Identify, SessionFailure::Rejected, "I\r\n"},
         "I\r\n"},
        {"not a unit",
         [] {
             return Sim({"--identity", "QLX-12D"});
         },
         Read,
         {SessionStep::CheckIdentity, SessionFailure::NotAUnit, "I\r\n"},
         "I\r\n"},
        {"V refused",
         [] {
             return Sim({"--reject", "V"});
         },
         Read,
         {SessionStep::Version, SessionFailure::Rejected, "V\r\n"},
         "I\r\nV\r\n"},
        {"AG B refused",
         [] {
             return Sim({"--reject", "AG B"});
         },
         Read,
         {SessionStep::Read, SessionFailure::Rejected, "AG B\r\n"},
         kRead},
        {"gone at AG A",
         [] {
             return Script({"OK,QLX-11\r\n", "OK,1.03\r\n", ""});
         },
         Read,
         {SessionStep::Read, SessionFailure::DeviceGone, "AG A\r\n"},
         "I\r\nV\r\nAG A\r\n"},
        {"write",
         [] { return Sim({}); },
         write,
         {SessionStep::Store, SessionFailure::None, ""},
         asA + asB + store},
        {"AS A refused",
         [] {
             return Sim({"--reject", "AS A"});
         },
         write,
         {SessionStep::Write, SessionFailure::Rejected, asA},
         asA},
        {"AS B unanswered",
         [] {
             return Script({"OK\r\n", "OK"});
         },
         write,
         {SessionStep::Write, SessionFailure::NoReply, asB},
         asA + asB},
        {"W refused",
         [] {
             return Sim({"--reject", "W"});
         },
         write,
         {SessionStep::Store, SessionFailure::Rejected, store},
         asA + asB + store},
        {"normal mode",
         [] { return Sim({}); },
         normal,
         {SessionStep::NormalMode, SessionFailure::None, ""},
         "E\r\n"},
        {"E refused",
         [] {
             return Sim({"--reject", "E"});
         },
         normal,
         {SessionStep::NormalMode, SessionFailure::Rejected, "E\r\n"},
         "E\r\n"},
        {"gone at E",
         [] { return Script({""}); },
         normal,
         {SessionStep::NormalMode, SessionFailure::DeviceGone, "E\r\n"},
         "E\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Far far = c.far();
        CSerialPort port;
        CUnitSession session(port);
        ASSERT_TRUE(session.Open(far.Path()).Succeeded());
        EXPECT_EQ(c.operation(session), c.result);
        EXPECT_EQ(far.Wire(c.wire), c.wire);
    }
}

// The version is known, and the caller told, before the ports are read; the reading keeps the
// identity, the firmware and the codes the data held (the rest 0).
TEST(UnitSession, ReadTellsTheVersionFirstAndKeepsWhatItRead) {
    const Far far = Script({"OK,QLX-11 rev.C\r\n", "OK,1.02\r\n", "OK,1,2,0,21,0,2\r\n", "OK,2,1\r\n"});
    CSerialPort port;
    CUnitSession session(port);
    ASSERT_TRUE(session.Open(far.Path()).Succeeded());
    std::string versionTold, wireThen;
    const SessionResult result = session.Read([&](const std::string& version) {
        versionTold = version;
        wireThen = far.Wire("I\r\nV\r\n");
    });
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(versionTold, "1.02");
    EXPECT_EQ(wireThen, "I\r\nV\r\n");
    EXPECT_EQ(session.Identity(), "QLX-11 rev.C");
    EXPECT_EQ(session.Firmware(), "1.02");
    EXPECT_EQ(session.Port('A').codes, (unit::PortParameters{1, 2, 0, 21, 0, 2}));
    EXPECT_EQ(session.Port('A').present, 6);
    EXPECT_EQ(session.Port('B').codes, (unit::PortParameters{2, 1, 0, 0, 0, 0}));
    EXPECT_EQ(session.Port('B').present, 2);
}

// A foreign device keeps its identity for the report; a port that does not open says so.
TEST(UnitSession, ForeignIdentityIsKeptAndAMissingDeviceDoesNotOpen) {
    const Far far = Sim({"--identity", "QLX-21A"});
    CSerialPort port;
    CUnitSession session(port);
    ASSERT_TRUE(session.Open(far.Path()).Succeeded());
    EXPECT_EQ(session.Read().failure, SessionFailure::NotAUnit);
    EXPECT_EQ(session.Identity(), "QLX-21A");
    session.Close();
    EXPECT_EQ(session.Open(testenv::Root() + "/no-such-device"),
              (SessionResult{SessionStep::Open, SessionFailure::NotOpened, ""}));
    EXPECT_FALSE(port.IsOpen());
}

}  // namespace
